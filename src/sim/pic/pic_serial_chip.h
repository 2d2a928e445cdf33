#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/card/chip.h"
#include "sim/pic/pic_chip_traits.h"
#include "sim/pic/pic_frame_shifter.h"
#include "sim/pic/pic_memory.h"

namespace vexilo::sim {

// A PIC16F8X / PIC16F87X in program/verify mode, driven by one row of the chip table.
//
// Timing is lenient: the clock and data set-up and hold times and the delay between a
// command and its data frame (tdly) are not checked; only the internally timed programming
// and erase cycles take simulated time.
class PicSerialChip final : public SerialProgrammedChip {
 public:
  PicSerialChip(const PicChipTraits& traits, const ChipFaults& faults);

  void SetPins(bool control, bool clock, bool data, SimTime now) override;
  bool DataOut(SimTime now) override;
  std::span<const uint8_t> ProgramMemory() const override { return memory_.Flash(); }
  std::vector<MemoryRegion> Regions() override;
  void MemoriesRestored() override { memory_.ReapplyStuck(); }
  std::string Name() const override { return traits_.name; }

  std::string FirmwareFamily() const override;
  bool RunsOnCardClock() const override;
  std::optional<uint16_t> ConfigurationWord() const override {
    return memory_.ConfigurationWordValue();
  }

 private:
  // Which Load command filled the data latch last.
  enum class Load { kNone, kProgram, kData, kConfig };
  // Bulk Erase Setup1/Setup2 pairs around a Begin command.
  enum class Setup { kIdle, kSetup1, kArmed, kRunning, kClosing1 };
  enum class CycleKind {
    kNone,
    kProgramWord,
    kDataByte,
    kEraseProgram,
    kEraseProgramAndConfig,
    kEraseData,
    kChipErase,
  };
  struct Cycle {
    CycleKind kind = CycleKind::kNone;
    uint16_t address = 0;
    uint16_t value = 0;
    PicWriteMode mode = PicWriteMode::kEraseProgram;
    SimTime doneAt = 0;
  };

  void ChangeMclr(bool high, bool clock, bool data);
  void LeaveMode();
  void Execute(uint8_t command, SimTime now);
  void TrackSetupSequence(uint8_t command);
  void Begin(PicWriteMode mode, SimTime now);
  CycleKind SetupErase() const;
  CycleKind ArmedErase() const;
  void StartCycle(CycleKind kind, SimTime duration, SimTime now);
  void FinishCycle();
  void ApplyCycle();

  const PicChipTraits& traits_;
  double timeFactor_;
  PicMemory memory_;
  PicFrameShifter shifter_;

  bool mclr_ = false;
  bool clock_ = false;
  bool data_ = false;
  bool inMode_ = false;

  uint16_t address_ = 0;
  uint16_t latch_ = 0x3FFF;
  Load lastLoad_ = Load::kNone;
  Load frameLoad_ = Load::kNone;
  Setup setup_ = Setup::kIdle;
  uint8_t armedBulkErase_ = 0;  // 0, or the Bulk Erase command waiting for Begin
  Cycle cycle_;
};

}  // namespace vexilo::sim
