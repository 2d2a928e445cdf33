#include <gtest/gtest.h>

#include <memory>

#include "avr_bit_bang.h"
#include "sim/avr/avr_chip.h"

namespace vexilo::sim {
namespace {

using testing::AvrBitBang;

struct Programmed {
  std::unique_ptr<SerialProgrammedChip> chip;
  std::unique_ptr<AvrBitBang> isp;
};

Programmed Enter(AvrModel model, const ChipFaults& faults = {}) {
  Programmed p{MakeAvrChip(model, faults), nullptr};
  p.isp = std::make_unique<AvrBitBang>(*p.chip);
  EXPECT_EQ(p.isp->Enter(), 0x53);
  return p;
}

TEST(AvrFlash, At90s8515WritesEachByteAtOnceWithDataPolling) {
  auto [chip, isp] = Enter(AvrModel::AT90S8515);
  isp->WriteFlashByte(0x123, false, 0x5A);
  EXPECT_EQ(isp->ReadFlash(0x123, false), 0x7F);  // data polling value
  EXPECT_EQ(isp->ReadFlash(0x123, true), 0xFF);   // the other byte of the word reads normally
  isp->Wait(4 * kMs);
  EXPECT_EQ(isp->ReadFlash(0x123, false), 0x5A);
  isp->WriteFlashByte(0x123, true, 0xC3);
  isp->Wait(4 * kMs);
  EXPECT_EQ(isp->ReadWord(0x123), 0xC35A);
  EXPECT_EQ(chip->ProgramMemory()[0x246], 0x5A);
  EXPECT_EQ(chip->ProgramMemory()[0x247], 0xC3);
}

TEST(AvrFlash, WriteWhileBusyIsIgnored) {
  auto [chip, isp] = Enter(AvrModel::AT90S8515);
  isp->WriteFlashByte(0, false, 0x11);
  isp->WriteFlashByte(1, false, 0x22);  // still programming byte 0
  isp->Wait(5 * kMs);
  EXPECT_EQ(isp->ReadWord(0), 0xFF11);
  EXPECT_EQ(isp->ReadWord(1), 0xFFFF);
}

TEST(AvrFlash, ProgrammingOnlyClearsBitsUntilChipErase) {
  auto [chip, isp] = Enter(AvrModel::AT90S8515);
  isp->WriteFlashByte(7, false, 0xF0);
  isp->Wait(5 * kMs);
  isp->WriteFlashByte(7, false, 0x3C);
  isp->Wait(5 * kMs);
  EXPECT_EQ(isp->ReadFlash(7, false), 0x30);
  isp->ChipErase();
  isp->Wait(10 * kMs);
  EXPECT_EQ(isp->ReadFlash(7, false), 0xFF);
}

TEST(AvrFlash, AtmegaLoadedWordsAppearOnlyAfterPageWrite) {
  auto [chip, isp] = Enter(AvrModel::ATmega8515);
  isp->LoadWord(0x41, 0xBEEF);
  isp->LoadWord(0x42, 0x1234);
  EXPECT_EQ(isp->ReadWord(0x41), 0xFFFF);
  isp->WritePage(0x40);
  EXPECT_EQ(isp->ReadWord(0x41), 0xFFFF);  // busy: polling reads 0xFF
  EXPECT_EQ(isp->ReadWord(0x5F), 0xFFFF);
  isp->Wait(4500 * kUs);
  EXPECT_EQ(isp->ReadWord(0x41), 0xBEEF);
  EXPECT_EQ(isp->ReadWord(0x42), 0x1234);
  EXPECT_EQ(isp->ReadWord(0x40), 0xFFFF);
}

// The page buffer is addressed by the low word address bits only; 0x4C picks the page.
TEST(AvrFlash, PageAddressing) {
  auto [chip, isp] = Enter(AvrModel::ATmega163);  // 64-word pages
  isp->LoadWord(0x0005, 0xA55A);                  // high bits of the load address do not matter
  isp->WritePage(0x1C7F);                         // any word of page 0x1C40
  isp->Wait(16 * kMs);
  EXPECT_EQ(isp->ReadWord(0x1C45), 0xA55A);
  EXPECT_EQ(isp->ReadWord(0x0005), 0xFFFF);
  // The buffer is clear after a page write: writing the next page leaves it blank.
  isp->WritePage(0x1C80);
  isp->Wait(16 * kMs);
  EXPECT_EQ(isp->ReadWord(0x1C85), 0xFFFF);
}

// The low byte waits in a latch; loading a high byte writes the word at the high byte's
// address. Hence the data sheets' rule: low byte first, for the same address.
TEST(AvrFlash, HighByteLoadCommitsTheLatchedLowByte) {
  auto [chip, isp] = Enter(AvrModel::ATmega8515);
  isp->Instruction(0x48, 0, 2, 0x56);  // high byte alone: low byte blank
  isp->Instruction(0x40, 0, 3, 0x12);  // low byte without its high byte ...
  isp->Instruction(0x48, 0, 4, 0x34);  // ... goes with the next high byte
  isp->WritePage(0);
  isp->Wait(5 * kMs);
  EXPECT_EQ(isp->ReadWord(2), 0x56FF);
  EXPECT_EQ(isp->ReadWord(3), 0xFFFF);
  EXPECT_EQ(isp->ReadWord(4), 0x3412);
}

TEST(AvrFlash, Atmega128WordAddressesAboveHalf) {
  auto [chip, isp] = Enter(AvrModel::ATmega128);
  isp->LoadWord(0xFFFF, 0x0102);
  isp->WritePage(0xFFFF);
  isp->Wait(5 * kMs);
  isp->LoadWord(0x8000, 0x0304);
  isp->WritePage(0x8000);
  isp->Wait(5 * kMs);
  EXPECT_EQ(isp->ReadWord(0xFFFF), 0x0102);
  EXPECT_EQ(isp->ReadWord(0x8000), 0x0304);
  EXPECT_EQ(isp->ReadWord(0x0000), 0xFFFF);
  EXPECT_EQ(chip->ProgramMemory()[0x1FFFE], 0x02);
  EXPECT_EQ(chip->ProgramMemory()[0x10001], 0x03);
}

TEST(AvrFlash, RdyBsyPollOnAtmega128) {
  auto [chip, isp] = Enter(AvrModel::ATmega128);
  EXPECT_EQ(isp->Poll() & 1, 0);
  isp->LoadWord(0, 0);
  isp->WritePage(0);
  EXPECT_EQ(isp->Poll() & 1, 1);
  isp->Wait(4500 * kUs);
  EXPECT_EQ(isp->Poll() & 1, 0);
}

TEST(AvrFlash, SlowChipNeedsLonger) {
  ChipFaults slow;
  slow.writeTimeFactor = 3.0;
  auto [chip, isp] = Enter(AvrModel::ATmega8515, slow);
  isp->LoadWord(0, 0x0000);
  isp->WritePage(0);
  isp->Wait(5 * kMs);
  EXPECT_EQ(isp->ReadWord(0), 0xFFFF);
  isp->Wait(9 * kMs);
  EXPECT_EQ(isp->ReadWord(0), 0x0000);
}

TEST(AvrFlash, StuckBitReadsItsValue) {
  ChipFaults faults;
  faults.stuck = ChipFaults::StuckBit{0x0101, 3, false};
  auto [chip, isp] = Enter(AvrModel::AT90S8515, faults);
  EXPECT_EQ(isp->ReadFlash(0x80, true), 0xF7);
  isp->ChipErase();
  isp->Wait(10 * kMs);
  EXPECT_EQ(isp->ReadFlash(0x80, true), 0xF7);
  EXPECT_EQ(chip->ProgramMemory()[0x0101], 0xF7);

  faults.stuck = ChipFaults::StuckBit{0x0000, 0, true};
  auto [chip2, isp2] = Enter(AvrModel::ATmega163, faults);
  isp2->LoadWord(0, 0x0000);
  isp2->WritePage(0);
  isp2->Wait(20 * kMs);
  EXPECT_EQ(isp2->ReadWord(0), 0x0001);
}

TEST(AvrEeprom, WriteReplacesTheByteAfterItsWriteTime) {
  auto [chip, isp] = Enter(AvrModel::ATmega128);
  isp->WriteEeprom(0x0FFF, 0x5A);
  EXPECT_EQ(isp->ReadEeprom(0x0FFF), 0xFF);  // polling
  isp->Wait(9 * kMs);
  EXPECT_EQ(isp->ReadEeprom(0x0FFF), 0x5A);
  isp->WriteEeprom(0x0FFF, 0xA5);  // auto-erase first: not an AND of old and new
  isp->Wait(9 * kMs);
  EXPECT_EQ(isp->ReadEeprom(0x0FFF), 0xA5);
}

TEST(AvrEeprom, At90s8515PollingValues) {
  auto [chip, isp] = Enter(AvrModel::AT90S8515);
  isp->WriteEeprom(0x1FF, 0x00);
  EXPECT_EQ(isp->ReadEeprom(0x1FF), 0x80);  // during the auto-erase
  isp->Wait(2 * kMs);
  EXPECT_EQ(isp->ReadEeprom(0x1FF), 0x7F);
  isp->Wait(2 * kMs);
  EXPECT_EQ(isp->ReadEeprom(0x1FF), 0x00);
  EXPECT_EQ(isp->ReadEeprom(0x1FE), 0xFF);
}

TEST(AvrEeprom, AtmegaEepromWriteIgnoredWhileFlashPageIsProgrammed) {
  auto [chip, isp] = Enter(AvrModel::ATmega8515);
  isp->LoadWord(0, 0);
  isp->WritePage(0);
  isp->WriteEeprom(1, 0x42);
  isp->Wait(20 * kMs);
  EXPECT_EQ(isp->ReadEeprom(1), 0xFF);
}

}  // namespace
}  // namespace vexilo::sim
