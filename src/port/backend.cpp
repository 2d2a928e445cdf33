#include "port/backend.h"

namespace vexilo::port {

PortIo& PortBackend::Io() {
  static NullPortIo none;
  return none;
}

}  // namespace vexilo::port
