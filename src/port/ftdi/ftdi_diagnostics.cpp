#include "port/ftdi/ftdi_diagnostics.h"

#include <cstdio>
#include <cstdlib>

#include "port/port_diagnostics.h"

namespace vexilo::port {
namespace {

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
  return text;
}

// libftdi's own text, or where it set none (it passes a failed USB transfer on as its code
// alone) what the code says.
std::string Reason(int code, const std::string& reason) {
  return "(" + (reason.empty() ? std::string("USB transfer failed: unplugged or reset") : reason) +
         ", code " + std::to_string(code) + ")";
}

std::string DeviceList(const std::vector<FtdiDeviceInfo>& devices) {
  std::string list;
  for (const FtdiDeviceInfo& d : devices)
    list += (list.empty() ? "" : "; ") + DescribeFtdiDevice(d);
  return list;
}

// USB serial converters of other makers: the serial-device backend drives them.
std::string OtherConverters(const std::vector<SerialPortInfo>& serial) {
  std::string text;
  for (const SerialPortInfo& p : serial) {
    if (p.ftdi || p.ioBase != 0 || p.device.find("ttyUSB") == std::string::npos) continue;
    text += " " + p.device + " (" + p.description +
            ") is not an FTDI chip: use the Serial device backend (--port tty --device " +
            p.device + ").";
  }
  return text;
}

// The vendor ID an "i:" or "s:" description names, or 0.
unsigned VendorOf(const std::string& description) {
  if (description.size() < 3 || (description[0] != 'i' && description[0] != 's') ||
      description[1] != ':') {
    return 0;
  }
  return static_cast<unsigned>(std::strtoul(description.c_str() + 2, nullptr, 0));
}

}  // namespace

std::string FtdiDeviceChoice(const FtdiDeviceInfo& d) {
  if (!d.serial.empty()) return "s:0x" + Hex4(d.vendor) + ":0x" + Hex4(d.product) + ":" + d.serial;
  if (!d.busPath.empty()) return d.busPath;
  return "i:0x" + Hex4(d.vendor) + ":0x" + Hex4(d.product);
}

std::string DescribeFtdiDevice(const FtdiDeviceInfo& d) {
  std::string text = Hex4(d.vendor) + ":" + Hex4(d.product);
  if (!d.chip.empty()) text += " " + d.chip;
  if (!d.description.empty()) text += " \"" + d.description + "\"";
  if (!d.serial.empty()) text += ", serial " + d.serial;
  return text + " (--device " + FtdiDeviceChoice(d) + ")";
}

std::string ExplainFtdiChoice(const std::vector<FtdiDeviceInfo>& devices,
                              const std::vector<SerialPortInfo>& serial) {
  if (devices.empty()) {
    return "FTDI USB adapter: none found on the USB bus; is the cable plugged in? If it is and "
           "lsusb shows it as 0403:xxxx, install the udev rule " +
           std::string(kUdevRuleHint) + " (or run as root)." + OtherConverters(serial);
  }
  return "FTDI USB adapter: " + std::to_string(devices.size()) +
         " found, choose one with --device (Setup: the device box): " + DeviceList(devices);
}

std::string ExplainFtdiOpen(const std::string& description, int code, const std::string& reason,
                            const std::vector<FtdiDeviceInfo>& devices,
                            const std::vector<SerialPortInfo>& serial) {
  const std::string head =
      "FTDI USB adapter " + description + ": cannot open it " + Reason(code, reason) + "; ";
  if (const unsigned vendor = VendorOf(description); vendor != 0 && vendor != ftdi::kVendorFtdi) {
    return head + "vendor " + Hex4(vendor) +
           " is not FTDI (0403): a PL2303, CH340 or CP210x adapter has no bit-bang mode, use the "
           "Serial device backend (--port tty --device /dev/ttyUSB0)." +
           OtherConverters(serial);
  }
  switch (code) {
    case -3:
      return head + (devices.empty() ? "no FTDI device is on the USB bus." + OtherConverters(serial)
                                     : "no such device; FTDI devices here: " + DeviceList(devices));
    case -4:
    case -8:
      return head + "no permission for the USB device: install the udev rule " +
             std::string(kUdevRuleHint) + " and plug the cable in again (or run as root).";
    case -5:
      return head +
             "the kernel's ftdi_sio driver or another program holds it and it could not be "
             "detached: close programs that use its /dev/ttyUSB device and try again.";
    case -11:
      return head +
             "the description is not one libftdi knows: i:VENDOR:PRODUCT, "
             "s:VENDOR:PRODUCT:SERIAL or d:BUS/DEVICE, e.g. i:0x0403:0x6001.";
    default:
      return head + "unplug the cable, plug it in again and repeat the command.";
  }
}

std::string ExplainFtdiFailure(const std::string& device, const std::string& call, int code,
                               const std::string& reason) {
  return "FTDI USB adapter " + device + ": " + call + " failed " + Reason(code, reason) +
         "; the adapter was unplugged or stopped answering: plug it in again and repeat the "
         "command.";
}

}  // namespace vexilo::port
