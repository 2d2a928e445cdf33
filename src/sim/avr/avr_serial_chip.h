#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/avr/avr_chip_spec.h"
#include "sim/card/chip.h"

namespace vexilo::sim {

// An AT90S / ATmega in serial programming mode, driven by one row of the chip table.
//
// Link: while RESET is low the chip shifts MOSI in on every rising SCK edge and moves MISO to
// the next bit on every falling edge, most significant bit first, in frames of four bytes
// counted from the falling edge of RESET. MISO echoes the byte received before (the fourth
// byte of a read carries the data). Before Programming Enable has been accepted the chip only
// answers the echo of 0x53 in the third byte, and only when its own frame holds 0xAC 0x53:
// a chip whose bit count is off (SCK edges it should not have seen, or RESET taken low while
// SCK was high) stays silent until a RESET pulse restarts the count, or until extra SCK pulses
// have brought it back into step (the AT90S8515 recovery; each failed attempt plus one pulse
// moves the frame by one bit, so 32 attempts always suffice).
//
// The minimum SCK high and low times (more than 2 chip clocks) are checked only when the
// chip's clock is given (fault chip-clock=HZ). Writes and erases are self-timed and take
// simulated time; while one runs, another instruction that would start a write is ignored, a
// read of the location being written returns the data sheet's polling value, and a RESET
// pulse cuts it short, leaving the memory unchanged.
class AvrSerialChip final : public SerialProgrammedChip {
 public:
  AvrSerialChip(const AvrChipSpec& spec, const ChipFaults& faults);

  void SetPins(bool control, bool clock, bool data, SimTime now) override;
  bool DataOut(SimTime) override { return !reset_ && miso_; }
  std::span<const uint8_t> ProgramMemory() const override { return flash_; }
  std::vector<MemoryRegion> Regions() override;
  std::string Name() const override { return spec_.name; }
  void MemoriesRestored() override { ApplyStuckBit(); }
  std::string FirmwareFamily() const override { return "avr"; }

 private:
  enum class Job { kNone, kFlashByte, kFlashPage, kEeprom, kErase, kFuse, kLock };
  struct Pending {
    Job job = Job::kNone;
    uint32_t address = 0;  // flash byte, first byte of the page, EEPROM byte or fuse index
    uint8_t value = 0;
    SimTime start = 0;
    SimTime doneAt = 0;
  };

  void FallOfReset();
  void RiseOfReset(SimTime now);
  // The shortest SCK phase the chip follows at its clock (0: not checked).
  SimTime MinSckPhase() const;
  void RisingEdge(bool bit, SimTime now);
  void FallingEdge();
  void ByteDone(int index, SimTime now);
  void Execute(SimTime now);

  // Instructions.
  uint8_t ReadValue(SimTime now);
  uint8_t ReadFlash(uint32_t byteAddress, SimTime now) const;
  uint8_t ReadEeprom(uint32_t address, SimTime now) const;
  uint8_t ReadSignature(uint8_t index) const;
  uint8_t ReadConfig() const;
  void ExecuteAc(SimTime now);
  void WriteFlashByte(SimTime now);
  void LoadPage();
  void WritePage(SimTime now);
  void WriteEeprom(SimTime now);
  void WriteFuse(AvrFuse fuse, uint8_t value, SimTime now);
  void WriteLock(uint8_t value, SimTime now);
  void Start(Job job, uint32_t address, uint8_t value, SimTime duration, SimTime now);
  void Settle(SimTime now);
  void Finish();
  void ApplyStuckBit();

  bool Busy(SimTime now) const { return pending_.job != Job::kNone && now < pending_.doneAt; }
  bool Lb1() const { return (config_[LockIndex()] & spec_.lb1Mask) == 0; }
  bool Lb2() const { return (config_[LockIndex()] & spec_.lb2Mask) == 0; }
  bool WriteLocked() const { return Lb1(); }
  bool ReadLocked() const { return Lb1() && Lb2(); }
  size_t LockIndex() const { return spec_.fuseCount; }
  uint32_t WordAddress() const;
  SimTime Scaled(SimTime time) const;

  const AvrChipSpec& spec_;
  ChipFaults faults_;
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> eeprom_;
  std::array<uint8_t, 4> config_{};  // fuses the chip has, then the lock byte
  std::array<uint8_t, 256> pageBuffer_{};
  std::array<uint8_t, 256> pageInFlight_{};
  uint8_t lowLatch_ = 0xFF;

  bool reset_ = true;
  bool clock_ = false;
  bool miso_ = false;
  bool enabled_ = false;

  SimTime lastSckEdge_ = 0;
  uint8_t bitCount_ = 0;  // bits of the current frame received so far, 0 .. 31
  uint8_t shiftIn_ = 0;
  std::array<uint8_t, 4> frame_{};
  uint8_t nextOut_ = 0;
  uint8_t shiftOut_ = 0;
  bool loadOut_ = false;

  Pending pending_;
};

}  // namespace vexilo::sim
