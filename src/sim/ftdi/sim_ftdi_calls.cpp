#include "sim/ftdi/sim_ftdi_calls.h"

#include "port/ftdi/ftdi_library.h"

namespace vexilo::sim {

SimFtdiCalls::SimFtdiCalls(SimBackend& sim, SimFtdiOptions options)
    : bus_(sim.VirtualTime(), sim.CardAdapter(), std::move(options)) {
  // libftdi makes its libusb context here: it is the simulated bus's.
  SimUsbBus::Scope scope(bus_);
  library_ = port::MakeLibFtdiCalls();
}

SimFtdiCalls::~SimFtdiCalls() = default;

}  // namespace vexilo::sim
