#pragma once
#include <string>
#include <vector>

#include "port/ftdi/ftdi_calls.h"
#include "port/serial_ports.h"

namespace vexilo::port {

// One line for the person when an FTDI adapter could not be opened: what was asked for, the
// library's reason and what to do. `devices` are the FTDI devices on the bus, `serial` the
// machine's serial devices (a USB serial converter that is not an FTDI chip is named, with
// the backend that can use it).
std::string ExplainFtdiOpen(const std::string& description, int code, const std::string& reason,
                            const std::vector<FtdiDeviceInfo>& devices,
                            const std::vector<SerialPortInfo>& serial);

// No description was given and the bus has no FTDI device, or several.
std::string ExplainFtdiChoice(const std::vector<FtdiDeviceInfo>& devices,
                              const std::vector<SerialPortInfo>& serial);

// A call that failed during a session (the adapter unplugged, a USB error).
std::string ExplainFtdiFailure(const std::string& device, const std::string& call, int code,
                               const std::string& reason);

// "0403:6001 FT232R USB UART, serial A50285BI (--device s:0x0403:0x6001:A50285BI)".
std::string DescribeFtdiDevice(const FtdiDeviceInfo& device);
// The --device text that picks this device.
std::string FtdiDeviceChoice(const FtdiDeviceInfo& device);

}  // namespace vexilo::port
