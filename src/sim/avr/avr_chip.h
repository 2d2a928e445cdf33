#pragma once
#include <memory>

#include "sim/card/chip.h"

namespace vexilo::sim {

enum class AvrModel { AT90S8515, ATmega8515, ATmega163, ATmega128 };

// A simulated AVR in serial programming mode, as its data sheet describes it.
std::unique_ptr<SerialProgrammedChip> MakeAvrChip(AvrModel model, const ChipFaults& faults = {});

}  // namespace vexilo::sim
