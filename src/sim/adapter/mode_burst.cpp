#include "sim/adapter/mode_burst.h"

namespace vexilo::sim {

namespace {

constexpr uint8_t kGroupStart = 0x97;
constexpr uint8_t kGroupSecond = 0x25;
constexpr uint8_t kGroupFill = 0x8B;
constexpr unsigned kLongestGroup = 50;

}  // namespace

std::string AdapterModeName(AdapterMode mode) {
  switch (mode) {
    case AdapterMode::Phoenix:
      return "phoenix";
    case AdapterMode::Avr:
      return "avr";
    case AdapterMode::Pic:
      return "pic";
  }
  return "?";
}

std::optional<AdapterMode> ModeBurstDetector::End() {
  std::optional<AdapterMode> mode;
  if (state_ == State::Counting) {
    if (count_ == 30) mode = AdapterMode::Phoenix;
    if (count_ == 40) mode = AdapterMode::Avr;
    if (count_ == 50) mode = AdapterMode::Pic;
  }
  state_ = State::Idle;
  count_ = 0;
  return mode;
}

std::optional<AdapterMode> ModeBurstDetector::Hear(uint8_t value, SimTime now) {
  std::optional<AdapterMode> mode;
  if (last_ && now - *last_ > kGroupGap) mode = End();
  last_ = now;
  switch (state_) {
    case State::Idle:
      if (value == kGroupStart) state_ = State::Got97;
      break;
    case State::Got97:
      if (value == kGroupSecond) {
        state_ = State::Counting;
        count_ = 0;
      } else if (value != kGroupStart) {
        state_ = State::Idle;
      }
      break;
    case State::Counting:
      if (value == kGroupFill) {
        if (++count_ > kLongestGroup) End();
      } else {
        mode = End();
        if (value == kGroupStart) state_ = State::Got97;
      }
      break;
  }
  return mode;
}

}  // namespace vexilo::sim
