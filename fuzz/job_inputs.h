// The printers and option texts a fuzzed job runs with, chosen by the input's
// leading bytes; shared by fuzz_job and the seed generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/platform.h"

constexpr size_t kFuzzPrinterCount = 6;
constexpr size_t kFuzzOptionCount = 16;

// The PPD of printer `index` (modulo the count), written once per process.
const std::string& FuzzPrinterPPD(size_t index);
Platform FuzzPrinterPlatform(size_t index);
const char* FuzzOptionText(size_t index);
