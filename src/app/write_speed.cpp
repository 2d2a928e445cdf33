#include "app/write_speed.h"

#include <string>

namespace vexilo::app {

avr::WriteWait AvrWriteWait(const Settings& settings) {
  return settings.fastWrite ? avr::WriteWait::Polling : avr::WriteWait::FixedDelay;
}

pic::WriteCycle PicCycleAfterErase(const Settings& settings) {
  return settings.fastWrite ? pic::WriteCycle::AfterBulkErase : pic::WriteCycle::EraseAndProgram;
}

void FastWriteHint(const Settings& settings, port::Operator& op, uint64_t leastUs) {
  if (settings.fastWrite || leastUs <= kFastWriteHintUs) return;
  op.Log("FAST WRITE : this FLASH write took " + std::to_string(leastUs / 1'000'000) +
         " s or more with fixed write delays; the setting Fast write (Setup tab, or "
         "--fast-write) shortens it");
}

}  // namespace vexilo::app
