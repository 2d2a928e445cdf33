#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "port/backend.h"
#include "port/ftdi/ftdi_calls.h"
#include "port/ftdi/ftdi_lines.h"
#include "port/ftdi/ftdi_pins.h"

namespace vexilo::port {

// How the FTDI backend finds and drives its chip.
struct FtdiOptions {
  // libftdi's description of the device ("i:0x0403:0x6001", "s:0x0403:0x6001:SERIAL",
  // "d:001/004"); empty: the one FTDI device on the bus.
  std::string device;
  FtdiPinMap pins;
  // The bit-bang rate as libftdi's baud rate; 0: measured when the first bit-bang session
  // opens, so that a line step takes a microsecond, as fast as the adapter's lines moved on
  // a 16550 on the ISA bus.
  int bitBangBaud = 0;
  // A real chip (timed for estimates); false for the chip model on the simulator's clock.
  bool realHardware = true;
};

// The `ftdi` port backend: the adapter on an FTDI USB-RS232 cable driven in synchronous
// bit-bang mode for programming (whole instructions per USB transfer) and as a UART for the
// Phoenix link and the mode bursts. The device is held only while a session or a burst needs
// it; the kernel's ftdi_sio driver is detached from it meanwhile and comes back when it is
// closed.
class FtdiBackend final : public PortBackend {
 public:
  // `clock` null: the machine's own clock.
  FtdiBackend(std::unique_ptr<FtdiCalls> calls, Clock* clock, FtdiOptions options);
  ~FtdiBackend() override;

  CommPort& Comm() override;
  IoPermission& Permission() override;
  Clock& Time() override { return clock_; }
  SessionMode Mode() const override { return SessionMode::Direct; }
  std::string SystemLine() const override { return kLinuxSystemLine; }
  std::string DeviceForCom(int index) const override;
  void PrepareSession(std::string_view portName) override;
  bool BeginSession(uint16_t base) override;
  void EndSession() override;
  Lines* DeviceLines() override { return inSession_ ? &lines_ : nullptr; }
  std::string Problem() const override { return problem_; }
  std::string TakeNote() override;
  bool RealHardware() const override { return options_.realHardware; }

  // What the port's name calls the device ("FTDI s:0x0403:0x6001:A50285BI"), and libftdi's
  // description of it.
  std::string Label() const;
  std::string Description() const;

 private:
  class BurstComm;
  class Granted;

  // Opens the chip when it is not open yet; false with Problem() set when that failed.
  bool OpenDevice();
  // The bit-bang rate: measured at the first bit-bang session on the device.
  int BitBangBaud() const;
  bool MeasureBitClock();
  void CloseDevice();

  std::unique_ptr<FtdiCalls> calls_;
  std::unique_ptr<Clock> ownClock_;
  Clock& clock_;
  FtdiOptions options_;
  FtdiLines lines_;
  std::unique_ptr<BurstComm> comm_;
  std::unique_ptr<Granted> permission_;
  std::string opened_;  // the description the chip was opened by
  bool open_ = false;
  bool inSession_ = false;
  bool bitBang_ = true;
  int measuredBaud_ = 0;
  std::string note_;
  std::string problem_;
};

}  // namespace vexilo::port
