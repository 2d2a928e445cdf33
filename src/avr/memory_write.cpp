// Writing program memory and EEPROM word by word, each word read back before the next.
#include <algorithm>
#include <vector>

#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "avr/fast_write.h"
#include "avr/operation_log.h"
#include "avr/spi_transport.h"
#include "image/hex_to_int.h"

namespace vexilo::avr {
namespace {

constexpr unsigned kEepromStartPauseMs = 50;
constexpr unsigned kEepromLengthPauseMs = 50;
constexpr uint32_t kWordsPerRow = 8;
// Line accesses of one instruction: 32 bits of four accesses each.
constexpr uint64_t kInstructionAccesses = 128;

// Trailing blank cells are not written: the length runs up to the last programmed cell.
uint32_t ImageLength(const image::MemoryImage& image, uint32_t chipCells, uint16_t blank) {
  uint32_t length = std::min(image.Cells(), chipCells);
  while (length > 0 && image.Cell(length - 1) == blank) --length;
  return length;
}

void WriteFlashWord(port::PortSession& session, FlashWriteMethod method, uint32_t word,
                    uint16_t value, uint8_t delayMs) {
  const auto low = static_cast<uint8_t>(value);
  const auto high = static_cast<uint8_t>(value >> 8);
  port::Clock& clock = session.Time();
  QueueSpiAddressed(session, spi::kLoadFlashLow, word, low);
  if (method == FlashWriteMethod::ByteByByte) clock.SleepMs(delayMs);
  QueueSpiAddressed(session, spi::kLoadFlashHigh, word, high);
  // The page buffer holds this one word; the rest of the page stays 0xFF, which leaves the
  // words already programmed as they are.
  if (method == FlashWriteMethod::PagePerWord) {
    QueueSpiAddressed(session, spi::kWriteFlashPage, word, 0xFF);
  }
  clock.SleepMs(delayMs);
}

void WriteWordsWithFixedDelay(AvrContext& ctx, const AvrChipRow& row,
                              const image::MemoryImage& flash, uint32_t length, uint8_t delayMs,
                              OperationLog& log) {
  for (uint32_t word = 0; word < length; ++word) {
    if (log.StopRequested()) break;
    const uint16_t value = flash.Cell(word);
    WriteFlashWord(ctx.session, row.flashWrite, word, value, delayMs);
    const bool same = FlashWordMatches(ctx.session, word, value);
    if (!same || (word + 1) % kWordsPerRow == 0 || word + 1 == length) {
      log.ShowAddress(word);
      ctx.op.SetProgress(word + 1, length);
    }
    if (!same) {
      log.DifferenceAt(word, true);
      break;
    }
  }
}

}  // namespace

uint32_t WriteFlash(AvrContext& ctx, AvrChip chip, const image::MemoryImage& flash,
                    const std::string& avrDelay, WriteWait wait) {
  const AvrChipRow& row = ChipRow(chip);
  const uint8_t delayMs = FlashWriteDelayMs(row, image::DecimalToByte(avrDelay));
  OperationLog log(ctx, "WRITE", "FLASH");
  log.Line("START");
  const uint32_t length = ImageLength(flash, row.flashWords, kBlankWord);
  ctx.errorFlag = 0;
  if (length == 0) return 0;
  log.Length(length);
  if (log.PortUsable()) {
    ctx.op.SetProgress(0, length);
    if (wait == WriteWait::Polling) {
      std::vector<uint16_t> words(length);
      for (uint32_t word = 0; word < length; ++word) words[word] = flash.Cell(word);
      WriteFlashFast(ctx, chip, words, delayMs, log, log);
    } else {
      WriteWordsWithFixedDelay(ctx, row, flash, length, delayMs, log);
    }
    if (ctx.errorFlag == 0) log.Line("OK");
  }
  log.Line("STOP");
  return length;
}

uint64_t FixedDelayFlashWriteUs(AvrChip chip, const image::MemoryImage& flash,
                                const std::string& avrDelay) {
  const AvrChipRow& row = ChipRow(chip);
  uint64_t delayUs = 0;
  try {
    delayUs = uint64_t{FlashWriteDelayMs(row, image::DecimalToByte(avrDelay))} * 1000;
  } catch (const image::ConversionError&) {
    return 0;
  }
  // Per word: the two byte writes with a delay each (AT90S) or the page write and one delay
  // (ATmega), and the two reads back.
  const bool bytewise = row.flashWrite == FlashWriteMethod::ByteByByte;
  const uint64_t perWord =
      (bytewise ? 2 * delayUs : delayUs) + (bytewise ? 4 : 5) * kInstructionAccesses;
  return perWord * ImageLength(flash, row.flashWords, kBlankWord);
}

uint32_t WriteEepromInt(AvrContext& ctx, AvrChip chip, const image::MemoryImage& eeprom,
                        const std::string& avrDelay, WriteWait wait) {
  const AvrChipRow& row = ChipRow(chip);
  const uint8_t setDelayMs = image::DecimalToByte(avrDelay);
  // The floor is for the fixed delay; a poll ends when the chip is done.
  const uint8_t delayMs =
      std::max<uint8_t>(setDelayMs, static_cast<uint8_t>(row.eepromDelayFloorMs));
  port::Clock& clock = ctx.session.Time();
  OperationLog log(ctx, "WRITE", "EEPROM INT");
  log.Line("START");
  clock.SleepMs(kEepromStartPauseMs);
  const uint32_t length = ImageLength(eeprom, row.eepromBytes, kBlankByte);
  ctx.errorFlag = 0;
  if (length > 0) {
    log.Length(length);
    if (log.PortUsable()) {
      ctx.op.SetProgress(0, length);
      clock.SleepMs(kEepromLengthPauseMs);
      for (uint32_t address = 0; address < length; ++address) {
        if (log.StopRequested()) break;
        log.ShowAddress(address);
        ctx.op.SetProgress(address + 1, length);
        const auto value = static_cast<uint8_t>(eeprom.Cell(address));
        bool same = false;
        if (wait == WriteWait::Polling) {
          same = WriteEepromByteFast(ctx.session, row, address, value, setDelayMs, delayMs);
        } else {
          QueueSpiAddressed(ctx.session, spi::kWriteEeprom, address, value);
          clock.SleepMs(delayMs);
          same = SpiAddressed(ctx.session, spi::kReadEeprom, address, 0x00) == value;
        }
        if (!same) {
          log.DifferenceAt(address, true);
          break;
        }
      }
      if (ctx.errorFlag == 0) log.Line("OK");
    }
  }
  log.Line("STOP");
  return length;
}

}  // namespace vexilo::avr
