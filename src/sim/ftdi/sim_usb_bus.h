#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "port/ftdi/ftdi_calls.h"
#include "port/virtual_clock.h"
#include "sim/adapter/adapter.h"
#include "sim/ftdi/ft232r.h"

namespace vexilo::sim {

// How the simulated machine lets a program at a device.
enum class SimFtdiAccess {
  Granted,
  // The device node is not writable for the user: libusb_open fails (LIBUSB_ERROR_ACCESS).
  NoPermission,
  // The kernel's ftdi_sio driver holds the interface and may not be detached (EPERM).
  DetachDenied,
  // The interface cannot be claimed (a driver or another program holds it).
  ClaimFails,
};

// One device on the simulated USB bus.
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
  // request, each bulk transfer, each submitted transfer); 0 = never.
  uint64_t unplugAfterTransfers = 0;
  Ft232rTiming timing;
};

// A USB bus with FT232R models on it, reached through libusb-1.0's own calls: this program
// defines the libusb functions libftdi imports, and each of them serves the contexts,
// devices, handles and transfers of a simulated bus and passes everything else to the real
// libusb. A libusb context belongs to a bus when it is made while a Scope of that bus is alive
// on the thread (libftdi makes its context in ftdi_new).
//
// Every device answers FTDI's vendor requests and its two bulk endpoints as the model does;
// a device of another vendor stalls them. An unplugged device vanishes from the bus, and every
// call on it answers LIBUSB_ERROR_NO_DEVICE (transfers in flight end with
// LIBUSB_TRANSFER_NO_DEVICE).
class SimUsbBus {
 public:
  // The bus and its devices as libusb's calls find them.
  struct State;

  // The wired device's cable goes to `adapter`.
  SimUsbBus(port::VirtualClock& clock, Adapter& adapter, SimFtdiOptions options);
  ~SimUsbBus();
  SimUsbBus(const SimUsbBus&) = delete;
  SimUsbBus& operator=(const SimUsbBus&) = delete;

  class Scope {
   public:
    explicit Scope(SimUsbBus& bus);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    State* previous_;
  };

  Ft232r& Chip(size_t index = 0);
  void Unplug(size_t index = 0);
  // Transfers that reached a device since construction.
  uint64_t Transfers() const;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace vexilo::sim
