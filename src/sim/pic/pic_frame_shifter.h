#pragma once
#include <cstdint>

namespace vexilo::sim {

// The serial shift logic on RB6 (clock) and RB7 (data) in program/verify mode. Commands are
// six bits, data frames 16 clocks (start bit, 14 data bits LSB first, stop bit). Input bits
// are latched on the falling clock edge. In a read frame the chip turns RB7 into an output on
// the second rising edge, changes the data on each rising edge and releases RB7 after the
// 16th rising edge.
class PicFrameShifter {
 public:
  enum class Event { kNone, kCommand, kDataLoaded };

  void Reset();

  void ClockRise();
  Event ClockFall(bool data);

  // After Event::kCommand: the command just received.
  uint8_t Command() const { return command_; }
  // After Event::kDataLoaded: the 14 data bits of the frame.
  uint16_t LoadedWord() const { return word_; }

  // Answers to Event::kCommand: the next 16 clocks carry data in, or `word` out.
  void ExpectLoad();
  void StartRead(uint16_t word);

  bool Driving() const { return driving_; }
  bool DriveLevel() const { return driveLevel_; }

 private:
  enum class Phase { kCommand, kLoad, kRead };

  static constexpr int kCommandBits = 6;
  static constexpr int kFrameClocks = 16;

  Phase phase_ = Phase::kCommand;
  int count_ = 0;  // falling edges seen in the current command or frame
  uint8_t command_ = 0;
  uint16_t word_ = 0;
  bool driving_ = false;
  bool driveLevel_ = false;
};

}  // namespace vexilo::sim
