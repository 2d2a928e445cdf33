#include "port/port_session.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace vexilo::port {

namespace {

// 16550 register offsets and bits.
constexpr uint16_t kRbrThr = 0;  // divisor low while LCR bit 7
constexpr uint16_t kIer = 1;     // divisor high while LCR bit 7
constexpr uint16_t kIirFcr = 2;
constexpr uint16_t kLcr = 3;
constexpr uint16_t kMcr = 4;
constexpr uint16_t kLsr = 5;
constexpr uint16_t kMsr = 6;

constexpr uint8_t kLsrDataReady = 0x01;
constexpr uint8_t kLsrTransmitterEmpty = 0x40;
constexpr uint8_t kMsrCts = 0x10;
constexpr uint8_t kMcrDtr = 0x01;
constexpr uint8_t kMcrRts = 0x02;
constexpr uint8_t kLcrBreak = 0x40;

constexpr uint8_t kLcrDivisorAccess = 0x80;
constexpr uint8_t kLcr8E2 = 0x1F;     // 8 data bits, even parity, 2 stop bits
constexpr uint8_t kDivisor9600 = 12;  // 1.8432 MHz / 16 / 12
constexpr uint8_t kFifoOnClearTrigger14 = 0xC7;

constexpr char kErrorOpenCom[] = "Error Open COM";
constexpr char kAlreadyOpen[] = "Port already open";

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
      clock_(backend.Time()) {
  // Until a session names its COM device, the serial component holds COM1's.
  if (backend_.Comm().PortName().empty()) backend_.Comm().CommSetPortName(backend_.DeviceForCom(0));
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
  base_ = kComBases[com];
  backend_.Comm().CommSetPortName(backend_.DeviceForCom(com));
  timeOuts_ = 0;
  state_ = State::Refused;

  std::string report = "Port:";
  const Setup setup =
      backend_.Mode() == SessionMode::Direct ? OpenDirect(report) : OpenOsHeld(report);
  if (setup == Setup::NoDevice) return false;
  if (setup == Setup::Usable) state_ = State::Open;
  reporter_.SetStatusPanel(2, report);
  return IsOpen();
}

PortSession::Setup PortSession::OpenDirect(std::string& report) {
  if (!backend_.BeginSession(base_)) {
    reporter_.ShowMessage(kErrorOpenCom);
    return Setup::NoDevice;
  }
  report += " Com:OK";
  io_ = &backend_.Io();
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
  return Setup::Usable;
}

PortSession::Setup PortSession::OpenOsHeld(std::string& report) {
  if (!backend_.Permission().EnablePortRange(base_)) {
    report += " Mask:BAD";
    return Setup::Refused;
  }
  report += " Mask:OK";
  CommPort& comm = backend_.Comm();
  if (!comm.CommConnect() || !backend_.BeginSession(base_)) {
    reporter_.ShowMessage(kErrorOpenCom);
    return Setup::NoDevice;
  }
  if (comm.CommConnected()) report += " Com:OK";
  io_ = &backend_.Io();
  ClearOutputs();
  return Setup::Usable;
}

void PortSession::DropModemLines() {
  if (IsOpen()) {
    ClearOutputs();
  } else if (directPortSetUp_ && backend_.Mode() == SessionMode::Direct) {
    backend_.Io().Out(Reg(kMcr), 0);
    lcr_ = kLcr8E2;
    mcr_ = 0;
  }
}

void PortSession::ClearOutputs() {
  io_->Out(Reg(kMcr), 0);
  lcr_ = kLcr8E2;
  mcr_ = 0;
}

void PortSession::ClosePort() {
  if (state_ == State::Closed) return;
  std::string report = "Port:";
  if (backend_.Mode() == SessionMode::Direct) {
    CloseDirect(report);
  } else {
    CloseOsHeld(report);
  }
  io_ = &nullIo_;
  state_ = State::Closed;
  backend_.EndSession();
  reporter_.SetStatusPanel(2, report);
  reporter_.SetBusy(false);
}

void PortSession::CloseDirect(std::string& report) {
  report += " Com:Free";
  if (state_ != State::Open) return;  // nothing was changed
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
  char hex[8];
  std::snprintf(hex, sizeof hex, "%02X", unsigned{base_});
  return std::string("Port[") + hex + "]:" + state;
}

void PortSession::SetDTR(uint8_t value) {
  mcr_ = (value == 1 || value == 0x80) ? (mcr_ | kMcrDtr) : (mcr_ & ~kMcrDtr);
  io_->Out(Reg(kMcr), mcr_);
}

void PortSession::SetRTS(uint8_t value) {
  mcr_ = value == 1 ? (mcr_ | kMcrRts) : (mcr_ & ~kMcrRts);
  io_->Out(Reg(kMcr), mcr_);
}

void PortSession::SetTXLevel(uint8_t value) {
  lcr_ = value == 0 ? (lcr_ | kLcrBreak) : (lcr_ & ~kLcrBreak);
  io_->Out(Reg(kLcr), lcr_);
}

uint8_t PortSession::GetCTS() { return (io_->In(Reg(kMsr)) & kMsrCts) != 0 ? 1 : 0; }

void PortSession::SetMCLR(uint8_t on) {
  if (!IsOpen()) return;
  SetRTS(0);
  SetDTR(0);
  SetTX(on != 0 ? 1 : 0);
  clock_.SleepMs(kMclrSettleMs);
}

bool PortSession::WaitLineStatus(uint8_t mask, uint64_t boundUs) {
  const uint64_t startUs = clock_.NowUs();
  const uint64_t maxPolls = kByteWaitPolls * std::max<uint64_t>(1, boundUs / kByteWaitUs);
  for (uint64_t polls = 0; polls < maxPolls; ++polls) {
    if ((io_->In(Reg(kLsr)) & mask) != 0) return true;
    if (clock_.NowUs() - startUs >= boundUs) break;
  }
  ++timeOuts_;
  return false;
}

uint8_t PortSession::SendByte(uint8_t value) {
  // TX and RX share the card's IO line, so the byte comes back; the echo is consumed here.
  WaitLineStatus(kLsrTransmitterEmpty);
  io_->Out(Reg(kRbrThr), value);
  WaitLineStatus(kLsrDataReady);
  return io_->In(Reg(kRbrThr));
}

uint8_t PortSession::ReceiveByte() {
  WaitLineStatus(kLsrDataReady);
  return io_->In(Reg(kRbrThr));
}

uint8_t PortSession::ReceiveByteWithin(uint64_t boundUs) {
  WaitLineStatus(kLsrDataReady, boundUs);
  return io_->In(Reg(kRbrThr));
}

uint8_t PortSession::ReceiveByteTimed() {
  // The count includes the pass that ends the loop, so a limit of N makes N - 1 polls; a
  // limit of 0 or 1 makes none.
  timedReceiveExpired_ = true;
  for (int32_t counter = 1; counter < rxPollLimit_; ++counter) {
    if ((io_->In(Reg(kLsr)) & kLsrDataReady) != 0) {
      timedReceiveExpired_ = false;
      break;
    }
  }
  return io_->In(Reg(kRbrThr));
}

uint8_t PortSession::ReadRxRegister() { return io_->In(Reg(kRbrThr)); }

void PortSession::ClockDelay(unsigned count) {
  for (unsigned i = 0; i < count; ++i) clock_.Yield();
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
