// Test routing: captures printer bytes in memory.
#include "support/device_capture.h"

#include <cstring>

#include "common/output.h"

namespace {

std::vector<uint8_t> gBytes;
std::vector<std::vector<uint8_t>> gWrites;
int gFailAt = 0;
int gWriteCount = 0;

std::size_t CaptureWriter(const void* data, std::size_t count) {
    ++gWriteCount;
    if (gFailAt != 0 && gWriteCount == gFailAt) return 0;
    const auto* p = static_cast<const uint8_t*>(data);
    gBytes.insert(gBytes.end(), p, p + count);
    gWrites.emplace_back(p, p + count);
    return 1;
}

}  // namespace

DeviceCapture::DeviceCapture(int failAt) {
    ResetRouting();
    gBytes.clear();
    gWrites.clear();
    gFailAt = failAt;
    gWriteCount = 0;
    SetDeviceWriter(CaptureWriter);
}

DeviceCapture::~DeviceCapture() {
    SetDeviceWriter(nullptr);
    ResetRouting();
}

const std::vector<uint8_t>& DeviceCapture::bytes() const { return gBytes; }
const std::vector<std::vector<uint8_t>>& DeviceCapture::writes() const { return gWrites; }

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}
