#include "sim/phoenix/card_transmitter.h"

#include <algorithm>
#include <cstdint>

namespace vexilo::sim {

SimTime CardTransmitter::Send(uint8_t value, SimTime earliest) {
  const SimTime start = std::max(earliest, lineFree_);
  lineFree_ = start + kCardCharacter;
  // A card that has gone silent still takes its time: its firmware does not know.
  if (!silentAfter_ || sent_ < *silentAfter_) queue_.push_back({value, lineFree_});
  if (sent_ != UINT32_MAX) ++sent_;
  return lineFree_;
}

void CardTransmitter::Abort(SimTime now) {
  while (!queue_.empty() && queue_.back().end > now) queue_.pop_back();
  lineFree_ = std::min(lineFree_, now);
}

}  // namespace vexilo::sim
