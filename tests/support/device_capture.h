// Test routing: captures what the filter sends to the printer stream, and can
// make the k-th device write fail. Resets the routing state on entry and exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class DeviceCapture {
public:
    // failAt: the 1-based device write that fails (0: none fails).
    explicit DeviceCapture(int failAt = 0);
    ~DeviceCapture();
    DeviceCapture(const DeviceCapture&) = delete;
    DeviceCapture& operator=(const DeviceCapture&) = delete;

    const std::vector<uint8_t>& bytes() const;
    // Each device write as it was handed over (one entry per SendDataToFile).
    const std::vector<std::vector<uint8_t>>& writes() const;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values);

// The bytes of a packed command record, as they go to the printer.
template <typename Record>
std::vector<uint8_t> RecordBytes(const Record& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(p, p + sizeof record);
}
