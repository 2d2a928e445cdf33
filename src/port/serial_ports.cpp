#include "port/serial_ports.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vexilo::port {
namespace {

namespace fs = std::filesystem;

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The serial_core port types (include/uapi/linux/serial_core.h) a PC is likely to have.
const char* UartTypeName(int type) {
  struct Row {
    int type;
    const char* name;
  };
  static constexpr std::array<Row, 8> kTypes{{{1, "8250"},
                                              {2, "16450"},
                                              {3, "16550"},
                                              {4, "16550A"},
                                              {5, "Cirrus"},
                                              {6, "16650"},
                                              {7, "16650V2"},
                                              {8, "16750"}}};
  for (const Row& row : kTypes) {
    if (row.type == type) return row.name;
  }
  return "UART";
}

// The USB drivers of serial converters, what they are, and whether the adapter's lines work.
struct UsbDriver {
  const char* driver;
  const char* what;
  bool modemLines;
};
constexpr std::array<UsbDriver, 6> kUsbDrivers{{
    {"ftdi_sio", "FTDI", true},
    {"pl2303", "PL2303", true},
    {"ch341-uart", "CH340/CH341", true},
    {"ch341", "CH340/CH341", true},
    {"cp210x", "CP210x", true},
    {"cdc_acm", "CDC ACM (no CTS input)", false},
}};

std::optional<int> ParseNumber(const std::string& text) {
  try {
    size_t used = 0;
    const int value = std::stoi(text, &used, 0);
    return used == 0 ? std::nullopt : std::optional<int>(value);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<SerialPortInfo> DescribeUart(const fs::path& entry, const std::string& name) {
  const auto type = ParseNumber(ReadLine(entry / "type"));
  if (!type || *type == 0) return std::nullopt;  // no UART behind this name
  SerialPortInfo info;
  info.device = "/dev/" + name;
  const auto ioType = ParseNumber(ReadLine(entry / "io_type"));
  const auto port = ParseNumber(ReadLine(entry / "port"));
  char text[96];
  if ((!ioType || *ioType == 0) && port && *port > 0 && *port <= 0xFFFF) {
    info.ioBase = static_cast<uint16_t>(*port);
    std::snprintf(text, sizeof text, "%s UART at I/O 0x%X", UartTypeName(*type), *port);
  } else {
    std::snprintf(text, sizeof text, "%s UART, memory-mapped (not reachable by x86 port I/O)",
                  UartTypeName(*type));
  }
  info.description = text;
  return info;
}

SerialPortInfo DescribeUsb(const fs::path& entry, const std::string& name) {
  SerialPortInfo info;
  info.device = "/dev/" + name;
  std::error_code ec;
  const std::string driver = fs::read_symlink(entry / "device" / "driver", ec).filename().string();
  const UsbDriver* row = nullptr;
  for (const UsbDriver& d : kUsbDrivers) {
    if (driver == d.driver) row = &d;
  }
  // The USB device's own attributes sit a level or two above the tty's interface.
  std::string ids, product;
  fs::path dir = fs::canonical(entry / "device", ec);
  for (int up = 0; up < 3 && !ec && !dir.empty(); ++up, dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor")) {
      ids = ReadLine(dir / "idVendor") + ":" + ReadLine(dir / "idProduct");
      product = ReadLine(dir / "product");
      break;
    }
  }
  info.description = "USB " + std::string(row ? row->what : "serial");
  if (!ids.empty()) info.description += " " + ids;
  if (!product.empty()) info.description += " " + product;
  if (!driver.empty()) info.description += " (" + driver + ")";
  info.modemLines = row ? row->modemLines : true;
  info.ftdi = driver == "ftdi_sio";
  return info;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::string& sysRoot) {
  std::vector<SerialPortInfo> ports;
  std::error_code ec;
  const fs::path classDir = fs::path(sysRoot) / "class" / "tty";
  for (const fs::directory_entry& entry : fs::directory_iterator(classDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ttyS", 0) == 0) {
      if (auto info = DescribeUart(entry.path(), name)) ports.push_back(*info);
    } else if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0) {
      ports.push_back(DescribeUsb(entry.path(), name));
    }
  }
  // ttyS2 before ttyS10: by kind, then by number.
  auto key = [](const SerialPortInfo& p) {
    const size_t digits = p.device.find_first_of("0123456789");
    const std::string stem = p.device.substr(0, digits);
    return std::make_pair(stem,
                          digits == std::string::npos ? 0 : std::stoi(p.device.substr(digits)));
  };
  std::sort(ports.begin(), ports.end(),
            [&](const SerialPortInfo& a, const SerialPortInfo& b) { return key(a) < key(b); });
  return ports;
}

std::optional<uint16_t> IoBaseOfDevice(const std::string& device, const std::string& sysRoot) {
  const std::string name = fs::path(device).filename().string();
  if (name.rfind("ttyS", 0) != 0) return std::nullopt;
  const fs::path entry = fs::path(sysRoot) / "class" / "tty" / name;
  auto info = DescribeUart(entry, name);
  if (!info || info->ioBase == 0) return std::nullopt;
  return info->ioBase;
}

}  // namespace vexilo::port
