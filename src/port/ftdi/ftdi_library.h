#pragma once
#include <memory>

#include "port/ftdi/ftdi_calls.h"

namespace vexilo::port {

// FtdiCalls on libftdi1, on a context of its own.
std::unique_ptr<FtdiCalls> MakeLibFtdiCalls();

}  // namespace vexilo::port
