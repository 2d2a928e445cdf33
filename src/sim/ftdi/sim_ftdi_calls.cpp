#include "sim/ftdi/sim_ftdi_calls.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace vexilo::sim {

namespace {

// libusb's codes that libftdi passes on.
constexpr int kLibusbErrorNoDevice = -4;
constexpr int kLibusbErrorTimeout = -7;

// "d:BUS/DEVICE" as two numbers.
bool ParseBusPath(const char* text, unsigned& bus, unsigned& device) {
  return std::sscanf(text, "%u/%u", &bus, &device) == 2;
}

}  // namespace

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

SimFtdiCalls::SimFtdiCalls(SimBackend& sim, SimFtdiOptions options)
    : sim_(sim), options_(std::move(options)) {
  size_t wired = 0;
  for (const SimFtdiDevice& device : options_.devices) {
    if (device.wired) ++wired;
    chips_.push_back(std::make_unique<Ft232r>(
        sim_.VirtualTime(), device.wired ? &sim_.CardAdapter() : nullptr, options_.timing));
    present_.push_back(true);
  }
  if (wired > 1) throw std::invalid_argument("only one simulated FTDI device has the cable");
}

SimFtdiCalls::~SimFtdiCalls() = default;

int SimFtdiCalls::Fail(int code, const char* message) {
  error_ = message;
  return code;
}

bool SimFtdiCalls::Reach() {
  if (!present_[current_]) return false;
  if (options_.unplugAfterTransfers != 0 && transfers_ >= options_.unplugAfterTransfers) {
    Unplug(current_);
    return false;
  }
  ++transfers_;
  return true;
}

void SimFtdiCalls::Unplug(size_t index) {
  if (!present_.at(index)) return;
  present_[index] = false;
  chips_[index]->PowerLost();
}

int SimFtdiCalls::FindAll(std::vector<port::FtdiDeviceInfo>& devices) {
  devices.clear();
  for (size_t i = 0; i < options_.devices.size(); ++i) {
    if (!present_[i]) continue;
    port::FtdiDeviceInfo info = options_.devices[i].info;
    if (info.vendor != port::ftdi::kVendorFtdi) continue;
    if (options_.devices[i].access == SimFtdiAccess::NoPermission) {
      // The descriptor is readable without opening the device, its strings are not.
      info.manufacturer.clear();
      info.description.clear();
      info.serial.clear();
    } else {
      // Three string descriptors, one control request each.
      sim_.VirtualTime().Advance(3 * options_.timing.frameNs);
    }
    devices.push_back(std::move(info));
  }
  return int(devices.size());
}

int SimFtdiCalls::OpenDevice(size_t index, bool byDescriptor) {
  switch (options_.devices[index].access) {
    case SimFtdiAccess::NoPermission:
      return Fail(-4, byDescriptor ? "usb_open() failed" : "libusb_open() failed");
    case SimFtdiAccess::DetachDenied:
      return Fail(-8, "inappropriate permissions on device!");
    case SimFtdiAccess::ClaimFails:
      return Fail(-5,
                  "unable to claim usb device. Make sure the default FTDI driver is not in use");
    case SimFtdiAccess::Granted:
      break;
  }
  open_ = true;
  current_ = index;
  readBuffer_.clear();
  if (options_.devices[index].info.vendor != port::ftdi::kVendorFtdi) {
    // Another maker's USB serial chip opens, but stalls FTDI's reset request.
    open_ = false;
    return Fail(-6, "ftdi_usb_reset failed");
  }
  // ftdi_usb_open_dev: ftdi_usb_reset, then ftdi_set_baudrate(9600).
  if (!Reach()) {
    open_ = false;
    return Fail(-6, "ftdi_usb_reset failed");
  }
  Chip(index).Reset();
  if (!Reach()) {
    open_ = false;
    return Fail(-7, "set baudrate failed");
  }
  Chip(index).SetBaudRate(bitbangEnabled_ ? 4 * 9600 : 9600);
  error_ = "all fine";
  return 0;
}

int SimFtdiCalls::OpenByIds(unsigned vendor, unsigned product, const char* serial, unsigned index) {
  for (size_t i = 0; i < options_.devices.size(); ++i) {
    const port::FtdiDeviceInfo& info = options_.devices[i].info;
    if (!present_[i] || info.vendor != vendor || info.product != product) continue;
    // libftdi opens every device with these IDs to read its strings.
    if (options_.devices[i].access == SimFtdiAccess::NoPermission) {
      return Fail(-4, "usb_open() failed");
    }
    if (serial && info.serial != serial) continue;
    if (index > 0) {
      --index;
      continue;
    }
    return OpenDevice(i, true);
  }
  return Fail(-3, "device not found");
}

int SimFtdiCalls::OpenString(const std::string& description) {
  // ftdi_usb_open_string's grammar: d:BUS/DEV, i:VID:PID[:INDEX], s:VID:PID:SERIAL; the numbers
  // in C notation (decimal, 0x hex, 0 octal).
  const char* text = description.c_str();
  if (text[0] == 0 || text[1] != ':') return Fail(-11, "illegal description format");
  if (text[0] == 'd') {
    unsigned bus = 0, address = 0;
    if (!ParseBusPath(text + 2, bus, address)) return Fail(-11, "illegal description format");
    for (size_t i = 0; i < options_.devices.size(); ++i) {
      unsigned deviceBus = 0, deviceAddress = 0;
      const std::string& path = options_.devices[i].info.busPath;
      if (!present_[i] || path.size() < 2 ||
          !ParseBusPath(path.c_str() + 2, deviceBus, deviceAddress)) {
        continue;
      }
      if (deviceBus == bus && deviceAddress == address) return OpenDevice(i, false);
    }
    return Fail(-3, "device not found");
  }
  if (text[0] != 'i' && text[0] != 's') return Fail(-11, "illegal description format");

  errno = 0;
  const char* start = text + 2;
  char* end = nullptr;
  const unsigned long vendor = std::strtoul(start, &end, 0);
  if (*end != ':' || end == start || errno != 0) return Fail(-11, "illegal description format");
  start = end + 1;
  const unsigned long product = std::strtoul(start, &end, 0);
  if (end == start || errno != 0) return Fail(-11, "illegal description format");
  unsigned long index = 0;
  const char* serial = nullptr;
  if (text[0] == 'i' && *end != 0) {
    if (*end != ':') return Fail(-11, "illegal description format");
    start = end + 1;
    index = std::strtoul(start, &end, 0);
    if (*end != 0 || end == start || errno != 0) return Fail(-11, "illegal description format");
  }
  if (text[0] == 's') {
    if (*end != ':') return Fail(-11, "illegal description format");
    serial = end + 1;
  }
  return OpenByIds(unsigned(vendor), unsigned(product), serial, unsigned(index));
}

int SimFtdiCalls::Close() {
  if (!open_) return 0;
  open_ = false;
  if (!present_[current_]) return -1;  // libusb_release_interface fails on a vanished device
  Chip(current_).HostClosed();
  return 0;
}

int SimFtdiCalls::SetBitmode(uint8_t outputs, uint8_t mode) {
  if (!open_) return Fail(-2, "USB device unavailable");
  if (!Reach()) {
    return Fail(-1, "unable to configure bitbang mode. Perhaps not a BM/2232C type chip?");
  }
  Chip(current_).SetBitmode(outputs, mode);
  bitbangEnabled_ = mode != port::ftdi::kBitmodeReset;
  return 0;
}

int SimFtdiCalls::SetBaudrate(int baud) {
  if (!open_) return Fail(-3, "USB device unavailable");
  const int64_t requested = bitbangEnabled_ ? int64_t{baud} * 4 : int64_t{baud};
  if (requested <= 0) return Fail(-1, "Silly baudrate <= 0.");
  const int64_t actual =
      Ft232r::NearestGeneratorRate(uint32_t(std::min<int64_t>(requested, 0x7FFFFFFF)));
  // libftdi's check: within about 5 % of the request.
  const bool off = actual * 2 < requested || (actual < requested ? actual * 21 < requested * 20
                                                                 : requested * 21 < actual * 20);
  if (off) {
    return Fail(-1,
                "Unsupported baudrate. Note: bitbang baudrates are automatically multiplied by 4");
  }
  if (!Reach()) return Fail(-2, "Setting new baudrate failed");
  Chip(current_).SetBaudRate(uint32_t(requested));
  return 0;
}

int SimFtdiCalls::SetLatencyTimer(uint8_t ms) {
  if (ms < 1) return Fail(-1, "latency out of range. Only valid for 1-255");
  if (!open_) return Fail(-3, "USB device unavailable");
  if (!Reach()) return Fail(-2, "unable to set latency timer");
  Chip(current_).SetLatencyTimer(ms);
  return 0;
}

int SimFtdiCalls::SetLineProperty(int bits, int stopBits, int parity, bool breakOn) {
  if (!open_) return Fail(-2, "USB device unavailable");
  if (!Reach()) return Fail(-1, "Setting new line property failed");
  Chip(current_).SetDataCharacteristics(bits, stopBits, parity, breakOn);
  return 0;
}

int SimFtdiCalls::SetDtrRts(bool dtr, bool rts) {
  if (!open_) return Fail(-2, "USB device unavailable");
  if (!Reach()) return Fail(-1, "set of rts/dtr failed");
  Chip(current_).SetModemControl(dtr, rts);
  return 0;
}

int SimFtdiCalls::PollModemStatus(uint16_t& status) {
  if (!open_) return Fail(-2, "USB device unavailable");
  if (!Reach()) return Fail(-1, "getting modem status failed");
  status = Chip(current_).PollModemStatus();
  return 0;
}

int SimFtdiCalls::Purge() {
  // ftdi_tcioflush: ftdi_tcoflush, then ftdi_tciflush (which also empties libftdi's buffer).
  if (!open_) return Fail(-3, "USB device unavailable");
  if (!Reach()) {
    Fail(-1, "FTDI purge of TX buffer failed");
    return -1;
  }
  Chip(current_).PurgeTx();
  if (!Reach()) {
    Fail(-1, "FTDI purge of RX buffer failed");
    return -2;
  }
  Chip(current_).PurgeRx();
  readBuffer_.clear();
  return 0;
}

int SimFtdiCalls::WriteData(const uint8_t* data, int size) {
  if (!open_) return Fail(-666, "USB device unavailable");
  size_t offset = 0;
  const size_t total = size_t(std::max(size, 0));
  while (offset < total) {
    const size_t chunk = std::min(Ft232r::kTransferBytes, total - offset);
    if (!Reach()) return Fail(-1, "usb bulk write failed");
    const Ft232r::OutResult result = Chip(current_).BulkOut(data + offset, chunk);
    offset += result.accepted;
    if (result.timedOut) return Fail(-1, "usb bulk write failed");
  }
  return int(offset);
}

void SimFtdiCalls::TakeFromReadBuffer(uint8_t* data, size_t count) {
  std::copy_n(readBuffer_.begin(), count, data);
  readBuffer_.erase(readBuffer_.begin(), readBuffer_.begin() + ptrdiff_t(count));
}

int SimFtdiCalls::ReadData(uint8_t* data, int size) {
  if (!open_) return Fail(-666, "USB device unavailable");
  const size_t total = size_t(std::max(size, 0));
  size_t offset = std::min(total, readBuffer_.size());
  TakeFromReadBuffer(data, offset);
  while (offset < total) {
    if (!Reach()) return Fail(kLibusbErrorNoDevice, "usb bulk read failed");
    const std::vector<uint8_t> chunk = Chip(current_).BulkIn();
    if (chunk.empty()) break;  // a packet of status bytes only: nothing more to read
    const size_t used = std::min(chunk.size(), total - offset);
    std::copy_n(chunk.begin(), used, data + offset);
    readBuffer_.insert(readBuffer_.end(), chunk.begin() + ptrdiff_t(used), chunk.end());
    offset += used;
  }
  return int(offset);
}

int SimFtdiCalls::Exchange(const uint8_t* out, uint8_t* in, int size) {
  if (!open_) return Fail(-666, "USB device unavailable");
  const size_t total = size_t(std::max(size, 0));
  const size_t buffered = std::min(total, readBuffer_.size());
  TakeFromReadBuffer(in, buffered);
  if (!Reach()) {
    return Fail(kLibusbErrorNoDevice, "libusb: No such device (it may have been disconnected)");
  }
  Ft232r::ExchangeResult result =
      Chip(current_).BulkExchange(out, total, total - buffered, readChunk_);
  const size_t used = std::min(result.in.size(), total - buffered);
  std::copy_n(result.in.begin(), used, in + buffered);
  readBuffer_.insert(readBuffer_.end(), result.in.begin() + ptrdiff_t(used), result.in.end());
  if (result.timedOut) return Fail(kLibusbErrorTimeout, "libusb: Operation timed out");
  return int(total);
}

// As libftdi 1.5 on Linux: at most 16 KB per transfer.
int SimFtdiCalls::SetReadChunkSize(int bytes) {
  readChunk_ = std::min<size_t>(size_t(std::max(bytes, 1)), 16384);
  return 0;
}

}  // namespace vexilo::sim
