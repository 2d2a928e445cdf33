#pragma once
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/isa/isa_wire.h"

namespace vexilo::sim::isa {

// The helper program cannot be found, started or understood, or it stopped.
class HelperError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the helper program is: $VEXILO_ISA_CARD when set, else beside the running program,
// in ../libexec/vexilo/ from it, or in the build tree this was built in. Throws HelperError
// naming what to install when there is none.
std::string FindHelperProgram();

// The running helper program (isa_wire.h), on a socket pair as its stdin and stdout.
class HelperProcess {
 public:
  // Starts `program` for `core` with the IO, SDA and SCL pins; waits for its greeting. Every
  // read from the helper waits at most `replyDeadline`: a helper that does not answer by then
  // is ended and a HelperError says what it was doing.
  static constexpr std::chrono::milliseconds kReplyDeadline{10000};
  HelperProcess(const std::string& program, const std::vector<std::string>& arguments,
                std::chrono::milliseconds replyDeadline = kReplyDeadline);
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  uint32_t ClockHz() const { return clockHz_; }
  uint32_t ClocksPerCycle() const { return clocksPerCycle_; }
  pid_t Pid() const { return pid_; }

  void Program(std::span<const uint8_t> program, std::span<const uint8_t> eeprom, uint32_t config);
  void Hold();
  void Go();
  void Input(uint64_t cycle, Pin pin, bool level);
  void SdaScript(const std::vector<bool>& levels, bool hold);

  struct Event {
    enum Kind { kReached, kEdge, kEdgeRunning } kind;
    uint64_t cycle;  // when
    uint8_t drive;   // with an edge: what the chip drives now
  };
  // Asks the chip to run until `cycle`; Next() then gives what happens on the way.
  void Run(uint64_t cycle);
  Event Next();

 private:
  template <typename T>
  void Put(T value) {
    const size_t at = out_.size();
    out_.resize(at + sizeof value);
    std::memcpy(out_.data() + at, &value, sizeof value);
  }
  void PutBytes(std::span<const uint8_t> bytes);
  void Flush();
  void Take(void* data, size_t n);
  template <typename T>
  T Get() {
    T value;
    Take(&value, sizeof value);
    return value;
  }
  [[noreturn]] void Failed(const std::string& why);
  std::string ErrorText();
  // Whether an answer arrives within the deadline.
  bool Readable();
  // Ends the helper process and waits for it (no zombie is left).
  void End();

  std::chrono::milliseconds deadline_;
  std::string doing_ = "greeting";  // what an answer is awaited for, for the error message

  std::string program_;
  pid_t pid_ = -1;
  int fd_ = -1;
  std::vector<uint8_t> out_;
  std::vector<uint8_t> in_;
  size_t inPos_ = 0;
  uint32_t clockHz_ = 0;
  uint32_t clocksPerCycle_ = 1;
};

}  // namespace vexilo::sim::isa
