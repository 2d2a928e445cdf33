// Reading and verifying program memory and EEPROM, one word or byte per instruction pair.
#include <vector>

#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "avr/operation_log.h"
#include "avr/spi_transport.h"

namespace vexilo::avr {
namespace {

constexpr unsigned kVerifyPauseMs = 50;

bool EepromByteMatches(port::PortSession& session, uint32_t address, uint16_t expected) {
  return SpiAddressed(session, spi::kReadEeprom, address, 0x00) == expected;
}

// A read queued: `cell` is filled in once the session has made it.
void QueueEepromByte(port::PortSession& session, uint32_t address, uint16_t& cell) {
  QueueSpiAddressed(session, spi::kReadEeprom, address, 0x00,
                    [&cell](uint8_t value) { cell = value; });
}

// What one memory of a chip is to the read and verify routines.
struct MemoryAccess {
  const char* name;  // as the log lines call it
  image::ImageKind kind;
  uint32_t cells;
  uint16_t blank;
  bool (*matches)(port::PortSession&, uint32_t, uint16_t);
  void (*queue)(port::PortSession&, uint32_t, uint16_t&);
};

// Reads cells from `first` on, as many as the session packs into one transfer (one where it
// makes each instruction at once); returns the end of what was read.
uint32_t ReadBatch(port::PortSession& session, const MemoryAccess& memory, uint32_t first,
                   std::vector<uint16_t>& cells) {
  uint32_t next = first;
  do {
    memory.queue(session, next, cells[next]);
    ++next;
  } while (next < memory.cells && !session.BatchFull());
  session.Flush();
  return next;
}

MemoryAccess Flash(AvrChip chip) {
  return {"FLASH",    image::ImageKind::AvrFlash, ChipRow(chip).flashWords,
          kBlankWord, FlashWordMatches,           QueueReadFlashWord};
}

MemoryAccess Eeprom(AvrChip chip) {
  return {"EEPROM INT", image::ImageKind::Eeprom, ChipRow(chip).eepromBytes,
          kBlankByte,   EepromByteMatches,        QueueEepromByte};
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
    for (uint32_t i = 0; i < memory.cells;) {
      if (log.StopRequested()) {
        complete = false;
        break;
      }
      for (const uint32_t end = ReadBatch(ctx.session, memory, i, cells); i < end; ++i) {
        log.ShowAddress(i);
        ctx.op.SetProgress(i + 1, memory.cells);
      }
    }
    // A line call that failed on the last cells leaves them unread, too.
    if (complete && log.PortFailed()) complete = false;
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
    // Where the session packs instructions, cells are read ahead in batches and compared in
    // order; elsewhere each is read and compared before the next is asked for.
    const bool batches = ctx.session.Batches();
    std::vector<uint16_t> read(batches ? memory.cells : 0);
    uint32_t readTo = 0;
    for (uint32_t i = 0; i < memory.cells; ++i) {
      if (log.StopRequested()) {
        same = false;
        break;
      }
      if (batches && i == readTo) readTo = ReadBatch(ctx.session, memory, i, read);
      const uint16_t expected = i < image.Cells() ? image.Cell(i) : memory.blank;
      if (batches ? read[i] != expected : !memory.matches(ctx.session, i, expected)) {
        log.DifferenceAt(i, clearsFlag);
        same = false;
        break;
      }
      log.ShowAddress(i);
      ctx.op.SetProgress(i + 1, memory.cells);
    }
    if (same && log.PortFailed()) same = false;
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
