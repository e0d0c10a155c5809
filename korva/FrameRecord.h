#pragma once
// One frame waiting in a stream's queue, or being assembled there.
#include <cstdint>

namespace Korva {

struct FrameRecord {
    int64_t time = 0;         // microseconds: time base + signed delta of the frame's last piece
    uint32_t size = 0;        // payload bytes of the frame
    uint32_t storedSize = 0;  // bytes the frame takes in the byte ring (size plus padding)
    uint32_t frameType = 0;   // 0 = key frame
};

}  // namespace Korva
