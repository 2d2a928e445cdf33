#include "pic/pic_operations.h"

#include <vector>

#include "image/hex_to_int.h"

namespace vexilo::pic {
namespace {

constexpr unsigned kStartPauseMs = 50;
constexpr unsigned kF876PauseMs = 200;
constexpr uint16_t kErasedWord = 0x3FFF;

// What one memory of a chip is to the transfers.
struct Memory {
  const char* name;  // as the log lines call it
  image::ImageKind kind;
  uint32_t cells;
  uint8_t loadCommand;
  uint8_t readCommand;
  uint16_t readMask;     // program words are 14 bits, EEPROM bytes the frame's low 8 bits
  uint16_t compareMask;  // what of a cell the write check compares
};

Memory FlashOf(PicChip chip) {
  return {"FLASH",
          image::ImageKind::PicFlash,
          PicRow(chip).flashWords,
          cmd::kLoadProgram,
          cmd::kReadProgram,
          0x3FFF,
          0xFFFF};
}

Memory EepromOf(PicChip chip) {
  return {"EEPROM INT",   image::ImageKind::Eeprom, PicRow(chip).eepromBytes,
          cmd::kLoadData, cmd::kReadData,           0x00FF,
          0x00FF};
}

std::string Name(const char* verb, const Memory& memory) {
  return std::string("PIC ") + verb + " " + memory.name;
}

// A cell the image does not have (a smaller image than the chip) counts as erased.
uint16_t CellOr(const image::MemoryImage& image, uint32_t index, uint16_t blank) {
  return index < image.Cells() ? image.Cell(index) : blank;
}

uint16_t ReadCell(port::PortSession& s, const Memory& memory) {
  PicCommand(s, memory.readCommand);
  return static_cast<uint16_t>(PicReadData(s) & memory.readMask);
}

// Queues reads of the cells from `address` on, each followed by an increment, as many as the
// session packs into one transfer (one where it makes each at once); returns the end.
uint32_t ReadBatch(port::PortSession& s, const Memory& memory, uint32_t address,
                   std::vector<uint16_t>& cells) {
  do {
    uint16_t& cell = cells[address];
    QueuePicRead(s, memory.readCommand,
                 [&cell, &memory](uint16_t frame) { cell = frame & memory.readMask; });
    PicCommand(s, cmd::kIncrementAddress);
    ++address;
  } while (address < memory.cells && !s.BatchFull());
  s.Flush();
  return address;
}

void ReadMemory(PicContext& ctx, const Memory& memory, image::MemoryImage& image, bool endsWithOk) {
  port::OperationLog log(ctx, Name("READ", memory));
  log.Line("START");
  if (!log.PortUsable()) return log.Line("STOP");
  port::PortSession& s = ctx.session;
  s.Time().SleepMs(kStartPauseMs);
  s.SetMCLR(1);
  ctx.op.SetProgress(0, memory.cells);
  std::vector<uint16_t> cells(memory.cells);
  bool complete = true;
  for (uint32_t address = 0; address < memory.cells;) {
    if (log.StopRequested()) {
      complete = false;
      break;
    }
    for (const uint32_t end = ReadBatch(s, memory, address, cells); address < end; ++address) {
      log.ShowAddress(address);
      ctx.op.SetProgress(address + 1, memory.cells);
    }
  }
  // A line call that failed on the last cells leaves them unread, too.
  if (complete && log.PortFailed()) complete = false;
  s.SetMCLR(0);
  if (complete) {
    image::MemoryImage read(memory.kind, memory.cells);
    for (uint32_t i = 0; i < memory.cells; ++i) read.SetCell(i, cells[i]);
    image = std::move(read);
  }
  log.Line(complete && endsWithOk ? "OK" : "STOP");
}

void VerifyMemory(PicContext& ctx, const Memory& memory, const image::MemoryImage& image,
                  unsigned pauseMs, uint16_t blank) {
  port::OperationLog log(ctx, Name("VERYFI", memory));
  log.Line("START");
  if (!log.PortUsable()) return log.Line("STOP");
  port::PortSession& s = ctx.session;
  s.Time().SleepMs(pauseMs);
  s.SetMCLR(1);
  ctx.op.SetProgress(0, memory.cells);
  ctx.errorFlag = 0;
  // Where the session packs commands, cells are read ahead in batches and compared in order.
  const bool batches = s.Batches();
  std::vector<uint16_t> read(batches ? memory.cells : 0);
  uint32_t readTo = 0;
  bool ended = false;
  for (uint32_t address = 0; address < memory.cells; ++address) {
    if (log.StopRequested()) {
      ended = true;
      break;
    }
    if (batches && address == readTo) readTo = ReadBatch(s, memory, address, read);
    const uint16_t got = batches ? read[address] : ReadCell(s, memory);
    if (got != CellOr(image, address, blank)) {
      log.DifferenceAt(address, true);
      ended = true;
      break;
    }
    log.ShowAddress(address);
    ctx.op.SetProgress(address + 1, memory.cells);
    if (!batches) PicCommand(s, cmd::kIncrementAddress);
  }
  if (!ended) log.PortFailed();
  s.SetMCLR(0);
  if (ctx.errorFlag == 0) log.Line("OK");
  log.Line("STOP");
}

// How a write reports its progress and where it ends.
struct WritePlan {
  uint32_t length;          // cells written from address 0
  bool progressPerRow;      // FLASH: after every row of 8 words; EEPROM: every byte
  bool incrementAfterLast;  // the PIC16F876 FLASH write sends no increment after its last word
};

// One cell at the address counter: programmed, or only read where it is to stay erased.
uint16_t ProgramCell(port::PortSession& s, const Memory& memory, uint16_t value,
                     const CellCycle& cycle) {
  const uint16_t erased = memory.readMask;  // all bits that are read back set
  if (cycle.erasedOnlyRead && (value & memory.compareMask) == erased) {
    PicCommand(s, memory.readCommand);
    return PicReadData(s);
  }
  return ProgramAndReadBack(s, memory.loadCommand, value, memory.readCommand, cycle.pauseMs,
                            cycle.begin);
}

// Load, program, wait, read back and compare each cell; the first difference ends the write.
void WriteCells(PicContext& ctx, port::OperationLog& log, const Memory& memory,
                const image::MemoryImage& image, const WritePlan& plan, const CellCycle& cycle) {
  port::PortSession& s = ctx.session;
  ctx.errorFlag = 0;
  uint32_t written = 0;
  for (uint32_t address = 0; address < plan.length; ++address) {
    if (log.StopRequested()) break;
    if (!plan.progressPerRow) {
      log.ShowAddress(address);
      ctx.op.SetProgress(address + 1, plan.length);
    }
    const uint16_t value = CellOr(image, address, kErasedWord);
    const uint16_t back = ProgramCell(s, memory, value, cycle) & memory.readMask;
    if ((back & memory.compareMask) != (value & memory.compareMask)) {
      log.DifferenceAt(address, true);
      break;
    }
    written = address + 1;
    if (plan.incrementAfterLast || written < plan.length) {
      PicCommand(s, cmd::kIncrementAddress);
    }
    if (plan.progressPerRow && (written % 8 == 0 || written == plan.length)) {
      log.ShowAddress(address);
      ctx.op.SetProgress(written, plan.length);
    }
  }
  if (plan.progressPerRow && written % 8 != 0 && written != plan.length && written > 0) {
    log.ShowAddress(written - 1);
    ctx.op.SetProgress(written, plan.length);
  }
}

// The PIC16F876 FLASH write stops after the last word that is not erased.
uint32_t UsedLength(const image::MemoryImage& flash, uint32_t words) {
  uint32_t length = words;
  while (length > 0 && CellOr(flash, length - 1, kErasedWord) == kErasedWord) --length;
  return length;
}

}  // namespace

void ReadFlash(PicContext& ctx, PicChip chip, image::MemoryImage& flash) {
  ReadMemory(ctx, FlashOf(chip), flash, false);
}

void ReadEepromInt(PicContext& ctx, PicChip chip, image::MemoryImage& eeprom) {
  // The PIC16F876 read ends with its OK line and writes no STOP line.
  ReadMemory(ctx, EepromOf(chip), eeprom, chip == PicChip::PIC16F876);
}

void VerifyFlash(PicContext& ctx, PicChip chip, const image::MemoryImage& flash) {
  VerifyMemory(ctx, FlashOf(chip), flash, 0, kErasedWord);
}

void VerifyEepromInt(PicContext& ctx, PicChip chip, const image::MemoryImage& eeprom) {
  VerifyMemory(ctx, EepromOf(chip), eeprom, kStartPauseMs, 0xFF);
}

void WriteFlash(PicContext& ctx, PicChip chip, const image::MemoryImage& flash,
                const std::string& picDelay, WriteCycle cycle) {
  const Memory memory = FlashOf(chip);
  port::OperationLog log(ctx, Name("WRITE", memory));
  port::PortSession& s = ctx.session;
  WritePlan plan{memory.cells, true, true};
  if (chip == PicChip::PIC16F876) {
    s.Time().SleepMs(kF876PauseMs);
    plan = {UsedLength(flash, memory.cells), true, false};
  }
  const uint8_t delayMs = image::DecimalToByte(picDelay);
  log.Line("START");
  if (plan.length == 0) {
    // Nothing to program: no programming mode; the error flag is left as it was.
    if (ctx.errorFlag == 0) log.Line("OK");
    return log.Line("STOP");
  }
  if (!log.PortUsable()) return log.Line("STOP");
  if (chip == PicChip::PIC16F876) log.Length(plan.length, "LEN ");
  s.SetMCLR(1);
  ctx.op.SetProgress(0, plan.length);
  WriteCells(ctx, log, memory, flash, plan, CellCycleFor(chip, cycle, delayMs));
  s.SetMCLR(0);
  if (ctx.errorFlag == 0) log.Line("OK");
  log.Line("STOP");
}

void WriteEepromInt(PicContext& ctx, PicChip chip, const image::MemoryImage& eeprom,
                    const std::string& picDelay) {
  const Memory memory = EepromOf(chip);
  port::OperationLog log(ctx, Name("WRITE", memory));
  port::PortSession& s = ctx.session;
  const uint8_t delayMs = image::DecimalToByte(picDelay);
  log.Line("START");
  if (!log.PortUsable()) return log.Line("STOP");
  if (chip == PicChip::PIC16F84) {
    s.Time().SleepMs(kStartPauseMs);
    ctx.op.SetProgress(0, memory.cells);
    s.Time().SleepMs(kStartPauseMs);
    s.SetMCLR(1);
  } else {
    ctx.op.SetProgress(0, memory.cells);
    s.SetMCLR(1);
    s.Time().SleepMs(kF876PauseMs);
  }
  WriteCells(ctx, log, memory, eeprom, {memory.cells, false, true},
             CellCycleFor(chip, WriteCycle::EraseAndProgram, delayMs));
  s.SetMCLR(0);
  if (ctx.errorFlag == 0) log.Line("OK");
  log.Line("STOP");
}

CellCycle CellCycleFor(PicChip chip, WriteCycle cycle, uint8_t delayMs) {
  const uint8_t programOnlyMs = PicRow(chip).programOnlyMs;
  if (cycle == WriteCycle::AfterBulkErase && programOnlyMs > 0) {
    return {cmd::kBeginProgrammingOnly, programOnlyMs, true};
  }
  return {cmd::kBeginProgramming, delayMs, false};
}

bool HasProgramOnlyCycle(PicChip chip) { return PicRow(chip).programOnlyMs > 0; }

uint64_t EraseProgramFlashWriteUs(PicChip chip, const image::MemoryImage& flash,
                                  const std::string& picDelay) {
  uint64_t delayUs = 0;
  try {
    delayUs = uint64_t{image::DecimalToByte(picDelay)} * 1000;
  } catch (const image::ConversionError&) {
    return 0;
  }
  const uint32_t words = PicRow(chip).flashWords;
  const uint32_t length = chip == PicChip::PIC16F876 ? UsedLength(flash, words) : words;
  // Per word: load, data, begin, read, data, increment, six port writes a clock, and a CTS read
  // per data bit read.
  constexpr uint64_t kClocks = 6 + 16 + 6 + 6 + 16 + 6;
  constexpr uint64_t kAccessesPerWord = 6 * kClocks + 14;
  return length * (delayUs + kAccessesPerWord);
}

void WriteConfigWord(PicContext& ctx, PicChip chip, uint16_t word, const std::string& picDelay) {
  port::OperationLog log(ctx, "PIC WRITE CONFIG BIT");
  port::PortSession& s = ctx.session;
  const uint8_t delayMs = image::DecimalToByte(picDelay);
  log.Line("START");
  if (!log.PortUsable()) return log.Line("STOP");
  s.Time().SleepMs(kStartPauseMs);
  ctx.op.Log(PicRow(chip).configLabel + image::ToHex(word, 4));
  s.SetMCLR(1);
  ProgramConfigWord(s, word, delayMs);
  // The address counter is still at the configuration word: read it back.
  PicCommand(s, cmd::kReadProgram);
  const uint16_t back = PicReadData(s) & kErasedWord;
  s.SetMCLR(0);
  if (!log.PortFailed() && back != (word & kErasedWord)) {
    ctx.errorFlag = 1;
    ctx.op.LogError("PIC WRITE CONFIG BIT : ERROR");
  }
  log.Line("STOP");
}

std::optional<uint16_t> ReadConfigWord(PicContext& ctx, PicChip chip, uint16_t loadWord) {
  port::OperationLog log(ctx, "PIC READ CONFIG BIT");
  port::PortSession& s = ctx.session;
  log.Line("START");
  if (!log.PortUsable()) {
    log.Line("STOP");
    return std::nullopt;
  }
  s.Time().SleepMs(kStartPauseMs);
  s.SetMCLR(1);
  LoadConfigWord(s, loadWord);
  PicCommand(s, cmd::kReadProgram);
  const uint16_t value = PicReadData(s);
  s.SetMCLR(0);
  ctx.op.Log(PicRow(chip).configLabel + image::ToHex(value, 4));
  log.Line("STOP");
  return value;
}

void Erase(PicContext& ctx, PicChip chip) {
  if (chip == PicChip::PIC16F84) {
    PicEraseF84(ctx);
  } else {
    PicEraseF876(ctx);
  }
}

}  // namespace vexilo::pic
