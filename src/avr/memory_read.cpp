// Reading and verifying program memory and EEPROM, one word or byte per instruction pair.
#include <vector>

#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "avr/operation_log.h"
#include "avr/spi_transport.h"

namespace vexilo::avr {
namespace {

constexpr unsigned kVerifyPauseMs = 50;

uint16_t ReadFlashWord(port::PortSession& session, uint32_t word) {
  const uint8_t low = SpiAddressed(session, spi::kReadFlashLow, word, 0x00);
  const uint8_t high = SpiAddressed(session, spi::kReadFlashHigh, word, 0x00);
  return static_cast<uint16_t>(low | high << 8);
}

uint16_t ReadEepromByte(port::PortSession& session, uint32_t address) {
  return SpiAddressed(session, spi::kReadEeprom, address, 0x00);
}

bool EepromByteMatches(port::PortSession& session, uint32_t address, uint16_t expected) {
  return SpiAddressed(session, spi::kReadEeprom, address, 0x00) == expected;
}

// What one memory of a chip is to the read and verify routines.
struct MemoryAccess {
  const char* name;  // as the log lines call it
  image::ImageKind kind;
  uint32_t cells;
  uint16_t blank;
  uint16_t (*read)(port::PortSession&, uint32_t);
  bool (*matches)(port::PortSession&, uint32_t, uint16_t);
};

MemoryAccess Flash(AvrChip chip) {
  return {"FLASH",
          image::ImageKind::AvrFlash,
          ChipRow(chip).flashWords,
          kBlankWord,
          ReadFlashWord,
          FlashWordMatches};
}

MemoryAccess Eeprom(AvrChip chip) {
  return {"EEPROM INT", image::ImageKind::Eeprom, ChipRow(chip).eepromBytes,
          kBlankByte,   ReadEepromByte,           EepromByteMatches};
}

// The image is replaced only once every cell is in; a stopped read leaves it as it was.
void ReadMemory(AvrContext& ctx, const MemoryAccess& memory, unsigned pauseMs,
                image::MemoryImage& image) {
  OperationLog log(ctx, "READ", memory.name);
  log.Line("START");
  if (log.PortUsable()) {
    ctx.session.Time().SleepMs(pauseMs);
    ctx.op.SetProgress(0, memory.cells);
    std::vector<uint16_t> cells(memory.cells);
    bool complete = true;
    for (uint32_t i = 0; i < memory.cells; ++i) {
      if (log.StopRequested()) {
        complete = false;
        break;
      }
      cells[i] = memory.read(ctx.session, i);
      log.ShowAddress(i);
      ctx.op.SetProgress(i + 1, memory.cells);
    }
    if (complete) {
      image::MemoryImage read(memory.kind, memory.cells);
      for (uint32_t i = 0; i < memory.cells; ++i) read.SetCell(i, cells[i]);
      image = std::move(read);
    }
  }
  log.Line("STOP");
}

// Compares the chip's whole memory with the image; cells the image lacks count as blank.
void VerifyMemory(AvrContext& ctx, const MemoryAccess& memory, bool clearsFlag,
                  const image::MemoryImage& image) {
  OperationLog log(ctx, "VERYFI", memory.name);
  log.Line("START");
  if (log.PortUsable()) {
    ctx.session.Time().SleepMs(kVerifyPauseMs);
    ctx.op.SetProgress(0, memory.cells);
    if (clearsFlag) ctx.errorFlag = 0;
    bool same = true;
    for (uint32_t i = 0; i < memory.cells; ++i) {
      if (log.StopRequested()) {
        same = false;
        break;
      }
      const uint16_t expected = i < image.Cells() ? image.Cell(i) : memory.blank;
      if (!memory.matches(ctx.session, i, expected)) {
        log.DifferenceAt(i, clearsFlag);
        same = false;
        break;
      }
      log.ShowAddress(i);
      ctx.op.SetProgress(i + 1, memory.cells);
    }
    if (same) log.Line("OK");
  }
  log.Line("STOP");
}

}  // namespace

void ReadFlash(AvrContext& ctx, AvrChip chip, image::MemoryImage& flash) {
  ReadMemory(ctx, Flash(chip), ChipRow(chip).flashReadPauseMs, flash);
}

void ReadEepromInt(AvrContext& ctx, AvrChip chip, image::MemoryImage& eeprom) {
  ReadMemory(ctx, Eeprom(chip), ChipRow(chip).eepromReadPauseMs, eeprom);
}

// A FLASH verify starts by clearing the error flag and sets it at a difference.
void VerifyFlash(AvrContext& ctx, AvrChip chip, const image::MemoryImage& flash) {
  VerifyMemory(ctx, Flash(chip), true, flash);
}

// An EEPROM verify reports a difference by its red line only; the error flag stays as it is.
void VerifyEepromInt(AvrContext& ctx, AvrChip chip, const image::MemoryImage& eeprom) {
  VerifyMemory(ctx, Eeprom(chip), false, eeprom);
}

}  // namespace vexilo::avr
