#include "pic/pic_operations.h"

#include <gtest/gtest.h>

#include <memory>
#include <span>

#include "image/hex_to_int.h"
#include "sim/backend/sim_backend.h"
#include "support/recording_operator.h"

namespace vexilo::pic {
namespace {

using Texts = std::vector<std::string>;

// A simulated PIC card in an adapter switched to PIC mode, with an open session.
struct PicRig {
  explicit PicRig(PicChip chip, sim::SimFaults faults = {}) {
    sim::SimOptions options;
    options.card = chip == PicChip::PIC16F84 ? sim::CardType::WaferCard : sim::CardType::PicCard2;
    options.mode = sim::AdapterMode::Pic;
    options.faults = faults;
    backend = std::make_unique<sim::SimBackend>(options);
    session =
        std::make_unique<port::PortSession>(*backend, op, [] { return port::SessionSettings{}; });
    session->OpenPort("avr/pic");
  }
  PicContext Context() { return {*session, op, errorFlag}; }
  std::span<uint8_t> Region(const std::string& name) {
    for (const sim::MemoryRegion& region : backend->Card().Chip().Regions()) {
      if (region.name == name) return region.bytes;
    }
    throw std::invalid_argument(name);
  }

  std::unique_ptr<sim::SimBackend> backend;
  test::RecordingOperator op;
  std::unique_ptr<port::PortSession> session;
  uint8_t errorFlag = 0;
};

image::MemoryImage Flash(PicChip chip) {
  return image::MemoryImage(image::ImageKind::PicFlash, PicRow(chip).flashWords);
}

image::MemoryImage Eeprom(PicChip chip) {
  return image::MemoryImage(image::ImageKind::Eeprom, PicRow(chip).eepromBytes);
}

image::MemoryImage Pattern(PicChip chip) {
  image::MemoryImage flash = Flash(chip);
  for (uint32_t w = 0; w < flash.Cells(); w += 7) flash.SetCell(w, (w * 2654435761u) & 0x3FFF);
  return flash;
}

TEST(PicMemoryOperations, BothChipsWriteVerifyAndReadBackEveryMemory) {
  for (PicChip chip : {PicChip::PIC16F84, PicChip::PIC16F876}) {
    SCOPED_TRACE(PicRow(chip).name);
    PicRig rig(chip);
    PicContext ctx = rig.Context();
    const image::MemoryImage flash = Pattern(chip);
    image::MemoryImage eeprom = Eeprom(chip);
    for (uint32_t b = 0; b < eeprom.Cells(); ++b) eeprom.SetCell(b, (b * 37 + 5) & 0xFF);

    WriteEepromInt(ctx, chip, eeprom, "10");
    WriteFlash(ctx, chip, flash, "10");
    VerifyEepromInt(ctx, chip, eeprom);
    VerifyFlash(ctx, chip, flash);
    EXPECT_TRUE(rig.op.Errors().empty()) << ::testing::PrintToString(rig.op.Errors());
    EXPECT_EQ(rig.errorFlag, 0);

    image::MemoryImage readFlash, readEeprom;
    ReadFlash(ctx, chip, readFlash);
    ReadEepromInt(ctx, chip, readEeprom);
    EXPECT_EQ(readFlash, flash);
    EXPECT_EQ(readEeprom, eeprom);
  }
}

// Fast write after a bulk erase: the PIC16F876's programming-only cycle, with erased cells only
// read back, gives the same chip and log in less time; the PIC16F84 has no such cycle.
TEST(PicMemoryOperations, AfterABulkEraseOnlyThePic16f876WritesFaster) {
  for (PicChip chip : {PicChip::PIC16F84, PicChip::PIC16F876}) {
    SCOPED_TRACE(PicRow(chip).name);
    const image::MemoryImage flash = Pattern(chip);
    image::MemoryImage eeprom = Eeprom(chip);
    for (uint32_t b = 0; b < eeprom.Cells(); b += 3) eeprom.SetCell(b, (b * 37 + 5) & 0xFF);
    uint64_t took[2] = {};
    Texts logs[2];
    for (WriteCycle cycle : {WriteCycle::EraseAndProgram, WriteCycle::AfterBulkErase}) {
      PicRig rig(chip);
      PicContext ctx = rig.Context();
      Erase(ctx, chip);
      rig.op.Clear();
      const uint64_t start = rig.backend->VirtualTime().NowUs();
      WriteEepromInt(ctx, chip, eeprom, "10");
      WriteFlash(ctx, chip, flash, "10", cycle);
      took[int(cycle)] = rig.backend->VirtualTime().NowUs() - start;
      logs[int(cycle)] = rig.op.Texts();
      VerifyEepromInt(ctx, chip, eeprom);
      VerifyFlash(ctx, chip, flash);
      EXPECT_TRUE(rig.op.Errors().empty()) << ::testing::PrintToString(rig.op.Errors());
    }
    EXPECT_EQ(logs[1], logs[0]);
    if (chip == PicChip::PIC16F876) {
      EXPECT_LT(took[1], took[0] / 2);
    } else {
      EXPECT_EQ(took[1], took[0]);
    }
  }
}

TEST(PicMemoryOperations, LogLinesOfEachOperation) {
  PicRig rig(PicChip::PIC16F84);
  PicContext ctx = rig.Context();
  image::MemoryImage flash = Flash(PicChip::PIC16F84);
  ReadFlash(ctx, PicChip::PIC16F84, flash);
  ReadEepromInt(ctx, PicChip::PIC16F84, flash);
  VerifyFlash(ctx, PicChip::PIC16F84, Flash(PicChip::PIC16F84));
  EXPECT_EQ(rig.op.Texts(),
            (Texts{"PIC READ FLASH : START", "PIC READ FLASH : STOP", "PIC READ EEPROM INT : START",
                   "PIC READ EEPROM INT : STOP", "PIC VERYFI FLASH : START",
                   "PIC VERYFI FLASH : OK", "PIC VERYFI FLASH : STOP"}));
  EXPECT_EQ(rig.op.address, ":03FF");
  EXPECT_EQ(rig.op.progress, 1024u);

  PicRig f876(PicChip::PIC16F876);
  PicContext ctx876 = f876.Context();
  image::MemoryImage eeprom;
  ReadEepromInt(ctx876, PicChip::PIC16F876, eeprom);
  EXPECT_EQ(f876.op.Texts(), (Texts{"PIC READ EEPROM INT : START", "PIC READ EEPROM INT : OK"}))
      << "the PIC16F876 read ends with OK and no STOP line";
  EXPECT_EQ(eeprom.Cells(), 256u);
}

TEST(PicMemoryOperations, ThePic16f876WritesOnlyUpToTheLastProgrammedWord) {
  PicRig rig(PicChip::PIC16F876);
  PicContext ctx = rig.Context();
  const uint64_t accessesBefore = rig.backend->PortAccesses();
  WriteFlash(ctx, PicChip::PIC16F876, Flash(PicChip::PIC16F876), "10");
  EXPECT_EQ(rig.op.Texts(),
            (Texts{"PIC WRITE FLASH : START", "PIC WRITE FLASH : OK", "PIC WRITE FLASH : STOP"}));
  EXPECT_EQ(rig.backend->PortAccesses(), accessesBefore) << "an erased image sends nothing";

  rig.op.Clear();
  image::MemoryImage flash = Flash(PicChip::PIC16F876);
  flash.SetCell(0x10, 0x2841);
  WriteFlash(ctx, PicChip::PIC16F876, flash, "10");
  EXPECT_EQ(rig.op.Texts()[1], "PIC WRITE FLASH : LEN [0010]");
  EXPECT_EQ(rig.op.progressMax, 17u);
  EXPECT_EQ(rig.Region("flash")[0x20], 0x41);
  EXPECT_EQ(rig.Region("flash")[0x21], 0x28);
}

TEST(PicMemoryOperations, DifferencesStopAtTheirAddress) {
  sim::SimFaults faults;
  faults.chip.stuck = sim::ChipFaults::StuckBit{2 * 0x12, 0, false};  // word 0x12, bit 0 low
  PicRig rig(PicChip::PIC16F84, faults);
  PicContext ctx = rig.Context();
  image::MemoryImage flash = Flash(PicChip::PIC16F84);
  WriteFlash(ctx, PicChip::PIC16F84, flash, "10");
  EXPECT_EQ(rig.op.Errors(), (Texts{"PIC WRITE FLASH : ERROR ADR[0012]"}));
  EXPECT_EQ(rig.op.Texts().back(), "PIC WRITE FLASH : STOP");
  EXPECT_EQ(rig.errorFlag, 1);

  rig.op.Clear();
  VerifyFlash(ctx, PicChip::PIC16F84, flash);
  EXPECT_EQ(rig.op.Errors(), (Texts{"PIC VERYFI FLASH : ERROR ADR[0012]"}));
  EXPECT_EQ(rig.op.Texts(), (Texts{"PIC VERYFI FLASH : START", "PIC VERYFI FLASH : ERROR ADR[0012]",
                                   "PIC VERYFI FLASH : STOP"}));

  // An EEPROM byte that differs.
  rig.op.Clear();
  image::MemoryImage eeprom = Eeprom(PicChip::PIC16F84);
  eeprom.SetCell(3, 0x42);
  VerifyEepromInt(ctx, PicChip::PIC16F84, eeprom);
  EXPECT_EQ(rig.op.Errors(), (Texts{"PIC VERYFI EEPROM INT : ERROR ADR[0003]"}));
}

TEST(PicMemoryOperations, ABadDelayThrowsBeforeAnythingIsSent) {
  PicRig rig(PicChip::PIC16F84);
  PicContext ctx = rig.Context();
  const uint64_t before = rig.backend->PortAccesses();
  EXPECT_THROW(WriteFlash(ctx, PicChip::PIC16F84, Pattern(PicChip::PIC16F84), "1O"),
               image::ConversionError);
  EXPECT_THROW(WriteConfigWord(ctx, PicChip::PIC16F84, 0x3FF1, ""), image::ConversionError);
  EXPECT_EQ(rig.backend->PortAccesses(), before);
}

TEST(PicMemoryOperations, AStopRequestEndsAWriteAndKeepsTheImageOfARead) {
  PicRig rig(PicChip::PIC16F876);
  PicContext ctx = rig.Context();
  rig.op.stopAtProgress = 5;
  WriteEepromInt(ctx, PicChip::PIC16F876, Eeprom(PicChip::PIC16F876), "10");
  EXPECT_EQ(rig.op.Errors(), (Texts{"PIC WRITE EEPROM INT : STOPPED"}));
  EXPECT_EQ(rig.errorFlag, 1);

  image::MemoryImage kept = Pattern(PicChip::PIC16F876);
  const image::MemoryImage before = kept;
  rig.op.stopAtProgress = 100;
  ReadFlash(ctx, PicChip::PIC16F876, kept);
  EXPECT_EQ(kept, before);
}

TEST(PicConfigWord, TheWordReachesTheChipAndReadsBack) {
  for (PicChip chip : {PicChip::PIC16F84, PicChip::PIC16F876}) {
    SCOPED_TRACE(PicRow(chip).name);
    PicRig rig(chip);
    PicContext ctx = rig.Context();
    const uint16_t word = chip == PicChip::PIC16F84 ? 0x3FF1 : 0x3F31;
    WriteConfigWord(ctx, chip, word, "10");
    const std::string label = PicRow(chip).configLabel;
    EXPECT_EQ(rig.op.Texts(), (Texts{"PIC WRITE CONFIG BIT : START", label + image::ToHex(word, 4),
                                     "PIC WRITE CONFIG BIT : STOP"}));
    rig.op.Clear();
    EXPECT_EQ(ReadConfigWord(ctx, chip, 0x3FFF), word);
    EXPECT_EQ(rig.op.Texts(), (Texts{"PIC READ CONFIG BIT : START", label + image::ToHex(word, 4),
                                     "PIC READ CONFIG BIT : STOP"}));
  }
}

TEST(PicConfigWord, CodeProtectionHidesTheProgramUntilAnErase) {
  PicRig rig(PicChip::PIC16F84);
  PicContext ctx = rig.Context();
  const image::MemoryImage flash = Pattern(PicChip::PIC16F84);
  WriteFlash(ctx, PicChip::PIC16F84, flash, "10");
  WriteConfigWord(ctx, PicChip::PIC16F84, 0x3F01, "10");  // XT, CP on
  image::MemoryImage read;
  ReadFlash(ctx, PicChip::PIC16F84, read);
  EXPECT_NE(read, flash);

  Erase(ctx, PicChip::PIC16F84);
  ReadFlash(ctx, PicChip::PIC16F84, read);
  EXPECT_EQ(read, Flash(PicChip::PIC16F84)) << "the erase clears protection and program";
  EXPECT_EQ(ReadConfigWord(ctx, PicChip::PIC16F84, 0x3FFF), 0x3FFF);
}

TEST(PicConfigWord, WithoutAUsableSessionNothingIsRead) {
  PicRig rig(PicChip::PIC16F84);
  rig.session->ClosePort();
  PicContext ctx = rig.Context();
  EXPECT_EQ(ReadConfigWord(ctx, PicChip::PIC16F84, 0x3FFF), std::nullopt);
  EXPECT_EQ(rig.op.Errors(), (Texts{"PIC READ CONFIG BIT : ERROR PORT"}));
}

}  // namespace
}  // namespace vexilo::pic
