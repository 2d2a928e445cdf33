#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "port/ftdi/ftdi_calls.h"
#include "sim/ftdi/ft232r.h"
#include "sim/sim_backend.h"

namespace vexilo::sim {

// How the simulated machine lets a program at a device, and what libftdi 1.5 then says.
enum class SimFtdiAccess {
  Granted,
  // The device node is not writable for the user: libusb_open fails (LIBUSB_ERROR_ACCESS),
  // which libftdi reports as -4 "usb_open() failed" (i:/s:) or "libusb_open() failed" (d:).
  NoPermission,
  // The kernel's ftdi_sio driver holds the interface and may not be detached (EPERM): -8
  // "inappropriate permissions on device!".
  DetachDenied,
  // The interface cannot be claimed (a driver or another program holds it): -5 "unable to
  // claim usb device. Make sure the default FTDI driver is not in use".
  ClaimFails,
};

// One FTDI device on the simulated USB bus.
struct SimFtdiDevice {
  port::FtdiDeviceInfo info;
  SimFtdiAccess access = SimFtdiAccess::Granted;
  // The RS-232 cable to the simulated card adapter (at most one device has it).
  bool wired = true;
};

// An FTDI USB-RS232 cable with an FT232R: "FT232R USB UART", 0403:6001, serial "VXSIM001", on
// bus 1 as device 2.
SimFtdiDevice DefaultSimFtdiDevice();

struct SimFtdiOptions {
  std::vector<SimFtdiDevice> devices{DefaultSimFtdiDevice()};
  // The open device is unplugged once this many transfers have reached it (each control
  // request, each bulk read or write transfer, each exchange; opening takes two); 0 = never.
  uint64_t unplugAfterTransfers = 0;
  Ft232rTiming timing;
};

// libftdi's calls answered by FT232R models on a simulated USB bus, one of them cabled to the
// simulated machine's card adapter: so the FTDI backend runs, and is timed, end to end against
// the simulated cards. Return values and error texts are libftdi 1.5's, including the state
// libftdi keeps in its context (the bit-bang flag that makes ftdi_set_baudrate multiply by 4,
// the read buffer that keeps the surplus of a transfer). Opening does what ftdi_usb_open_dev
// does to the chip (SIO reset, 9600 baud).
//
// A device that is unplugged (Unplug, or the planted count) vanishes from the bus; every call
// on it then fails as libftdi's do when libusb answers LIBUSB_ERROR_NO_DEVICE.
class SimFtdiCalls final : public port::FtdiCalls {
 public:
  explicit SimFtdiCalls(SimBackend& sim, SimFtdiOptions options = {});
  ~SimFtdiCalls() override;

  int FindAll(std::vector<port::FtdiDeviceInfo>& devices) override;
  int OpenString(const std::string& description) override;
  int Close() override;
  int SetBitmode(uint8_t outputs, uint8_t mode) override;
  int SetBaudrate(int baud) override;
  int SetLatencyTimer(uint8_t ms) override;
  int SetLineProperty(int bits, int stopBits, int parity, bool breakOn) override;
  int SetDtrRts(bool dtr, bool rts) override;
  int PollModemStatus(uint16_t& status) override;
  int Purge() override;
  int WriteData(const uint8_t* data, int size) override;
  int ReadData(uint8_t* data, int size) override;
  int Exchange(const uint8_t* out, uint8_t* in, int size) override;
  int SetReadChunkSize(int bytes) override;
  std::string ErrorString() const override { return error_; }

  // The chip of device `index` (in the order of the options).
  Ft232r& Chip(size_t index = 0) { return *chips_.at(index); }
  bool IsOpen() const { return open_; }
  // Transfers that reached a device since construction.
  uint64_t Transfers() const { return transfers_; }
  // Pulls device `index` off the bus now.
  void Unplug(size_t index = 0);

 private:
  int Fail(int code, const char* message);
  // Counts a transfer to the open device; false when the device is gone.
  bool Reach();
  int OpenDevice(size_t index, bool byDescriptor);
  int OpenByIds(unsigned vendor, unsigned product, const char* serial, unsigned index);
  void TakeFromReadBuffer(uint8_t* data, size_t count);

  SimBackend& sim_;
  SimFtdiOptions options_;
  std::vector<std::unique_ptr<Ft232r>> chips_;
  std::vector<bool> present_;
  bool open_ = false;
  size_t current_ = 0;
  bool bitbangEnabled_ = false;     // libftdi's ftdi->bitbang_enabled
  std::deque<uint8_t> readBuffer_;  // libftdi's readbuffer_remaining
  uint64_t transfers_ = 0;
  size_t readChunk_ = Ft232r::kTransferBytes;  // libftdi's readbuffer_chunksize
  std::string error_;
};

}  // namespace vexilo::sim
