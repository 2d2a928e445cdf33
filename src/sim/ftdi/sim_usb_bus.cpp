#include "sim/ftdi/sim_usb_bus.h"

#include <dlfcn.h>
#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace vexilo::sim {

namespace {

// FTDI's vendor requests (the SIO requests of FTDI's chips).
constexpr uint8_t kSioReset = 0x00;
constexpr uint8_t kSioModemCtrl = 0x01;
constexpr uint8_t kSioSetBaudRate = 0x03;
constexpr uint8_t kSioSetData = 0x04;
constexpr uint8_t kSioPollModemStatus = 0x05;
constexpr uint8_t kSioSetLatencyTimer = 0x09;
constexpr uint8_t kSioGetLatencyTimer = 0x0A;
constexpr uint8_t kSioSetBitmode = 0x0B;
constexpr uint8_t kSioReadPins = 0x0C;
// SIO_RESET's values: the whole chip, the FIFO towards the pins, the FIFO towards the host.
constexpr uint16_t kResetSio = 0;
constexpr uint16_t kResetTxFifo = 1;
constexpr uint16_t kResetRxFifo = 2;

// The release number libftdi tells the chip type by, per product ID.
uint16_t BcdDeviceFor(uint16_t vendor, uint16_t product) {
  if (vendor != port::ftdi::kVendorFtdi) return 0x0300;
  switch (product) {
    case 0x6010:
      return 0x0700;  // FT2232H
    case 0x6011:
      return 0x0800;  // FT4232H
    case 0x6014:
      return 0x0900;  // FT232H
    case 0x6015:
      return 0x1000;  // FT-X
    default:
      return 0x0600;  // FT232R
  }
}

// The generator's rate from libftdi's encoded divisor (3 MHz / (n + x/8); 0 and 1 are 3 and
// 2 MBaud).
uint32_t RateFromDivisor(uint32_t encoded) {
  if (encoded == 0) return 3000000;
  if (encoded == 1) return 2000000;
  static constexpr uint8_t kEighthsOfCode[8] = {0, 4, 2, 1, 3, 5, 6, 7};
  const uint32_t eighths = (encoded & 0x3FFF) * 8 + kEighthsOfCode[(encoded >> 14) & 7];
  return eighths == 0 ? 3000000 : uint32_t(24000000ull / eighths);
}

}  // namespace

struct SimUsbBus::State {
  struct Device;
  struct Handle {
    State* bus;
    size_t index;
  };
  struct Context {
    State* bus;
  };
  struct Device {
    State* bus = nullptr;
    size_t index = 0;
    libusb_endpoint_descriptor endpoints[2]{};
    libusb_interface_descriptor altsetting{};
    libusb_interface interface {};
    libusb_config_descriptor config{};
  };

  port::VirtualClock& clock;
  SimFtdiOptions options;
  std::vector<std::unique_ptr<Ft232r>> chips;
  std::vector<std::unique_ptr<Device>> devices;
  std::vector<bool> present;
  uint64_t transfers = 0;
  // The transfers in flight, per device: at most one OUT and one IN.
  struct InFlight {
    libusb_transfer* out = nullptr;
    libusb_transfer* in = nullptr;
    bool cancelled = false;
  };
  std::vector<InFlight> inFlight;

  State(port::VirtualClock& c, SimFtdiOptions o) : clock(c), options(std::move(o)) {}

  bool Present(size_t index) const { return present[index]; }
  // Counts a transfer to device `index`; false when it is gone (or goes now).
  bool Reach(size_t index) {
    if (!present[index]) return false;
    if (options.unplugAfterTransfers != 0 && transfers >= options.unplugAfterTransfers) {
      Unplug(index);
      return false;
    }
    ++transfers;
    return true;
  }
  void Unplug(size_t index) {
    if (!present[index]) return;
    present[index] = false;
    chips[index]->DropTransfers();
    chips[index]->PowerLost();
  }
  bool Ftdi(size_t index) const {
    return options.devices[index].info.vendor == port::ftdi::kVendorFtdi;
  }
  void Frame() { clock.Advance(options.timing.frameNs); }

  int Control(size_t index, uint8_t type, uint8_t request, uint16_t value, uint16_t wIndex,
              unsigned char* data, uint16_t length);
  int Bulk(size_t index, unsigned char endpoint, unsigned char* data, int length, int* transferred);
  int Submit(libusb_transfer* transfer, size_t index);
  int Cancel(libusb_transfer* transfer, size_t index);
  int HandleEvents(int* completed);
};

namespace {

// Every object of a simulated bus that libusb's callers hold, by its address.
enum class Kind { Context, Device, Handle, List, Config };
struct Entry {
  Kind kind;
  SimUsbBus::State* bus;
  void* object;
};

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::unordered_map<const void*, Entry>& Registry() {
  static std::unordered_map<const void*, Entry> registry;
  return registry;
}
void Register(const void* key, Kind kind, SimUsbBus::State* bus, void* object) {
  std::lock_guard lock(RegistryMutex());
  Registry()[key] = {kind, bus, object};
}
void Unregister(const void* key) {
  std::lock_guard lock(RegistryMutex());
  Registry().erase(key);
}
template <typename T>
T* Find(const void* key, Kind kind) {
  if (key == nullptr) return nullptr;
  std::lock_guard lock(RegistryMutex());
  const auto it = Registry().find(key);
  if (it == Registry().end() || it->second.kind != kind) return nullptr;
  return static_cast<T*>(it->second.object);
}

thread_local SimUsbBus::State* tScopeBus = nullptr;

// The real libusb's function of the same name.
template <typename F>
F Real(F, const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  if (symbol == nullptr) {
    std::fprintf(stderr, "vexilo: libusb-1.0 has no %s\n", name);
    std::abort();
  }
  F function;
  std::memcpy(&function, &symbol, sizeof function);
  return function;
}
#define VEXILO_REAL_LIBUSB(name) Real(&name, #name)

}  // namespace

int SimUsbBus::State::Control(size_t index, uint8_t type, uint8_t request, uint16_t value,
                              uint16_t wIndex, unsigned char* data, uint16_t length) {
  (void)wIndex;
  if (!Reach(index)) return LIBUSB_ERROR_NO_DEVICE;
  if (!Ftdi(index) || (type & LIBUSB_REQUEST_TYPE_VENDOR) == 0) {
    Frame();
    return LIBUSB_ERROR_PIPE;
  }
  Ft232r& chip = *chips[index];
  switch (request) {
    case kSioReset:
      if (value == kResetSio) chip.Reset();
      if (value == kResetTxFifo) chip.PurgeTx();
      if (value == kResetRxFifo) chip.PurgeRx();
      return 0;
    case kSioModemCtrl: {
      // The high byte says which lines change, the low byte to what.
      const bool dtr = (value & 0x0100) ? (value & 0x01) != 0 : (chip.Lines() & kLineDtr) != 0;
      const bool rts = (value & 0x0200) ? (value & 0x02) != 0 : (chip.Lines() & kLineRts) != 0;
      chip.SetModemControl(dtr, rts);
      return 0;
    }
    case kSioSetBaudRate:
      chip.SetBaudRate(RateFromDivisor(value | (uint32_t(wIndex & 0xFF) << 16)));
      return 0;
    case kSioSetData:
      chip.SetDataCharacteristics(value & 0xFF, (value >> 11) & 3, (value >> 8) & 7,
                                  (value & 0x4000) != 0);
      return 0;
    case kSioPollModemStatus: {
      const uint16_t status = chip.PollModemStatus();
      if (length < 2 || data == nullptr) return LIBUSB_ERROR_OVERFLOW;
      data[0] = uint8_t(status & 0xFF);
      data[1] = uint8_t(status >> 8);
      return 2;
    }
    case kSioSetLatencyTimer:
      chip.SetLatencyTimer(uint8_t(value));
      return 0;
    case kSioGetLatencyTimer:
      Frame();
      if (length < 1 || data == nullptr) return LIBUSB_ERROR_OVERFLOW;
      data[0] = chip.LatencyMs();
      return 1;
    case kSioSetBitmode:
      chip.SetBitmode(uint8_t(value & 0xFF), uint8_t(value >> 8));
      return 0;
    case kSioReadPins:
      Frame();
      if (length < 1 || data == nullptr) return LIBUSB_ERROR_OVERFLOW;
      data[0] = chip.PinLevels();
      return 1;
    default:
      // Flow control, event and error characters: taken, nothing to model.
      Frame();
      return 0;
  }
}

int SimUsbBus::State::Bulk(size_t index, unsigned char endpoint, unsigned char* data, int length,
                           int* transferred) {
  *transferred = 0;
  if (!Reach(index)) return LIBUSB_ERROR_NO_DEVICE;
  if (!Ftdi(index)) return LIBUSB_ERROR_PIPE;
  Ft232r& chip = *chips[index];
  if ((endpoint & LIBUSB_ENDPOINT_IN) != 0) {
    const std::vector<uint8_t> packets = chip.BulkIn(size_t(length));
    if (packets.empty()) return LIBUSB_ERROR_TIMEOUT;
    const size_t count = std::min(packets.size(), size_t(length));
    std::memcpy(data, packets.data(), count);
    *transferred = int(count);
    return 0;
  }
  const Ft232r::OutResult result = chip.BulkOut(data, size_t(length));
  *transferred = int(result.accepted);
  return result.timedOut ? LIBUSB_ERROR_TIMEOUT : 0;
}

int SimUsbBus::State::Submit(libusb_transfer* transfer, size_t index) {
  if (!Reach(index)) return LIBUSB_ERROR_NO_DEVICE;
  InFlight& flight = inFlight[index];
  Ft232r& chip = *chips[index];
  if ((transfer->endpoint & LIBUSB_ENDPOINT_IN) != 0) {
    if (flight.in != nullptr) return LIBUSB_ERROR_BUSY;
    flight.in = transfer;
    chip.SubmitIn(size_t(transfer->length));
  } else {
    if (flight.out != nullptr) return LIBUSB_ERROR_BUSY;
    flight.out = transfer;
    chip.SubmitOut(transfer->buffer, size_t(transfer->length));
  }
  return 0;
}

int SimUsbBus::State::Cancel(libusb_transfer* transfer, size_t index) {
  InFlight& flight = inFlight[index];
  if (flight.in != transfer && flight.out != transfer) return LIBUSB_ERROR_NOT_FOUND;
  flight.cancelled = true;
  return 0;
}

// Ends one transfer in flight (the first the bus completes) and calls its callback.
int SimUsbBus::State::HandleEvents(int* completed) {
  if (completed != nullptr && *completed) return 0;
  for (size_t index = 0; index < inFlight.size(); ++index) {
    InFlight& flight = inFlight[index];
    if (flight.in == nullptr && flight.out == nullptr) continue;
    libusb_transfer* done = nullptr;
    if (flight.cancelled || !present[index]) {
      done = flight.out != nullptr ? flight.out : flight.in;
      (done == flight.out ? flight.out : flight.in) = nullptr;
      if (flight.out == nullptr && flight.in == nullptr) {
        flight.cancelled = false;
        chips[index]->DropTransfers();
      }
      done->actual_length = 0;
      done->status = present[index] ? LIBUSB_TRANSFER_CANCELLED : LIBUSB_TRANSFER_NO_DEVICE;
    } else {
      Ft232r::Completion end = chips[index]->RunTransfers();
      if (end.in) {
        done = flight.in;
        flight.in = nullptr;
        const size_t count = std::min(end.packets.size(), size_t(done->length));
        std::memcpy(done->buffer, end.packets.data(), count);
        done->actual_length = int(count);
      } else {
        done = flight.out;
        flight.out = nullptr;
        done->actual_length = int(end.outAccepted);
      }
      done->status = end.timedOut ? LIBUSB_TRANSFER_TIMED_OUT : LIBUSB_TRANSFER_COMPLETED;
    }
    if (done->callback != nullptr) done->callback(done);
    return 0;
  }
  return LIBUSB_ERROR_NOT_FOUND;
}

SimFtdiDevice DefaultSimFtdiDevice() {
  SimFtdiDevice device;
  device.info.vendor = port::ftdi::kVendorFtdi;
  device.info.product = 0x6001;
  device.info.manufacturer = "FTDI";
  device.info.description = "FT232R USB UART";
  device.info.serial = "VXSIM001";
  device.info.busPath = "d:001/002";
  return device;
}

SimUsbBus::SimUsbBus(port::VirtualClock& clock, Adapter& adapter, SimFtdiOptions options)
    : state_(std::make_unique<State>(clock, std::move(options))) {
  size_t wired = 0;
  State& s = *state_;
  for (size_t i = 0; i < s.options.devices.size(); ++i) {
    const SimFtdiDevice& device = s.options.devices[i];
    if (device.wired) ++wired;
    s.chips.push_back(
        std::make_unique<Ft232r>(clock, device.wired ? &adapter : nullptr, s.options.timing));
    s.present.push_back(true);
    s.inFlight.emplace_back();
    auto d = std::make_unique<State::Device>();
    d->bus = &s;
    d->index = i;
    // One interface with a bulk IN and a bulk OUT endpoint of 64 bytes (a full-speed chip).
    d->endpoints[0].bEndpointAddress = 0x81;
    d->endpoints[1].bEndpointAddress = 0x02;
    for (libusb_endpoint_descriptor& e : d->endpoints) {
      e.bLength = LIBUSB_DT_ENDPOINT_SIZE;
      e.bDescriptorType = LIBUSB_DT_ENDPOINT;
      e.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
      e.wMaxPacketSize = 64;
    }
    d->altsetting.bNumEndpoints = 2;
    d->altsetting.endpoint = d->endpoints;
    d->interface.altsetting = &d->altsetting;
    d->interface.num_altsetting = 1;
    d->config.bConfigurationValue = 1;
    d->config.bNumInterfaces = 1;
    d->config.interface = &d->interface;
    Register(d.get(), Kind::Device, &s, d.get());
    Register(&d->config, Kind::Config, &s, d.get());
    s.devices.push_back(std::move(d));
  }
  if (wired > 1) throw std::invalid_argument("only one simulated FTDI device has the cable");
}

SimUsbBus::~SimUsbBus() {
  std::lock_guard lock(RegistryMutex());
  for (auto it = Registry().begin(); it != Registry().end();) {
    it = it->second.bus == state_.get() ? Registry().erase(it) : std::next(it);
  }
}

SimUsbBus::Scope::Scope(SimUsbBus& bus) : previous_(tScopeBus) { tScopeBus = bus.state_.get(); }
SimUsbBus::Scope::~Scope() { tScopeBus = previous_; }

Ft232r& SimUsbBus::Chip(size_t index) { return *state_->chips.at(index); }
void SimUsbBus::Unplug(size_t index) { state_->Unplug(index); }
uint64_t SimUsbBus::Transfers() const { return state_->transfers; }

namespace {

using State = SimUsbBus::State;

State::Device* FakeDevice(const libusb_device* device) {
  return Find<State::Device>(device, Kind::Device);
}
State::Handle* FakeHandle(const libusb_device_handle* handle) {
  return Find<State::Handle>(handle, Kind::Handle);
}
State::Context* FakeContext(const libusb_context* context) {
  return Find<State::Context>(context, Kind::Context);
}
}  // namespace

}  // namespace vexilo::sim

// ---- libusb-1.0's calls, as libftdi makes them ----

using vexilo::sim::FakeContext;
using vexilo::sim::FakeDevice;
using vexilo::sim::FakeHandle;
using vexilo::sim::Find;
using vexilo::sim::Kind;
using vexilo::sim::Real;
using vexilo::sim::Register;
using vexilo::sim::Unregister;
using BusState = vexilo::sim::SimUsbBus::State;

namespace {
unsigned BusPathPart(const libusb_device* device, int part) {
  const BusState::Device* fake = FakeDevice(device);
  unsigned bus = 0, address = 0;
  std::sscanf(fake->bus->options.devices[fake->index].info.busPath.c_str(), "d:%u/%u", &bus,
              &address);
  return part == 0 ? bus : address;
}

}  // namespace

extern "C" {

int libusb_init(libusb_context** context) {
  if (BusState* bus = vexilo::sim::tScopeBus) {
    auto* fake = new BusState::Context{bus};
    Register(fake, Kind::Context, fake->bus, fake);
    *context = reinterpret_cast<libusb_context*>(fake);
    return 0;
  }
  return VEXILO_REAL_LIBUSB(libusb_init)(context);
}

void libusb_exit(libusb_context* context) {
  if (BusState::Context* fake = FakeContext(context)) {
    Unregister(fake);
    delete fake;
    return;
  }
  VEXILO_REAL_LIBUSB(libusb_exit)(context);
}

ssize_t libusb_get_device_list(libusb_context* context, libusb_device*** list) {
  BusState::Context* fake = FakeContext(context);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_get_device_list)(context, list);
  BusState& bus = *fake->bus;
  auto** devices = new libusb_device*[bus.devices.size() + 1];
  size_t count = 0;
  for (size_t i = 0; i < bus.devices.size(); ++i) {
    if (bus.present[i]) devices[count++] = reinterpret_cast<libusb_device*>(bus.devices[i].get());
  }
  devices[count] = nullptr;
  Register(devices, Kind::List, &bus, devices);
  *list = devices;
  return ssize_t(count);
}

void libusb_free_device_list(libusb_device** list, int unref) {
  if (Find<libusb_device*>(list, Kind::List) != nullptr) {
    Unregister(list);
    delete[] list;
    return;
  }
  VEXILO_REAL_LIBUSB(libusb_free_device_list)(list, unref);
}

libusb_device* libusb_ref_device(libusb_device* device) {
  if (FakeDevice(device) != nullptr) return device;
  return VEXILO_REAL_LIBUSB(libusb_ref_device)(device);
}

void libusb_unref_device(libusb_device* device) {
  if (FakeDevice(device) != nullptr) return;
  VEXILO_REAL_LIBUSB(libusb_unref_device)(device);
}

int libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
  BusState::Device* fake = FakeDevice(device);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_get_device_descriptor)(device, descriptor);
  const vexilo::port::FtdiDeviceInfo& info = fake->bus->options.devices[fake->index].info;
  *descriptor = {};
  descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
  descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
  descriptor->bcdUSB = 0x0200;
  descriptor->bMaxPacketSize0 = 8;
  descriptor->idVendor = info.vendor;
  descriptor->idProduct = info.product;
  descriptor->bcdDevice = vexilo::sim::BcdDeviceFor(info.vendor, info.product);
  descriptor->iManufacturer = 1;
  descriptor->iProduct = 2;
  descriptor->iSerialNumber = info.serial.empty() ? 0 : 3;
  descriptor->bNumConfigurations = 1;
  return 0;
}

uint8_t libusb_get_bus_number(libusb_device* device) {
  if (FakeDevice(device) == nullptr) return VEXILO_REAL_LIBUSB(libusb_get_bus_number)(device);
  return uint8_t(BusPathPart(device, 0));
}

uint8_t libusb_get_device_address(libusb_device* device) {
  if (FakeDevice(device) == nullptr) return VEXILO_REAL_LIBUSB(libusb_get_device_address)(device);
  return uint8_t(BusPathPart(device, 1));
}

int libusb_get_config_descriptor(libusb_device* device, uint8_t index,
                                 libusb_config_descriptor** config) {
  BusState::Device* fake = FakeDevice(device);
  if (fake == nullptr) {
    return VEXILO_REAL_LIBUSB(libusb_get_config_descriptor)(device, index, config);
  }
  if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
  *config = &fake->config;
  return 0;
}

void libusb_free_config_descriptor(libusb_config_descriptor* config) {
  if (Find<BusState::Device>(config, Kind::Config) != nullptr) return;
  VEXILO_REAL_LIBUSB(libusb_free_config_descriptor)(config);
}

int libusb_open(libusb_device* device, libusb_device_handle** handle) {
  BusState::Device* fake = FakeDevice(device);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_open)(device, handle);
  BusState& bus = *fake->bus;
  if (!bus.present[fake->index]) return LIBUSB_ERROR_NO_DEVICE;
  if (bus.options.devices[fake->index].access == vexilo::sim::SimFtdiAccess::NoPermission) {
    return LIBUSB_ERROR_ACCESS;
  }
  auto* opened = new BusState::Handle{&bus, fake->index};
  Register(opened, Kind::Handle, &bus, opened);
  *handle = reinterpret_cast<libusb_device_handle*>(opened);
  return 0;
}

void libusb_close(libusb_device_handle* handle) {
  if (BusState::Handle* fake = FakeHandle(handle)) {
    Unregister(fake);
    delete fake;
    return;
  }
  VEXILO_REAL_LIBUSB(libusb_close)(handle);
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                       unsigned char* data, int length) {
  BusState::Handle* fake = FakeHandle(handle);
  if (fake == nullptr) {
    return VEXILO_REAL_LIBUSB(libusb_get_string_descriptor_ascii)(handle, index, data, length);
  }
  BusState& bus = *fake->bus;
  if (!bus.present[fake->index]) return LIBUSB_ERROR_NO_DEVICE;
  const vexilo::port::FtdiDeviceInfo& info = bus.options.devices[fake->index].info;
  const std::string* text = index == 1   ? &info.manufacturer
                            : index == 2 ? &info.description
                            : index == 3 ? &info.serial
                                         : nullptr;
  bus.Frame();
  if (text == nullptr || length <= 0) return LIBUSB_ERROR_INVALID_PARAM;
  const int count = std::min(int(text->size()), length - 1);
  std::memcpy(data, text->data(), size_t(count));
  data[count] = 0;
  return count;
}

int libusb_get_configuration(libusb_device_handle* handle, int* config) {
  if (FakeHandle(handle) == nullptr) {
    return VEXILO_REAL_LIBUSB(libusb_get_configuration)(handle, config);
  }
  *config = 1;
  return 0;
}

int libusb_set_configuration(libusb_device_handle* handle, int config) {
  if (FakeHandle(handle) == nullptr) {
    return VEXILO_REAL_LIBUSB(libusb_set_configuration)(handle, config);
  }
  return config == 1 ? 0 : LIBUSB_ERROR_NOT_FOUND;
}

int libusb_detach_kernel_driver(libusb_device_handle* handle, int interface) {
  BusState::Handle* fake = FakeHandle(handle);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_detach_kernel_driver)(handle, interface);
  if (fake->bus->options.devices[fake->index].access == vexilo::sim::SimFtdiAccess::DetachDenied) {
    errno = EPERM;
    return LIBUSB_ERROR_ACCESS;
  }
  return 0;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
  if (FakeHandle(handle) == nullptr) {
    return VEXILO_REAL_LIBUSB(libusb_set_auto_detach_kernel_driver)(handle, enable);
  }
  return 0;
}

int libusb_claim_interface(libusb_device_handle* handle, int interface) {
  BusState::Handle* fake = FakeHandle(handle);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_claim_interface)(handle, interface);
  if (!fake->bus->present[fake->index]) return LIBUSB_ERROR_NO_DEVICE;
  const vexilo::sim::SimFtdiAccess access = fake->bus->options.devices[fake->index].access;
  if (access == vexilo::sim::SimFtdiAccess::DetachDenied ||
      access == vexilo::sim::SimFtdiAccess::ClaimFails) {
    return LIBUSB_ERROR_BUSY;
  }
  return 0;
}

int libusb_release_interface(libusb_device_handle* handle, int interface) {
  BusState::Handle* fake = FakeHandle(handle);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_release_interface)(handle, interface);
  if (!fake->bus->present[fake->index]) return LIBUSB_ERROR_NO_DEVICE;
  fake->bus->chips[fake->index]->HostClosed();
  return 0;
}

int libusb_control_transfer(libusb_device_handle* handle, uint8_t type, uint8_t request,
                            uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                            unsigned int timeout) {
  BusState::Handle* fake = FakeHandle(handle);
  if (fake == nullptr) {
    return VEXILO_REAL_LIBUSB(libusb_control_transfer)(handle, type, request, value, index, data,
                                                       length, timeout);
  }
  return fake->bus->Control(fake->index, type, request, value, index, data, length);
}

int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                         int length, int* transferred, unsigned int timeout) {
  BusState::Handle* fake = FakeHandle(handle);
  if (fake == nullptr) {
    return VEXILO_REAL_LIBUSB(libusb_bulk_transfer)(handle, endpoint, data, length, transferred,
                                                    timeout);
  }
  return fake->bus->Bulk(fake->index, endpoint, data, length, transferred);
}

libusb_transfer* libusb_alloc_transfer(int isoPackets) {
  return VEXILO_REAL_LIBUSB(libusb_alloc_transfer)(isoPackets);
}

void libusb_free_transfer(libusb_transfer* transfer) {
  VEXILO_REAL_LIBUSB(libusb_free_transfer)(transfer);
}

int libusb_submit_transfer(libusb_transfer* transfer) {
  BusState::Handle* fake = FakeHandle(transfer->dev_handle);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_submit_transfer)(transfer);
  return fake->bus->Submit(transfer, fake->index);
}

int libusb_cancel_transfer(libusb_transfer* transfer) {
  BusState::Handle* fake = FakeHandle(transfer->dev_handle);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_cancel_transfer)(transfer);
  return fake->bus->Cancel(transfer, fake->index);
}

int libusb_handle_events_timeout_completed(libusb_context* context, struct timeval* timeout,
                                           int* completed) {
  BusState::Context* fake = FakeContext(context);
  if (fake == nullptr) {
    return VEXILO_REAL_LIBUSB(libusb_handle_events_timeout_completed)(context, timeout, completed);
  }
  return fake->bus->HandleEvents(completed);
}

int libusb_handle_events_timeout(libusb_context* context, struct timeval* timeout) {
  BusState::Context* fake = FakeContext(context);
  if (fake == nullptr) return VEXILO_REAL_LIBUSB(libusb_handle_events_timeout)(context, timeout);
  return fake->bus->HandleEvents(nullptr);
}

}  // extern "C"
