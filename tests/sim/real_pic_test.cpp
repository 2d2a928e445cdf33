// The PIC chip model behind the adapter, driven through the UART registers.
#include <gtest/gtest.h>

#include "sim/line_driver.h"
#include "sim/pic/pic_chip.h"

namespace vexilo::sim {
namespace {

TEST(RealPicBehindAdapter, WordWrittenThroughTheUartReadsBack) {
  SimOptions options;
  options.mode = AdapterMode::Pic;
  auto card =
      std::make_unique<SimCard>(CardType::WaferCard, 0, MakePicChip(PicModel::PIC16F84), nullptr);
  SimBackend backend(options, std::move(card));
  testing::LineDriver line(backend);
  line.Open();

  line.SetMclr(true);
  line.PicCommand(4);
  EXPECT_EQ(line.PicRead(), 0x3FFF) << "erased program memory";
  line.PicCommand(2);
  line.PicWrite(0x2ABC);
  line.PicCommand(8);
  line.SleepMs(20);
  line.PicCommand(4);
  EXPECT_EQ(line.PicRead(), 0x2ABC);
  line.SetMclr(false);

  const auto memory = backend.Card().Chip().ProgramMemory();
  EXPECT_EQ(memory[0], 0xBC);
  EXPECT_EQ(memory[1], 0x2A);
}

TEST(RealPicBehindAdapter, ChipIsDeafInAvrMode) {
  SimOptions options;
  options.mode = AdapterMode::Avr;
  auto card =
      std::make_unique<SimCard>(CardType::WaferCard, 0, MakePicChip(PicModel::PIC16F84), nullptr);
  SimBackend backend(options, std::move(card));
  testing::LineDriver line(backend);
  line.Open();
  // No break: the RESET line is high, which is no programming voltage for a PIC.
  line.SetMclr(false);
  line.PicCommand(2);
  line.PicWrite(0x0000);
  line.PicCommand(8);
  line.SleepMs(20);
  line.SetMclr(true);
  line.SetMclr(false);
  EXPECT_EQ(backend.Card().Chip().ProgramMemory()[0], 0xFF);
}

}  // namespace
}  // namespace vexilo::sim
