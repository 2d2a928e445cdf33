#pragma once
#include <memory>

#include "sim/card/chip.h"

namespace vexilo::sim {

enum class PicModel { PIC16F84, PIC16F876 };

// A simulated PIC in serial programming mode, as its programming specification describes it.
std::unique_ptr<SerialProgrammedChip> MakePicChip(PicModel model, const ChipFaults& faults = {});

}  // namespace vexilo::sim
