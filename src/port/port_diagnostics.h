#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "port/lines.h"

namespace vexilo::port {

// Where the repository keeps the udev rule that gives the logged-in user the adapters.
inline constexpr char kUdevRuleHint[] = "packaging/udev/60-vexilo.rules";

// One line for the person when a serial device failed: the device, the system's reason and
// what to do about it. `existing` lists the serial devices that do exist (for a path that
// does not).
std::string ExplainDeviceFault(const LineFault& fault, const std::vector<std::string>& existing);

// The same, with the devices this machine has.
std::string ExplainDeviceFault(const LineFault& fault);

// x86 port I/O refused by the kernel (ioperm): the base, the reason and both ways to grant it.
std::string ExplainIoPermission(uint16_t base, int err);

// Nothing answers as a 16550 at `base`.
std::string ExplainNoUart(uint16_t base);

}  // namespace vexilo::port
