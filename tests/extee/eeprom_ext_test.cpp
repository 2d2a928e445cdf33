#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "extee/extee_operations.h"
#include "extee_test_support.h"
#include "image/hex_to_int.h"

namespace vexilo::extee::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;
constexpr LoaderFamily kLoaders[] = {LoaderFamily::Avr, LoaderFamily::Pic16F84,
                                     LoaderFamily::Pic16F876};

uint32_t SizeOf(LoaderFamily loader) { return loader == LoaderFamily::Pic16F84 ? 2048 : 8192; }
std::string Prefix(LoaderFamily loader) { return loader == LoaderFamily::Avr ? "ATMEL" : "PIC"; }
Bytes Slice(const Bytes& bytes, size_t first, size_t count) {
  return {bytes.begin() + long(first), bytes.begin() + long(first + count)};
}
Bytes Header(uint8_t ins, uint32_t address, uint8_t p3) {
  return {0xC1, ins, uint8_t(address >> 8), uint8_t(address), p3};
}

struct SizeCase {
  LoaderFamily loader;
  uint32_t bytes;
  const char* atr;
};

class RoundTrip : public ::testing::TestWithParam<SizeCase> {};

// Every 256-byte page of the pattern differs, so a block at a wrong address shows; the
// 24C512 takes addresses up to FFF0. The simulated PIC16F876 loader refuses a block whose
// check byte is wrong.
TEST_P(RoundTrip, WriteVerifyAndReadBackGiveTheImage) {
  const auto [loader, bytes, atr] = GetParam();
  ExtRig rig(loader, bytes);
  ExtEepromContext ctx = rig.Context();
  const image::MemoryImage image = Pattern(bytes, 0x5A);
  const std::string p = Prefix(loader) + " ";
  const std::string atrLine = std::string(" EEPROM EXT : ATR[01] -> ") + atr;

  WriteEepromExt(ctx, loader, bytes, image, true);
  EXPECT_TRUE(std::equal(rig.Eeprom().begin(), rig.Eeprom().end(), image.Bytes().begin()));
  // The PIC16F84 write ends without its OK and STOP lines.
  Texts writeLines{p + "WRITE EEPROM EXT : START", p + "WRITE" + atrLine,
                   p + "WRITE EEPROM EXT : OK", p + "WRITE EEPROM EXT : STOP"};
  if (loader == LoaderFamily::Pic16F84) writeLines.resize(2);
  EXPECT_EQ(rig.op.lines, writeLines);
  EXPECT_EQ(rig.op.progress, bytes);
  EXPECT_EQ(rig.op.address, ":" + image::ToHex(bytes - 1, 4));

  rig.op.lines.clear();
  rig.errorFlag = 1;  // cleared once the loader has answered
  VerifyEepromExt(ctx, loader, bytes, image);
  EXPECT_EQ(rig.op.lines, (Texts{p + "VERYFI EEPROM EXT : START", p + "VERYFI" + atrLine,
                                 p + "VERYFI EEPROM EXT : OK", p + "VERYFI EEPROM EXT : STOP"}));

  rig.op.lines.clear();
  image::MemoryImage read(image::ImageKind::Eeprom, 16);
  // The Wafer Card's 24C16 is fixed: 2048 bytes whatever size is asked for.
  ReadEepromExt(ctx, loader, loader == LoaderFamily::Pic16F84 ? 8192 : bytes, read);
  EXPECT_EQ(read, image);
  EXPECT_EQ(rig.op.lines, (Texts{p + "READ EEPROM EXT : START", p + "READ" + atrLine,
                                 p + "READ EEPROM EXT : STOP"}));
  EXPECT_EQ(rig.errorFlag, 0);
  EXPECT_EQ(rig.op.questions, (Texts{"Text 28", "Text 28", "Text 28"}));
  EXPECT_EQ(rig.switches, 3u);
  EXPECT_FALSE(rig.session.InSession());
}

constexpr char kAvrAtr[] = "3B 13 11 56 58 41 41 41 41 41 41 41 41 41 41 41";
constexpr char kPic84Atr[] = "3B 93 11 80 1F 03 56 58 46 56 56 56 56 56 56 56";
constexpr char kPic876Atr[] = "3B 01 56 56 56 56 56 56 56 56 56 56 56 56 56 56";
INSTANTIATE_TEST_SUITE_P(EveryLoader, RoundTrip,
                         ::testing::Values(SizeCase{LoaderFamily::Avr, 8192, kAvrAtr},
                                           SizeCase{LoaderFamily::Avr, 65536, kAvrAtr},
                                           SizeCase{LoaderFamily::Pic16F84, 2048, kPic84Atr},
                                           SizeCase{LoaderFamily::Pic16F876, 8192, kPic876Atr},
                                           SizeCase{LoaderFamily::Pic16F876, 16384, kPic876Atr}));

// With ver_eeprom each block written is read back from the same address before the next.
TEST(EepromExtWire, AvrWriteReadsEachBlockBackOnlyWhenAsked) {
  for (bool verify : {false, true}) {
    ExtRig rig(LoaderFamily::Avr, 8192);
    rig.verEeprom = verify;
    ExtEepromContext ctx = rig.Context();
    const image::MemoryImage image = Pattern(8192);
    WriteEepromExt(ctx, LoaderFamily::Avr, 8192, image, false);
    const Bytes& sent = rig.backend.io.sent;
    const size_t chunk = verify ? 26 : 21;
    ASSERT_EQ(sent.size(), 512 * chunk);
    for (uint32_t address = 0; address < 8192; address += 16) {
      const size_t at = address / 16 * chunk;
      ASSERT_EQ(Slice(sent, at, 5), Header(0x20, address, 0x10)) << address;
      ASSERT_EQ(Slice(sent, at + 5, 16), Slice(image.Bytes(), address, 16)) << address;
      if (verify) {
        ASSERT_EQ(Slice(sent, at + 21, 5), Header(0x22, address, 0x10)) << address;
      }
    }
  }
}

// No answer to the reset: attempt 05 logged, the red ATR ERROR, no command sent, the image
// kept, the error flag set.
TEST(EepromExtFailure, ACardWithoutItsLoaderIsRefusedAtTheAtr) {
  sim::SimFaults wrongAtr, noCard;
  wrongAtr.phoenix.wrongAtr = true;
  noCard.noCard = true;
  for (LoaderFamily loader : kLoaders) {
    const uint32_t bytes = SizeOf(loader);
    ExtRig erased(CardFor(loader), std::nullopt, bytes);
    ExtRig foreign(loader, bytes, wrongAtr);
    ExtRig empty(loader, bytes, noCard);
    for (ExtRig* rig : {&erased, &foreign, &empty}) {
      ExtEepromContext ctx = rig->Context();
      image::MemoryImage image = Pattern(bytes);
      ReadEepromExt(ctx, loader, bytes, image);
      WriteEepromExt(ctx, loader, bytes, image, false);
      const std::string p = Prefix(loader);
      ASSERT_EQ(rig->op.lines.size(), 6u);
      EXPECT_TRUE(rig->op.lines[1].starts_with(p + " READ EEPROM EXT : ATR[05] -> "));
      EXPECT_EQ(rig->Errors(),
                (Texts{p + " READ EEPROM EXT : ATR ERROR", p + " WRITE EEPROM EXT : ATR ERROR"}));
      EXPECT_EQ(image, Pattern(bytes));
      EXPECT_TRUE(rig->backend.io.sent.empty());
      EXPECT_EQ(rig->errorFlag, 1);
    }
    EXPECT_TRUE(
        foreign.op.lines[1].ends_with("-> 03 BF 5D E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5"));
  }
}

// A card (or adapter) that stops answering ends the transfer at once with a red line.
TEST(EepromExtFailure, ASilentCardEndsTheTransfer) {
  for (LoaderFamily loader : kLoaders) {
    sim::SimFaults faults;
    faults.phoenix.silentAfter = 120;  // the ATR and a few blocks
    ExtRig rig(loader, SizeOf(loader), faults);
    ExtEepromContext ctx = rig.Context();
    image::MemoryImage image = Pattern(SizeOf(loader));
    ReadEepromExt(ctx, loader, SizeOf(loader), image);
    EXPECT_EQ(image, Pattern(SizeOf(loader)));
    EXPECT_EQ(rig.Errors(), Texts{Prefix(loader) + " READ EEPROM EXT : TIMEOUT ERROR"});
    EXPECT_EQ(rig.op.lines.back(), Prefix(loader) + " READ EEPROM EXT : STOP");
    EXPECT_EQ(rig.errorFlag, 1);
  }
  sim::SimFaults noEcho;
  noEcho.noEcho = true;
  ExtRig rig(LoaderFamily::Pic16F876, 8192, noEcho);
  ExtEepromContext ctx = rig.Context();
  WriteEepromExt(ctx, LoaderFamily::Pic16F876, 8192, Pattern(8192), false);
  EXPECT_EQ(rig.Errors(), Texts{"PIC WRITE EEPROM EXT : TIMEOUT ERROR"});
}

// A loader that refuses the instruction sends its status instead of INS (the AVR and
// PIC16F84 loaders share their ATR mark, not their instructions). The PIC16F84 read names its
// ACK line as the AVR read does.
TEST(EepromExtFailure, ARefusedHeaderIsAnAckError) {
  ExtRig avr(sim::CardType::WaferCard, sim::LoaderFamily::Pic16F84, 2048);
  ExtEepromContext avrCtx = avr.Context();
  WriteEepromExt(avrCtx, LoaderFamily::Avr, 8192, Pattern(8192), false);
  EXPECT_EQ(avr.Errors(), Texts{"ATMEL WRITE EEPROM EXT : ACK ERROR"});
  EXPECT_EQ(avr.errorFlag, 1);

  ExtRig wafer(sim::CardType::FunCard, sim::LoaderFamily::Avr, 8192);
  ExtEepromContext waferCtx = wafer.Context();
  image::MemoryImage image = Pattern(2048);
  ReadEepromExt(waferCtx, LoaderFamily::Pic16F84, 2048, image);
  EXPECT_EQ(image, Pattern(2048));
  EXPECT_EQ(wafer.Errors(), Texts{"ATMEL READ EEPROM EXT : ACK ERROR"});
  EXPECT_EQ(wafer.op.lines.back(), "PIC READ EEPROM EXT : STOP");
}

TEST(EepromExtFailure, VerifyReportsTheFirstDifference) {
  for (LoaderFamily loader : kLoaders) {
    ExtRig rig(loader, SizeOf(loader));
    const image::MemoryImage image = Pattern(SizeOf(loader));
    std::copy(image.Bytes().begin(), image.Bytes().end(), rig.Eeprom().begin());
    rig.Eeprom()[0x0123] ^= 0x10;
    rig.Eeprom()[0x0456] ^= 0x01;
    ExtEepromContext ctx = rig.Context();
    VerifyEepromExt(ctx, loader, SizeOf(loader), image);
    // The PIC16F84 verify writes its difference line as the AVR verify does.
    const std::string report = loader == LoaderFamily::Pic16F876 ? "PIC" : "ATMEL";
    EXPECT_EQ(rig.Errors(), Texts{report + " VERYFI EEPROM EXT : ERROR ADR[0123]"});
    EXPECT_EQ(rig.op.lines.back(), Prefix(loader) + " VERYFI EEPROM EXT : STOP");
    EXPECT_EQ(rig.errorFlag, 1);
  }
}

// The PIC16F84 loader's replies to a write say nothing, so a character spoilt on the line is
// found only by reading the 24C16 back after the write.
TEST(EepromExtFailure, APic16F84WriteIsReadBackAndComparedAfterwards) {
  ExtRig rig(LoaderFamily::Pic16F84, 2048);
  rig.backend.io.flipSentAt = 5 + 2;  // after the first header: data byte 2 of block 0
  ExtEepromContext ctx = rig.Context();
  WriteEepromExt(ctx, LoaderFamily::Pic16F84, 2048, Pattern(2048), false);
  EXPECT_EQ(rig.Errors(), Texts{"PIC WRITE EEPROM EXT : ERROR ADR[0002]"});
  EXPECT_EQ(rig.errorFlag, 1);
}

// A session the operation could not open itself is not used, even while another is open.
TEST(EepromExtFailure, ARefusedSessionIsAPortError) {
  ExtRig rig(LoaderFamily::Avr, 8192);
  ASSERT_TRUE(rig.session.OpenPort("avr/pic"));
  ExtEepromContext ctx = rig.Context();
  image::MemoryImage image = Pattern(8192);
  ReadEepromExt(ctx, LoaderFamily::Avr, 8192, image);
  EXPECT_EQ(rig.Errors(), Texts{"ATMEL READ EEPROM EXT : ERROR PORT"});
  EXPECT_EQ(image, Pattern(8192));
  EXPECT_TRUE(rig.session.IsOpen());
}

TEST(EepromExtSession, NoToTheQuestionDoesNothing) {
  ExtRig rig(LoaderFamily::Avr, 8192);
  rig.op.answerYes = false;
  ExtEepromContext ctx = rig.Context();
  image::MemoryImage image = Pattern(8192);
  ReadEepromExt(ctx, LoaderFamily::Avr, 8192, image);
  VerifyEepromExt(ctx, LoaderFamily::Avr, 8192, image);
  WriteEepromExt(ctx, LoaderFamily::Avr, 8192, image, true);
  EXPECT_EQ(rig.op.questions.size(), 3u);
  EXPECT_TRUE(rig.op.lines.empty());
  EXPECT_EQ(rig.switches, 0u);
  EXPECT_EQ(rig.backend.io.accesses, 0u);
  EXPECT_EQ(image, Pattern(8192));
}

// A stop request between blocks ends the write with the red STOPPED line and the error flag;
// what was written stays, the rest of the part is untouched. A request left from before the
// operation is cleared at its start.
TEST(EepromExtSession, AStopRequestEndsAWriteEarly) {
  for (LoaderFamily loader : kLoaders) {
    ExtRig rig(loader, SizeOf(loader));
    rig.op.stop = true;
    rig.op.stopAtProgress = 1024;
    ExtEepromContext ctx = rig.Context();
    const image::MemoryImage image = Pattern(SizeOf(loader));
    WriteEepromExt(ctx, loader, SizeOf(loader), image, true);
    EXPECT_EQ(rig.Errors(), Texts{Prefix(loader) + " WRITE EEPROM EXT : STOPPED"});
    EXPECT_EQ(rig.errorFlag, 1);
    EXPECT_EQ(rig.op.progress, 1024u);
    EXPECT_TRUE(
        std::equal(rig.Eeprom().begin(), rig.Eeprom().begin() + 1024, image.Bytes().begin()));
    EXPECT_TRUE(std::all_of(rig.Eeprom().begin() + 1024, rig.Eeprom().end(),
                            [](uint8_t b) { return b == 0xFF; }));
  }
}

}  // namespace
}  // namespace vexilo::extee::testing

namespace vexilo::extee::testing {
namespace {

// A card loader runs only on the chip it was built for, and a PIC only with the configuration
// its installer writes (crystal oscillator, watchdog off): else no ATR, as on a real card.
TEST(EepromExtFailure, ALoaderRunsOnlyOnItsChipAndWithItsConfiguration) {
  auto answered = [](ExtRig& rig, LoaderFamily loader, uint32_t bytes) {
    ExtEepromContext ctx = rig.Context();
    image::MemoryImage image = Pattern(bytes);
    ReadEepromExt(ctx, loader, bytes, image);
    return std::none_of(rig.op.lines.begin(), rig.op.lines.end(),
                        [](const std::string& line) { return line.ends_with("ATR ERROR"); });
  };
  ExtRig foreign(sim::CardType::FunCard, sim::LoaderFamily::Pic16F876, 8192);
  EXPECT_FALSE(answered(foreign, LoaderFamily::Pic16F876, 8192));

  ExtRig wafer(LoaderFamily::Pic16F84, 2048);
  EXPECT_TRUE(answered(wafer, LoaderFamily::Pic16F84, 2048));
  ExtRig rc(LoaderFamily::Pic16F84, 2048);
  for (const sim::MemoryRegion& region : rc.sim->Card().Chip().Regions()) {
    if (region.name == "config") region.bytes[14] = 0x3B;  // FOSC 11: RC
  }
  EXPECT_FALSE(answered(rc, LoaderFamily::Pic16F84, 2048));
}

// What closes a read block: an ISO 7816 error or a PIC16F876 check byte that does not fit the
// data ends the read and the verify with the address and the bytes, and leaves the image; a
// loader of another convention is read on, said once to be unchecked.
TEST(EepromExtFailure, ReadRepliesAreCheckedByTheLoadersConvention) {
  struct Case {
    LoaderFamily loader;
    sim::ReadReplies replies;
    const char* error;  // the red line after the prefix; empty: none
    const char* note;   // a black line that must be there; empty: none
  };
  const std::vector<Case> cases{
      {LoaderFamily::Avr, sim::ReadReplies::MemoryFailure,
       " EEPROM EXT : ERROR ADR[0000] - the card answered 65 81 (memory failure: its 24Cxx did "
       "not answer)",
       ""},
      {LoaderFamily::Pic16F84, sim::ReadReplies::MemoryFailure,
       " EEPROM EXT : ERROR ADR[0000] - the card answered 65 81", ""},
      {LoaderFamily::Pic16F876, sim::ReadReplies::BadCheck,
       " EEPROM EXT : ERROR ADR[0020] - check byte ", ""},
      {LoaderFamily::Avr, sim::ReadReplies::Foreign, "",
       " EEPROM EXT : the loader closes its blocks with 00 00, no ISO 7816 status: its replies "
       "are not checked"},
      {LoaderFamily::Pic16F876, sim::ReadReplies::Foreign, "", "no check byte"},
      {LoaderFamily::Pic16F84, sim::ReadReplies::Normal, "", ""},
  };
  for (const Case& c : cases) {
    for (const bool verify : {false, true}) {
      SCOPED_TRACE(::testing::Message() << Prefix(c.loader) << " " << static_cast<int>(c.replies)
                                        << (verify ? " verify" : " read"));
      sim::SimFaults faults;
      faults.phoenix.readReplies = c.replies;
      ExtRig rig(c.loader, SizeOf(c.loader), faults);
      const image::MemoryImage pattern = Pattern(SizeOf(c.loader));
      std::copy(pattern.Bytes().begin(), pattern.Bytes().end(), rig.Eeprom().begin());
      ExtEepromContext ctx = rig.Context();
      image::MemoryImage image = verify ? pattern : Pattern(SizeOf(c.loader), 7);
      const image::MemoryImage before = image;
      if (verify) {
        VerifyEepromExt(ctx, c.loader, SizeOf(c.loader), image);
      } else {
        ReadEepromExt(ctx, c.loader, SizeOf(c.loader), image);
      }
      const std::vector<std::string> errors = rig.Errors();
      if (*c.error) {
        ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
        EXPECT_NE(errors[0].find(c.error), std::string::npos) << errors[0];
        EXPECT_EQ(image, before) << "the image is left as it was";
        EXPECT_EQ(rig.errorFlag, 1);
      } else {
        EXPECT_EQ(errors, Texts{});
        EXPECT_EQ(image, verify ? before : pattern);
      }
      const auto notes = std::count_if(rig.op.lines.begin(), rig.op.lines.end(), [&](auto& l) {
        return *c.note && l.find(c.note) != std::string::npos;
      });
      EXPECT_EQ(notes, *c.note ? 1 : 0) << "said once";
    }
  }
}

}  // namespace
}  // namespace vexilo::extee::testing
