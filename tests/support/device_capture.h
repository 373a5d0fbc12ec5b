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
    void clear();
};

// Resets every routing global to its start value and empties prntLastError.
void ResetRoutingState();

std::vector<uint8_t> Bytes(std::initializer_list<int> values);
