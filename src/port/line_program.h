#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexilo::port {

// A run of line operations that needs no decision until it has ended: line writes with the
// session's values (SetDTR, SetRTS, SetTXLevel), clock delays, and CTS samples whose results
// come back in order once the whole run has been made. A byte of a serial programming
// instruction, a PIC command or data frame are each one; consecutive ones may be packed into
// one transfer by lines that can (a USB bit-bang adapter).
class LineProgram {
 public:
  enum class Op : uint8_t { Dtr, Rts, TxLevel, Delay, SampleCts };
  struct Step {
    Op op;
    uint8_t value;  // the line's value as the session's setter takes it, or the delay count
  };

  void SetDTR(uint8_t value) { steps_.push_back({Op::Dtr, value}); }
  void SetRTS(uint8_t value) { steps_.push_back({Op::Rts, value}); }
  void SetTXLevel(uint8_t value) { steps_.push_back({Op::TxLevel, value}); }
  void ClockDelay(unsigned count) {
    for (; count > 255; count -= 255) steps_.push_back({Op::Delay, 255});
    if (count > 0) steps_.push_back({Op::Delay, static_cast<uint8_t>(count)});
  }
  void SampleCts() {
    steps_.push_back({Op::SampleCts, 0});
    ++samples_;
  }

  const std::vector<Step>& Steps() const { return steps_; }
  size_t Samples() const { return samples_; }

 private:
  std::vector<Step> steps_;
  size_t samples_ = 0;
};

// The CTS samples of a program, in the order it took them.
class LineSamples {
 public:
  void Add(bool cts) { bits_.push_back(cts); }
  size_t Size() const { return bits_.size(); }
  bool operator[](size_t index) const { return index < bits_.size() && bits_[index]; }
  // Samples `first` .. `first + count - 1` as a number, the first sample the highest bit.
  uint32_t MsbFirst(size_t first, size_t count) const {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value = value << 1 | ((*this)[first + i] ? 1 : 0);
    return value;
  }
  // The same with the first sample the lowest bit.
  uint32_t LsbFirst(size_t first, size_t count) const {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= ((*this)[first + i] ? 1u : 0u) << i;
    return value;
  }

 private:
  std::vector<bool> bits_;
};

// Lines that take a whole run of line states, holds and CTS samples and make it at once,
// answering the samples when the run is over.
class LineBatch {
 public:
  virtual ~LineBatch() = default;
  // One line state applied (true = asserted; `txBreak` = TX held at space).
  virtual void Apply(bool dtr, bool rts, bool txBreak) = 0;
  // The present state held for `count` more steps: the bit clock's delay.
  virtual void Hold(unsigned count) = 0;
  // CTS as it is once the last state applied has settled.
  virtual void SampleCts() = 0;
  // Makes what was queued; `samples` gets the CTS samples in order (0 for every one when the
  // run failed: Fault() then says why). False when it failed.
  virtual bool Run(LineSamples& samples) = 0;
  // Queued and not yet made: once this is true the caller should Run before queuing more.
  virtual bool Full() const = 0;
  virtual bool Empty() const = 0;
};

}  // namespace vexilo::port
