#include "sim/pic/pic_frame_shifter.h"

namespace vexilo::sim {

void PicFrameShifter::Reset() {
  phase_ = Phase::kCommand;
  count_ = 0;
  command_ = 0;
  word_ = 0;
  driving_ = false;
  driveLevel_ = false;
}

void PicFrameShifter::ClockRise() {
  if (phase_ != Phase::kRead) return;
  // Rising edge number count_ + 1 of the frame: edges 2 to 15 present data bits 0 to 13.
  if (count_ >= 1 && count_ <= 14) {
    driving_ = true;
    driveLevel_ = ((word_ >> (count_ - 1)) & 1u) != 0;
  } else if (count_ == kFrameClocks - 1) {
    driving_ = false;
  }
}

PicFrameShifter::Event PicFrameShifter::ClockFall(bool data) {
  switch (phase_) {
    case Phase::kCommand:
      if (count_ == 0) command_ = 0;
      if (data) command_ = static_cast<uint8_t>(command_ | (1u << count_));
      if (++count_ < kCommandBits) return Event::kNone;
      count_ = 0;
      return Event::kCommand;
    case Phase::kLoad:
      if (count_ >= 1 && count_ <= 14 && data)
        word_ = static_cast<uint16_t>(word_ | (1u << (count_ - 1)));
      if (++count_ < kFrameClocks) return Event::kNone;
      phase_ = Phase::kCommand;
      count_ = 0;
      return Event::kDataLoaded;
    case Phase::kRead:
      if (++count_ < kFrameClocks) return Event::kNone;
      phase_ = Phase::kCommand;
      count_ = 0;
      driving_ = false;
      return Event::kNone;
  }
  return Event::kNone;
}

void PicFrameShifter::ExpectLoad() {
  phase_ = Phase::kLoad;
  count_ = 0;
  word_ = 0;
}

void PicFrameShifter::StartRead(uint16_t word) {
  phase_ = Phase::kRead;
  count_ = 0;
  word_ = word;
}

}  // namespace vexilo::sim
