#include "sim/pic/pic_chip.h"

#include "sim/pic/pic_chip_traits.h"
#include "sim/pic/pic_serial_chip.h"

namespace vexilo::sim {

std::unique_ptr<SerialProgrammedChip> MakePicChip(PicModel model, const ChipFaults& faults) {
  return std::make_unique<PicSerialChip>(GetPicChipTraits(model), faults);
}

}  // namespace vexilo::sim
