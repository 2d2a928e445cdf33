#include "port/port_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "port/port_diagnostics.h"

namespace vexilo::port {

namespace {

// 16550 register offsets and bits of the session's own set-up and give-back.
constexpr uint16_t kRbrThr = 0;  // divisor low while LCR bit 7
constexpr uint16_t kIer = 1;     // divisor high while LCR bit 7
constexpr uint16_t kIirFcr = 2;
constexpr uint16_t kLcr = 3;
constexpr uint16_t kMcr = 4;

constexpr uint8_t kMcrDtr = 0x01;
constexpr uint8_t kMcrRts = 0x02;
constexpr uint8_t kLcrBreak = 0x40;

constexpr uint8_t kLcrDivisorAccess = 0x80;
constexpr uint8_t kLcr8E2 = 0x1F;     // 8 data bits, even parity, 2 stop bits
constexpr uint8_t kDivisor9600 = 12;  // 1.8432 MHz / 16 / 12
constexpr uint8_t kFifoOnClearTrigger14 = 0xC7;

constexpr char kErrorOpenCom[] = "Error Open COM";
constexpr char kAlreadyOpen[] = "Port already open";

// The shadows as the setters change them.
uint8_t WithDtr(uint8_t mcr, uint8_t value) {
  return static_cast<uint8_t>((value == 1 || value == 0x80) ? (mcr | kMcrDtr) : (mcr & ~kMcrDtr));
}
uint8_t WithRts(uint8_t mcr, uint8_t value) {
  return static_cast<uint8_t>(value == 1 ? (mcr | kMcrRts) : (mcr & ~kMcrRts));
}
uint8_t WithTxLevel(uint8_t lcr, uint8_t value) {
  return static_cast<uint8_t>(value == 0 ? (lcr | kLcrBreak) : (lcr & ~kLcrBreak));
}

// Line changes and CTS reads timed when a session opens on a real port.
constexpr int kTimedLineCalls = 24;
constexpr unsigned kTimedBatchSteps = 4000;

int ComIndexFor(std::string_view portName, const SessionSettings& settings) {
  int index = 0;
  if (portName == "avr/pic") {
    index = settings.avrPicCom;
  } else if (portName == "phoenix") {
    index = settings.phoenixCom;
  } else {
    throw std::invalid_argument("unknown port selection '" + std::string(portName) + "'");
  }
  if (index < 0 || index > 3) throw std::invalid_argument("COM index out of range");
  return index;
}

}  // namespace

PortSession::PortSession(PortBackend& backend, SessionReporter& reporter,
                         SessionSettingsSource settings)
    : backend_(backend),
      reporter_(reporter),
      settings_(std::move(settings)),
      clock_(backend.Time()),
      sessionClock_(*this, backend.Time()) {
  idleLines_.Attach(nullIo_, base_);
  if (backend_.Comm().PortName().empty()) backend_.Comm().CommSetPortName(backend_.DeviceForCom(0));
}

void PortSession::NameCommForBurst() {
  if (everOpened_ || InSession()) return;
  const SessionSettings settings = settings_ ? settings_() : SessionSettings{};
  if (settings.avrPicCom >= 0 && settings.avrPicCom <= 3) {
    backend_.Comm().CommSetPortName(backend_.DeviceForCom(settings.avrPicCom));
  }
}

bool PortSession::OpenPort(std::string_view portName) {
  if (state_ != State::Closed) {
    // A second open would take the registers this session changed as the ones to restore.
    reporter_.ShowMessage(kAlreadyOpen);
    return false;
  }
  const SessionSettings settings = settings_ ? settings_() : SessionSettings{};
  const int32_t pollLimit = RxPollLimitFromText(settings.atrDelay);
  const int com = ComIndexFor(portName, settings);

  reporter_.SetBusy(true);
  picClockDelay_ = static_cast<uint8_t>(settings.picClk);
  avrClockDelay_ = static_cast<uint8_t>(settings.avrClk);
  rxPollLimit_ = pollLimit;
  base_ = backend_.BaseForCom(com);
  backend_.Comm().CommSetPortName(backend_.DeviceForCom(com));
  timeOuts_ = 0;
  faultReported_ = false;
  state_ = State::Refused;
  everOpened_ = true;
  backend_.PrepareSession(portName);

  std::string report = "Port:";
  const Setup setup =
      backend_.Mode() == SessionMode::Direct ? OpenDirect(report) : OpenOsHeld(report);
  if (setup == Setup::NoDevice) return false;
  if (setup == Setup::Usable) {
    state_ = State::Open;
    if (const std::string note = backend_.TakeNote(); !note.empty()) reporter_.PortNote(note);
    if (backend_.RealHardware()) TimeLineCalls();
  }
  reporter_.SetStatusPanel(2, report);
  return IsOpen();
}

void PortSession::RefuseDevice(const std::string& problem) {
  reporter_.ShowMessage(kErrorOpenCom);
  if (!problem.empty()) reporter_.PortDiagnostic(problem);
}

PortSession::Setup PortSession::OpenDirect(std::string& report) {
  if (!backend_.BeginSession(base_)) {
    RefuseDevice(backend_.Problem());
    return Setup::NoDevice;
  }
  report += " Com:OK";
  if (Lines* own = backend_.DeviceLines()) {
    lines_ = own;
    reporter_.SetStatusPanel(0, PortLabel("Open"));
    ClearOutputs();
    return Setup::Usable;
  }
  SetUpUart();
  return Setup::Usable;
}

// The 16550's own set-up: interrupts off, 9600 baud 8E2, FIFOs on and cleared; what was
// there is kept for ClosePort to put back.
void PortSession::SetUpUart() {
  io_ = &backend_.Io();
  uartLines_.Attach(*io_, base_);
  lines_ = &uartLines_;
  io_->Out(Reg(kIer), 0);
  savedLineControl_ = io_->In(Reg(kLcr));
  io_->Out(Reg(kLcr), kLcrDivisorAccess | kLcr8E2);
  savedDivisorLow_ = io_->In(Reg(kRbrThr));
  savedDivisorHigh_ = io_->In(Reg(kIer));
  io_->Out(Reg(kRbrThr), kDivisor9600);
  io_->Out(Reg(kIer), 0);
  io_->Out(Reg(kLcr), kLcr8E2);
  savedFifo_ = io_->In(Reg(kIirFcr));
  io_->Out(Reg(kIirFcr), kFifoOnClearTrigger14);
  reporter_.SetStatusPanel(0, PortLabel("Open"));
  ClearOutputs();
  directPortSetUp_ = true;
}

PortSession::Setup PortSession::OpenOsHeld(std::string& report) {
  if (!backend_.Permission().EnablePortRange(base_)) {
    report += " Mask:BAD";
    if (const std::string problem = backend_.Problem(); !problem.empty()) {
      reporter_.PortDiagnostic(problem);
    }
    return Setup::Refused;
  }
  report += " Mask:OK";
  CommPort& comm = backend_.Comm();
  if (!comm.CommConnect()) {
    RefuseDevice(comm.CommProblem());
    return Setup::NoDevice;
  }
  if (!backend_.BeginSession(base_)) {
    RefuseDevice(backend_.Problem());
    return Setup::NoDevice;
  }
  if (comm.CommConnected()) report += " Com:OK";
  io_ = &backend_.Io();
  uartLines_.Attach(*io_, base_);
  lines_ = backend_.DeviceLines() ? backend_.DeviceLines() : &uartLines_;
  ClearOutputs();
  return Setup::Usable;
}

void PortSession::TimeLineCalls() {
  const uint64_t start = clock_.NowNs();
  if (LineBatch* batch = lines_->Batch()) {
    // Lines that pack programs change many times per transfer: a transfer's worth of steps
    // that hold the lines as they are gives the cost of one.
    batch->Hold(kTimedBatchSteps);
    LineSamples none;
    batch->Run(none);
    lineCallUs_ = static_cast<double>(clock_.NowNs() - start) / 1000.0 / kTimedBatchSteps;
  } else {
    for (int i = 0; i < kTimedLineCalls; ++i) {
      lines_->RefreshModemLines();
      lines_->Cts();
    }
    lineCallUs_ = static_cast<double>(clock_.NowNs() - start) / 1000.0 / (2 * kTimedLineCalls);
  }
  if (LineFailed()) state_ = State::Refused;
}

std::string PortSession::PortName() const {
  if (backend_.DeviceLines() != nullptr || backend_.Mode() == SessionMode::OsHeld) {
    const std::string device = backend_.Comm().PortName();
    if (backend_.Mode() == SessionMode::Direct) return device;
    char text[48];
    std::snprintf(text, sizeof text, " (I/O 0x%X)", unsigned{base_});
    return device + text;
  }
  char text[16];
  std::snprintf(text, sizeof text, "I/O 0x%X", unsigned{base_});
  return text;
}

bool PortSession::LineFailed() {
  Flush();
  const LineFault* fault = lines_->Fault();
  if (fault == nullptr) return false;
  if (!faultReported_) {
    faultReported_ = true;
    reporter_.PortDiagnostic(fault->explained.empty() ? ExplainDeviceFault(*fault)
                                                      : fault->explained);
  }
  return true;
}

void PortSession::DropModemLines() {
  Flush();
  if (IsOpen()) {
    ClearOutputs();
  } else if (directPortSetUp_ && backend_.Mode() == SessionMode::Direct &&
             backend_.DeviceLines() == nullptr) {
    backend_.Io().Out(Reg(kMcr), 0);
    lcr_ = kLcr8E2;
    mcr_ = 0;
  }
}

void PortSession::ClearOutputs() {
  lines_->SetModemLines(false, false);
  lcr_ = kLcr8E2;
  mcr_ = 0;
}

void PortSession::ClosePort() {
  if (state_ == State::Closed) return;
  Flush();
  std::string report = "Port:";
  if (backend_.Mode() == SessionMode::Direct) {
    CloseDirect(report);
  } else {
    CloseOsHeld(report);
  }
  io_ = &nullIo_;
  lines_ = &idleLines_;
  state_ = State::Closed;
  backend_.EndSession();
  reporter_.SetStatusPanel(2, report);
  reporter_.SetBusy(false);
}

void PortSession::CloseDirect(std::string& report) {
  report += " Com:Free";
  if (lines_ == &idleLines_) return;  // nothing was changed
  if (lines_ != &uartLines_) {
    reporter_.SetStatusPanel(0, PortLabel("Close"));
    return;
  }
  // DTR and RTS stay as the last operation left them; the interrupt enable register stays 0.
  io_->Out(Reg(kLcr), kLcrDivisorAccess);
  io_->Out(Reg(kRbrThr), savedDivisorLow_);
  io_->Out(Reg(kIer), savedDivisorHigh_);
  io_->Out(Reg(kIirFcr), savedFifo_);
  io_->Out(Reg(kLcr), savedLineControl_);
  reporter_.SetStatusPanel(0, PortLabel("Close"));
}

void PortSession::CloseOsHeld(std::string& report) {
  CommPort& comm = backend_.Comm();
  if (comm.CommConnected()) comm.CommDisconnect();
  report += " Com:Free";
  if (backend_.Permission().DisablePortRange(base_)) report += " Mask:Free";
}

std::string PortSession::PortLabel(const char* state) const {
  if (lines_ != &uartLines_ && lines_ != &idleLines_) {
    return "Port[" + backend_.Comm().PortName() + "]:" + state;
  }
  char hex[8];
  std::snprintf(hex, sizeof hex, "%02X", unsigned{base_});
  return std::string("Port[") + hex + "]:" + state;
}

void PortSession::SetDTR(uint8_t value) {
  Flush();
  mcr_ = WithDtr(mcr_, value);
  lines_->SetModemLines((mcr_ & kMcrDtr) != 0, (mcr_ & kMcrRts) != 0);
}

void PortSession::SetRTS(uint8_t value) {
  Flush();
  mcr_ = WithRts(mcr_, value);
  lines_->SetModemLines((mcr_ & kMcrDtr) != 0, (mcr_ & kMcrRts) != 0);
}

void PortSession::SetTXLevel(uint8_t value) {
  Flush();
  lcr_ = WithTxLevel(lcr_, value);
  lines_->SetBreak((lcr_ & kLcrBreak) != 0);
}

uint8_t PortSession::GetCTS() {
  Flush();
  return lines_->Cts() ? 1 : 0;
}

void PortSession::SetMCLR(uint8_t on) {
  if (!IsOpen()) return;
  Flush();
  SetRTS(0);
  SetDTR(0);
  SetTX(on != 0 ? 1 : 0);
  clock_.SleepMs(kMclrSettleMs);
}

bool PortSession::WaitFor(bool (Lines::*ready)(), uint64_t boundUs) {
  Flush();
  const uint64_t startUs = clock_.NowUs();
  const uint64_t maxPolls = kByteWaitPolls * std::max<uint64_t>(1, boundUs / kByteWaitUs);
  for (uint64_t polls = 0; polls < maxPolls; ++polls) {
    if ((lines_->*ready)()) return true;
    if (lines_->Fault() != nullptr || clock_.NowUs() - startUs >= boundUs) break;
  }
  ++timeOuts_;
  return false;
}

uint8_t PortSession::SendByte(uint8_t value) {
  // TX and RX share the card's IO line, so the byte comes back; the echo is consumed here.
  WaitFor(&Lines::TransmitterEmpty);
  lines_->WriteByte(value);
  WaitFor(&Lines::DataReady);
  return lines_->ReadByte();
}

uint8_t PortSession::ReceiveByte() {
  WaitFor(&Lines::DataReady);
  return lines_->ReadByte();
}

uint8_t PortSession::ReceiveByteWithin(uint64_t boundUs) {
  WaitFor(&Lines::DataReady, boundUs);
  return lines_->ReadByte();
}

uint8_t PortSession::ReceiveByteTimed() {
  // The count includes the pass that ends the loop, so a limit of N makes N - 1 polls; a
  // limit of 0 or 1 makes none. A 16550's status poll takes about a microsecond, so the
  // limit is also a time in microseconds: where a poll takes longer (a USB round trip that
  // waits for the chip's latency timer) the wait ends after that time, not after N polls.
  Flush();
  timedReceiveExpired_ = true;
  const uint64_t startUs = clock_.NowUs();
  const uint64_t boundUs = rxPollLimit_ > 0 ? static_cast<uint64_t>(rxPollLimit_) : 0;
  for (int32_t counter = 1; counter < rxPollLimit_; ++counter) {
    if (lines_->DataReady()) {
      timedReceiveExpired_ = false;
      break;
    }
    if (clock_.NowUs() - startUs >= boundUs) break;
  }
  return lines_->ReadByte();
}

uint8_t PortSession::ReadRxRegister() {
  Flush();
  return lines_->ReadByte();
}

void PortSession::DiscardReceived() {
  Flush();
  lines_->DiscardReceived();
}

void PortSession::ClockDelay(unsigned count) {
  Flush();
  for (unsigned i = 0; i < count; ++i) clock_.Yield();
}

void PortSession::Queue(const LineProgram& program, SampleHandler done) {
  LineBatch* batch = lines_->Batch();
  if (batch == nullptr) {
    LineSamples samples;
    RunSteps(program, samples);
    if (done) done(samples);
    return;
  }
  QueueInBatch(*batch, program);
  pending_.emplace_back(program.Samples(), std::move(done));
}

LineSamples PortSession::Run(const LineProgram& program) {
  LineSamples result;
  Queue(program, [&result](const LineSamples& samples) { result = samples; });
  Flush();
  return result;
}

bool PortSession::BatchFull() const {
  LineBatch* batch = lines_->Batch();
  return batch == nullptr || batch->Full();
}

void PortSession::Flush() {
  LineBatch* batch = lines_->Batch();
  if (batch == nullptr || (pending_.empty() && batch->Empty())) return;
  LineSamples all;
  batch->Run(all);
  // The handlers may queue again; they see an empty list.
  std::vector<std::pair<size_t, SampleHandler>> ready;
  ready.swap(pending_);
  size_t first = 0;
  for (auto& [count, done] : ready) {
    if (done) {
      LineSamples mine;
      for (size_t i = 0; i < count; ++i) mine.Add(all[first + i]);
      done(mine);
    }
    first += count;
  }
}

// The same line operations the setters make, in the same order: one per step.
void PortSession::RunSteps(const LineProgram& program, LineSamples& samples) {
  for (const LineProgram::Step& step : program.Steps()) {
    switch (step.op) {
      case LineProgram::Op::Dtr:
        SetDTR(step.value);
        break;
      case LineProgram::Op::Rts:
        SetRTS(step.value);
        break;
      case LineProgram::Op::TxLevel:
        SetTXLevel(step.value);
        break;
      case LineProgram::Op::Delay:
        ClockDelay(step.value);
        break;
      case LineProgram::Op::SampleCts:
        samples.Add(GetCTS() == 1);
        break;
    }
  }
}

// The shadows follow each step as the setters keep them; the batch gets the line states.
void PortSession::QueueInBatch(LineBatch& batch, const LineProgram& program) {
  for (const LineProgram::Step& step : program.Steps()) {
    switch (step.op) {
      case LineProgram::Op::Dtr:
        mcr_ = WithDtr(mcr_, step.value);
        ApplyToBatch(batch);
        break;
      case LineProgram::Op::Rts:
        mcr_ = WithRts(mcr_, step.value);
        ApplyToBatch(batch);
        break;
      case LineProgram::Op::TxLevel:
        lcr_ = WithTxLevel(lcr_, step.value);
        ApplyToBatch(batch);
        break;
      case LineProgram::Op::Delay:
        batch.Hold(step.value);
        break;
      case LineProgram::Op::SampleCts:
        batch.SampleCts();
        break;
    }
  }
}

void PortSession::ApplyToBatch(LineBatch& batch) {
  batch.Apply((mcr_ & kMcrDtr) != 0, (mcr_ & kMcrRts) != 0, (lcr_ & kLcrBreak) != 0);
}

SessionGuard::SessionGuard(PortSession& session, std::string_view portName) : session_(session) {
  const bool wasInSession = session.InSession();
  usable_ = session.OpenPort(portName);
  started_ = !wasInSession && session.InSession();
}

SessionGuard::~SessionGuard() { Close(); }

void SessionGuard::Close() {
  if (started_) session_.ClosePort();
  started_ = false;
  usable_ = false;
}

}  // namespace vexilo::port
