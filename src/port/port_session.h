#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "port/backend.h"
#include "port/line_program.h"
#include "port/session_reporter.h"
#include "port/session_settings.h"
#include "port/uart_lines.h"

namespace vexilo::port {

// A port session on the 16550 of the selected COM port, and the line and byte operations the
// chip protocols are made of. Adapter wiring: TX (held in break) = reset / MCLR / IO,
// RTS = clock / Phoenix reset, DTR = data to the chip, CTS = data from the chip, RXD = the
// Phoenix IO line with the echo of every byte sent.
//
// Outside a usable session (before OpenPort, after ClosePort, after a refused open) the line
// and byte operations touch no register. A line call that fails on a real device ends in
// LineFailed(); nothing it returned is taken as data.
class PortSession {
 public:
  // Bound of each wait of SendByte and ReceiveByte for the line status flags: this much
  // clock time, or this many polls on a clock that does not move.
  static constexpr uint64_t kByteWaitUs = 100000;
  static constexpr uint32_t kByteWaitPolls = 1000000;
  static constexpr unsigned kMclrSettleMs = 200;

  PortSession(PortBackend& backend, SessionReporter& reporter, SessionSettingsSource settings);
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;

  // `portName` "avr/pic" or "phoenix". True when the UART is set up and the operations
  // reach it. The settings are read first; a bad atr_delay or port name throws
  // std::invalid_argument before anything else happens. Refused, showing a message, while
  // an earlier session is still open.
  bool OpenPort(std::string_view portName);
  // Gives the UART back. Needed after every OpenPort that did not throw and was not refused
  // as nested, usable or not; does nothing when no session is open.
  void ClosePort();
  // The UART is set up and reachable.
  bool IsOpen() const { return state_ == State::Open; }
  // Between an OpenPort that started a session (usable or not) and its ClosePort.
  bool InSession() const { return state_ != State::Closed; }

  // DTR on for 1 and 0x80, off for every other value.
  void SetDTR(uint8_t value);
  // RTS on for 1, off for every other value.
  void SetRTS(uint8_t value);
  // TX line in break (on) for 0, normal for every other value.
  void SetTXLevel(uint8_t value);
  // TX line on for 1, off otherwise.
  void SetTX(uint8_t value) { SetTXLevel(value == 1 ? 0 : 1); }
  // CTS: 1 or 0.
  uint8_t GetCTS();
  // PIC programming voltage on MCLR (the TX line) with clock and data low, then 200 ms.
  void SetMCLR(uint8_t on);

  // Line programs. Queue makes `program` and gives its CTS samples to `done`. On lines that
  // pack programs into one transfer the program may wait until a result is needed: Flush(),
  // any other line or byte operation, a pause of Time() and ClosePort make what waits, in
  // order. On every other port each program is made at once, step by step. A caller that
  // queues many asks BatchFull() between them and flushes when it says so.
  using SampleHandler = std::function<void(const LineSamples&)>;
  void Queue(const LineProgram& program, SampleHandler done = {});
  // Makes `program` now and returns its samples.
  LineSamples Run(const LineProgram& program);
  void Flush();
  // The lines pack programs: a caller may queue many before it needs their results, until
  // BatchFull() (always true where they do not).
  bool Batches() const { return lines_->Batch() != nullptr; }
  bool BatchFull() const;

  // Sends `value` and returns its echo.
  uint8_t SendByte(uint8_t value);
  // Waits for a byte and returns it.
  uint8_t ReceiveByte();
  // The same with a wait bound of its own, for a reply that comes only after the card has done
  // slow work (a write into its serial EEPROM).
  uint8_t ReceiveByteWithin(uint64_t boundUs);
  // Polls the line status at most RxPollLimit - 1 times and for at most RxPollLimit
  // microseconds of the session's clock, then returns the receive register, whether a byte
  // came or not (TimedReceiveExpired tells).
  uint8_t ReceiveByteTimed();
  // One read of the receive register, no wait.
  uint8_t ReadRxRegister();
  // What the card sent and nobody read is thrown away where the port keeps it (a USB chip's
  // buffer, the kernel's); a 16550's FIFO is left to ReadRxRegister.
  void DiscardReceived();
  // The bit clock: `count` give-ups of the time slice.
  void ClockDelay(unsigned count);
  // Before any session has opened, `comm` holds the device of the " Port Avr/Pic " selection,
  // so that the first mode burst of a run reaches the adapter wherever it is.
  void NameCommForBurst();
  // A line call failed since OpenPort (the device vanished, a modem-line call was refused).
  // The first time it is asked, the reason goes to the reporter as a diagnostic line.
  bool LineFailed();
  const LineFault* Fault() const { return lines_->Fault(); }
  // On a real port: what one line change or CTS read costs, timed when the session opened
  // (0 on the simulator), and the port's name for messages.
  double LineCallUs() const { return lineCallUs_; }
  std::string PortName() const;
  // DTR and RTS off on the port of the last session, shadows reset (before a test burst).
  // The register is written only where the port is reachable: in a session, or in direct
  // mode once a session has set the port up; before any session nothing is written.
  void DropModemLines();

  // SendByte and ReceiveByte waits that ended without the flag they waited for, since the
  // last OpenPort or ClearTimedOut.
  bool TimedOut() const { return timeOuts_ != 0; }
  unsigned TimeOutCount() const { return timeOuts_; }
  void ClearTimedOut() { timeOuts_ = 0; }
  bool TimedReceiveExpired() const { return timedReceiveExpired_; }

  uint16_t PortBase() const { return base_; }
  uint8_t McrShadow() const { return mcr_; }
  uint8_t LcrShadow() const { return lcr_; }
  uint8_t AvrClockDelay() const { return avrClockDelay_; }
  uint8_t PicClockDelay() const { return picClockDelay_; }
  int32_t RxPollLimit() const { return rxPollLimit_; }
  SessionMode Mode() const { return backend_.Mode(); }
  // The session's clock: its pauses first make what waits in a batch, so that a write delay
  // starts once the instruction before it has reached the chip.
  Clock& Time() { return sessionClock_; }
  PortBackend& Backend() { return backend_; }

 private:
  enum class State { Closed, Open, Refused };

  class SessionClock final : public Clock {
   public:
    SessionClock(PortSession& session, Clock& inner) : session_(session), inner_(inner) {}
    void SleepMs(unsigned ms) override {
      session_.Flush();
      inner_.SleepMs(ms);
    }
    void Yield() override { inner_.Yield(); }
    uint64_t NowUs() const override { return inner_.NowUs(); }
    uint64_t NowNs() const override { return inner_.NowNs(); }

   private:
    PortSession& session_;
    Clock& inner_;
  };
  enum class Setup { Usable, Refused, NoDevice };

  Setup OpenDirect(std::string& report);
  Setup OpenOsHeld(std::string& report);
  void SetUpUart();
  void RefuseDevice(const std::string& problem);
  void TimeLineCalls();
  void CloseDirect(std::string& report);
  void CloseOsHeld(std::string& report);
  void ClearOutputs();
  void RunSteps(const LineProgram& program, LineSamples& samples);
  void QueueInBatch(LineBatch& batch, const LineProgram& program);
  void ApplyToBatch(LineBatch& batch);
  std::string PortLabel(const char* state) const;
  // Polls until `ready` holds, within `boundUs` (the byte wait bound unless said otherwise;
  // on a clock that does not move, a poll count in proportion).
  bool WaitFor(bool (Lines::*ready)(), uint64_t boundUs = kByteWaitUs);
  uint16_t Reg(uint16_t offset) const { return static_cast<uint16_t>(base_ + offset); }

  PortBackend& backend_;
  SessionReporter& reporter_;
  SessionSettingsSource settings_;
  Clock& clock_;
  SessionClock sessionClock_;
  // Programs queued in the batch: how many samples each took and who wants them.
  std::vector<std::pair<size_t, SampleHandler>> pending_;
  NullPortIo nullIo_;
  PortIo* io_ = &nullIo_;
  UartLines idleLines_;
  UartLines uartLines_;
  Lines* lines_ = &idleLines_;
  State state_ = State::Closed;
  bool everOpened_ = false;
  bool faultReported_ = false;
  double lineCallUs_ = 0;

  uint16_t base_ = kStandardComBases[0];
  uint8_t mcr_ = 0;
  uint8_t lcr_ = 0x1F;
  uint8_t savedDivisorLow_ = 0;
  uint8_t savedDivisorHigh_ = 0;
  uint8_t savedFifo_ = 0;
  uint8_t savedLineControl_ = 0;
  uint8_t avrClockDelay_ = 0;
  uint8_t picClockDelay_ = 0;
  int32_t rxPollLimit_ = 0;

  unsigned timeOuts_ = 0;
  bool timedReceiveExpired_ = false;
  bool directPortSetUp_ = false;
};

// Closes the session it opened when it goes out of scope, also when an exception leaves it.
class SessionGuard {
 public:
  SessionGuard(PortSession& session, std::string_view portName);
  ~SessionGuard();
  SessionGuard(const SessionGuard&) = delete;
  SessionGuard& operator=(const SessionGuard&) = delete;

  // The session is usable.
  bool Usable() const { return usable_; }
  // Closes now instead of at the end of the scope.
  void Close();

 private:
  PortSession& session_;
  bool started_ = false;
  bool usable_ = false;
};

}  // namespace vexilo::port
