#include "port/ftdi/ftdi_backend.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "port/comm_port.h"
#include "port/ftdi/ftdi_diagnostics.h"
#include "port/io_permission.h"
#include "port/real_clock.h"
#include "port/serial_ports.h"

namespace vexilo::port {
namespace {

// One 9600 baud character of 8 data bits, parity and 2 stop bits, in microseconds.
constexpr uint64_t kCharacterUs = 12 * 1000000 / 9600;
// The output time-out beyond the characters' own time.
constexpr uint64_t kDrainSlackUs = 500000;

// The bit clock. libftdi multiplies a bit-bang rate by 4 for the chip's generator, and
// published measurements disagree on what the chip makes of that (a byte per 4 generator
// bauds, or 4 bytes per baud): so a first rate is set and the step it gives is timed.
// At the first rate a step is slow enough for the USB bus to keep up either way.
constexpr int kProbeBaud = 15625;
// What the line programs take a step to be.
constexpr double kStepNs = 1000;
// The generator's 3 MBaud over libftdi's factor of 4.
constexpr int kMostBaud = 750000;

}  // namespace

// Nothing to ask the kernel for: the USB device's permission is checked when it opens.
class FtdiBackend::Granted final : public IoPermission {
 public:
  bool EnablePortRange(uint16_t) override { return true; }
  bool DisablePortRange(uint16_t) override { return true; }
};

// The mode bursts go out through the chip's UART. During a session the chip leaves bit-bang
// mode for the burst and comes back to it afterwards; outside one it is opened for the burst.
class FtdiBackend::BurstComm final : public CommPort {
 public:
  explicit BurstComm(FtdiBackend& backend) : backend_(backend) {}

  bool CommConnect() override {
    if (connected_) return true;
    problem_.clear();
    heldBySession_ = backend_.inSession_;
    if (!heldBySession_ && !backend_.OpenDevice()) {
      problem_ = backend_.problem_;
      return false;
    }
    if (!backend_.lines_.Begin(false, backend_.BitBangBaud(), backend_.Description())) {
      problem_ = backend_.lines_.Fault()->explained;
      if (!heldBySession_) backend_.CloseDevice();
      return false;
    }
    connected_ = true;
    unsent_ = 0;
    return true;
  }
  void CommDisconnect() override {
    if (!connected_) return;
    connected_ = false;
    if (heldBySession_) {
      backend_.lines_.Begin(backend_.bitBang_, backend_.BitBangBaud(), backend_.Description());
    } else {
      backend_.CloseDevice();
    }
  }
  bool CommConnected() const override { return connected_; }
  void CommSetPortName(const std::string&) override {}
  std::string PortName() const override { return backend_.Label(); }
  bool CommSendByte(uint8_t value) override {
    if (!connected_) return false;
    if (backend_.calls_->WriteData(&value, 1) != 1) {
      problem_ = ExplainFtdiFailure(backend_.Description(), "ftdi_write_data", -1,
                                    backend_.calls_->ErrorString());
      return false;
    }
    ++unsent_;
    return true;
  }
  // Waits until the chip's transmitter is empty, at most the bytes' character times and the
  // output time-out.
  bool CommDrain() override {
    if (!connected_) return false;
    Clock& clock = backend_.clock_;
    const uint64_t boundUs = unsent_ * kCharacterUs + kDrainSlackUs;
    const uint64_t start = clock.NowUs();
    unsent_ = 0;
    for (;;) {
      uint16_t status = 0;
      if (backend_.calls_->PollModemStatus(status) < 0) {
        problem_ = ExplainFtdiFailure(backend_.Description(), "ftdi_poll_modem_status", -1,
                                      backend_.calls_->ErrorString());
        return false;
      }
      if ((status & ftdi::kLineTransmitterEmpty) != 0) return true;
      if (clock.NowUs() - start >= boundUs) return false;
      clock.SleepMs(1);
    }
  }
  std::string CommProblem() const override { return problem_; }

 private:
  FtdiBackend& backend_;
  bool connected_ = false;
  bool heldBySession_ = false;
  uint64_t unsent_ = 0;
  std::string problem_;
};

FtdiBackend::FtdiBackend(std::unique_ptr<FtdiCalls> calls, Clock* clock, FtdiOptions options)
    : calls_(std::move(calls)),
      ownClock_(clock ? nullptr : std::make_unique<RealClock>()),
      clock_(clock ? *clock : *ownClock_),
      options_(std::move(options)),
      lines_(*calls_, options_.pins),
      comm_(std::make_unique<BurstComm>(*this)),
      permission_(std::make_unique<Granted>()) {}

FtdiBackend::~FtdiBackend() { CloseDevice(); }

CommPort& FtdiBackend::Comm() { return *comm_; }
IoPermission& FtdiBackend::Permission() { return *permission_; }

std::string FtdiBackend::Description() const { return open_ ? opened_ : options_.device; }

std::string FtdiBackend::Label() const {
  const std::string device = Description();
  return "FTDI " + (device.empty() ? std::string("USB adapter") : device);
}

std::string FtdiBackend::DeviceForCom(int) const { return Label(); }

void FtdiBackend::PrepareSession(std::string_view portName) { bitBang_ = portName != "phoenix"; }

bool FtdiBackend::OpenDevice() {
  if (open_) return true;
  problem_.clear();
  std::string description = options_.device;
  std::vector<FtdiDeviceInfo> devices;
  if (description.empty()) {
    if (calls_->FindAll(devices) < 0 || devices.size() != 1) {
      problem_ = ExplainFtdiChoice(devices, ListSerialPorts());
      return false;
    }
    description = FtdiDeviceChoice(devices.front());
  }
  const int result = calls_->OpenString(description);
  if (result < 0) {
    const std::string reason = calls_->ErrorString();
    devices.clear();
    calls_->FindAll(devices);
    problem_ = ExplainFtdiOpen(description, result, reason, devices, ListSerialPorts());
    return false;
  }
  opened_ = description;
  open_ = true;
  return true;
}

void FtdiBackend::CloseDevice() {
  if (!open_) return;
  lines_.End();
  calls_->Close();
  open_ = false;
}

int FtdiBackend::BitBangBaud() const {
  if (options_.bitBangBaud > 0) return options_.bitBangBaud;
  return measuredBaud_ > 0 ? measuredBaud_ : kProbeBaud;
}

// Times the steps at the first rate and sets the rate that makes them a microsecond: never
// faster, so the card's clock (SCK high and low each at least 2 cycles of 3.58 MHz) is kept.
bool FtdiBackend::MeasureBitClock() {
  const double probeStepNs = lines_.MeasureStepNs(clock_);
  if (probeStepNs <= 0) return false;
  // Rounded down to three figures: the frames of the bus make the time a little uncertain.
  double wanted = std::clamp(kProbeBaud * probeStepNs / kStepNs, 1.0, double{kMostBaud});
  const double unit = std::pow(10.0, std::floor(std::log10(wanted)) - 2);
  wanted = std::max(1.0, std::floor(wanted / unit) * unit);
  measuredBaud_ = static_cast<int>(wanted);
  if (!lines_.SetRate(measuredBaud_)) return false;
  char text[200];
  std::snprintf(text, sizeof text,
                "FTDI bit clock: %.2f us per step measured at %d baud; set %d baud: %.2f us per "
                "step (%s)",
                probeStepNs / 1000, kProbeBaud, measuredBaud_,
                probeStepNs * kProbeBaud / measuredBaud_ / 1000, Description().c_str());
  note_ = text;
  return true;
}

std::string FtdiBackend::TakeNote() { return std::exchange(note_, std::string()); }

bool FtdiBackend::BeginSession(uint16_t) {
  if (!OpenDevice()) return false;
  if (!lines_.Begin(bitBang_, BitBangBaud(), Description()) ||
      (bitBang_ && options_.bitBangBaud <= 0 && measuredBaud_ == 0 && !MeasureBitClock())) {
    problem_ = lines_.Fault() ? lines_.Fault()->explained
                              : "FTDI USB adapter " + Description() +
                                    ": the bit-bang clock could not be timed; plug the cable in "
                                    "again and repeat the command.";
    CloseDevice();
    return false;
  }
  inSession_ = true;
  return true;
}

void FtdiBackend::EndSession() {
  inSession_ = false;
  CloseDevice();
}

}  // namespace vexilo::port
