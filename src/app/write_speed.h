#pragma once
#include <cstdint>

#include "app/settings.h"
#include "avr/avr_operations.h"
#include "pic/pic_operations.h"
#include "port/operator.h"

namespace vexilo::app {

// The "Fast write" setting as the writes take it. The PIC cycle is for writes that follow the
// sequence's own bulk erase.
avr::WriteWait AvrWriteWait(const Settings& settings);
pic::WriteCycle PicCycleAfterErase(const Settings& settings);

// A FLASH write without Fast write that takes longer than this gets one line saying so.
inline constexpr uint64_t kFastWriteHintUs = 30'000'000;

// After a FLASH write that Fast write would have shortened: when the setting is off and the
// write took at least `leastUs` of hardware time, over the threshold, one log line saying the
// setting exists. The write's own lines stay together.
void FastWriteHint(const Settings& settings, port::Operator& op, uint64_t leastUs);

}  // namespace vexilo::app
