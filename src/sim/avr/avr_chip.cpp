#include "sim/avr/avr_chip.h"

#include "sim/avr/avr_chip_spec.h"
#include "sim/avr/avr_serial_chip.h"

namespace vexilo::sim {

std::unique_ptr<SerialProgrammedChip> MakeAvrChip(AvrModel model, const ChipFaults& faults) {
  return std::make_unique<AvrSerialChip>(GetAvrChipSpec(model), faults);
}

}  // namespace vexilo::sim
