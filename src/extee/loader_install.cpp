#include "extee/loader_install.h"

#include <sstream>

#include "avr/fast_write.h"
#include "avr/spi_transport.h"
#include "image/hex_to_int.h"
#include "image/intel_hex.h"
#include "pic/pic_transport.h"

namespace vexilo::extee {
namespace {

constexpr uint32_t kAvrLoaderBytes = 0x2000;
constexpr uint32_t kAvrLoaderWords = 991;
constexpr uint32_t kPicEepromAddress = 0x4200;
constexpr uint32_t kF84LoaderWords = 1024;
constexpr uint32_t kF84LoaderEeprom = 64;
constexpr uint32_t kF876LoaderWords = 576;
constexpr uint16_t kF84LoaderConfig = 0x3FF9;
constexpr uint16_t kF876LoaderConfig = 0x3F39;
constexpr unsigned kConfigPauseMs = 100;
constexpr uint16_t kPicErasedWord = 0x3FFF;

uint32_t ProgramLimit(LoaderFamily kind) {
  switch (kind) {
    case LoaderFamily::Avr:
      return kAvrLoaderBytes;
    case LoaderFamily::Pic16F84:
      return 0x0800;
    case LoaderFamily::Pic16F876:
      return 0x4000;
  }
  return 0;
}

LoaderImage ErasedImage(LoaderFamily kind) {
  LoaderImage image;
  image.program.assign(ProgramLimit(kind), 0xFF);
  if (kind != LoaderFamily::Avr) {
    // The PIC's erased word 0x3FFF: low byte 0xFF, high byte 0x3F.
    for (size_t i = 1; i < image.program.size(); i += 2) image.program[i] = 0x3F;
  }
  if (kind == LoaderFamily::Pic16F84) image.eeprom.assign(kF84LoaderEeprom, 0xFF);
  return image;
}

}  // namespace

std::string LoaderFileName(LoaderFamily kind) {
  switch (kind) {
    case LoaderFamily::Avr:
      return "loader/loader_at90s8515.hex";
    case LoaderFamily::Pic16F84:
      return "loader/loader_pic16f84.hex";
    case LoaderFamily::Pic16F876:
      return "loader/loader_pic16f876.hex";
  }
  return {};
}

LoaderImage ParseLoaderHex(LoaderFamily kind, std::string_view text, const std::string& fileName) {
  LoaderImage image = ErasedImage(kind);
  const uint32_t limit = ProgramLimit(kind);
  std::istringstream lines{std::string(text)};
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    const std::string where = fileName + ":" + std::to_string(number) + ": ";
    image::HexRecord record;
    try {
      record = image::ParseHexRecord(line);
    } catch (const std::exception& e) {
      throw LoaderFileError(where + e.what());
    }
    if (record.type == 0x01) break;
    if (record.type != 0x00) {
      throw LoaderFileError(where + "record type " + image::ToHex(record.type, 2) +
                            ": a loader file holds data records only");
    }
    const uint32_t address = record.address;
    if (kind == LoaderFamily::Avr && address >= limit) break;
    for (size_t i = 0; i < record.data.size(); ++i) {
      const uint32_t at = address + static_cast<uint32_t>(i);
      if (at < limit) {
        image.program[at] = record.data[i];
      } else if (at >= kPicEepromAddress && (at - kPicEepromAddress) % 2 == 0) {
        const uint32_t e = (at - kPicEepromAddress) / 2;
        if (e < image.eeprom.size()) image.eeprom[e] = record.data[i];
      }
    }
  }
  return image;
}

LoaderImage ReadLoaderFile(LoaderFamily kind, const std::string& path) {
  std::string text;
  try {
    text = image::ReadWholeFile(path);
  } catch (const image::FileError& e) {
    throw LoaderFileError(std::string("cannot read the card loader: ") + e.what());
  }
  return ParseLoaderHex(kind, text, path);
}

namespace {

uint16_t LoaderWord(const LoaderImage& loader, uint32_t word) {
  return static_cast<uint16_t>(loader.program[2 * word + 1] << 8 | loader.program[2 * word]);
}

// Word by word, each followed by the write delay and read back.
void WriteAvrLoaderWords(port::OperationContext& ctx, avr::AvrChip routine,
                         const LoaderImage& loader, uint8_t delayMs, port::OperationLog& log,
                         port::OperationLog& flashLog) {
  port::PortSession& s = ctx.session;
  const bool byteWise = routine == avr::AvrChip::AT90S8515;
  for (uint32_t word = 0; word < kAvrLoaderWords; ++word) {
    if (log.StopRequested()) break;
    const uint8_t low = loader.program[2 * word];
    const uint8_t high = loader.program[2 * word + 1];
    avr::SpiAddressed(s, avr::spi::kLoadFlashLow, word, low);
    if (byteWise) s.Time().SleepMs(delayMs);
    avr::SpiAddressed(s, avr::spi::kLoadFlashHigh, word, high);
    if (!byteWise) avr::SpiAddressed(s, avr::spi::kWriteFlashPage, word, 0xFF);
    s.Time().SleepMs(delayMs);
    if (!avr::FlashWordMatches(s, word, LoaderWord(loader, word))) {
      flashLog.DifferenceAt(word, true);
      break;
    }
    log.ShowAddress(word);
    ctx.op.SetProgress(word + 1, kAvrLoaderWords);
  }
}

}  // namespace

void WriteAvrLoader(port::OperationContext& ctx, avr::AvrChip routine, const LoaderImage& loader,
                    const std::string& avrDelay, avr::WriteWait wait) {
  const uint8_t delayMs =
      avr::FlashWriteDelayMs(avr::ChipRow(routine), image::DecimalToByte(avrDelay));
  port::OperationLog log(ctx, "ATMEL WRITE LOADER");
  port::OperationLog flashLog(ctx, "ATMEL WRITE FLASH");
  log.Line("START");
  if (!log.PortUsable()) return log.Line("STOP");
  ctx.errorFlag = 0;
  ctx.op.SetProgress(0, kAvrLoaderWords);
  if (wait == avr::WriteWait::Polling) {
    std::vector<uint16_t> words(kAvrLoaderWords);
    for (uint32_t word = 0; word < kAvrLoaderWords; ++word) words[word] = LoaderWord(loader, word);
    avr::WriteFlashFast(ctx, routine, words, delayMs, log, flashLog);
  } else {
    WriteAvrLoaderWords(ctx, routine, loader, delayMs, log, flashLog);
  }
  if (ctx.errorFlag == 0) log.Line("OK");
  log.Line("STOP");
}

namespace {

// Program words from address 0, each programmed and read back; the first difference is
// reported by `errors` and ends the loop.
void WritePicWords(port::OperationContext& ctx, port::OperationLog& errors,
                   const LoaderImage& loader, uint32_t words, const pic::CellCycle& cycle) {
  port::PortSession& s = ctx.session;
  for (uint32_t word = 0; word < words; ++word) {
    if (errors.StopRequested()) return;
    const uint16_t value = LoaderWord(loader, word);
    uint16_t back = 0;
    if (cycle.erasedOnlyRead && value == kPicErasedWord) {
      pic::PicCommand(s, pic::cmd::kReadProgram);
      back = pic::PicReadData(s);
    } else {
      back = pic::ProgramAndReadBack(s, pic::cmd::kLoadProgram, value, pic::cmd::kReadProgram,
                                     cycle.pauseMs, cycle.begin);
    }
    // The whole file word: one above 0x3FFF can never be read back from a 14-bit cell.
    if (back != value) {
      errors.DifferenceAt(word, true);
      return;
    }
    pic::PicCommand(s, pic::cmd::kIncrementAddress);
    if ((word + 1) % 8 == 0) {
      errors.ShowAddress(word);
      ctx.op.SetProgress(word + 1, words);
    }
  }
}

void WritePicEeprom(port::OperationContext& ctx, const LoaderImage& loader, uint8_t delayMs) {
  port::OperationLog errors(ctx, "PIC WRITE EEPROM INT");
  port::PortSession& s = ctx.session;
  ctx.op.SetProgress(0, static_cast<uint32_t>(loader.eeprom.size()));
  for (uint32_t address = 0; address < loader.eeprom.size(); ++address) {
    const uint8_t value = loader.eeprom[address];
    const uint16_t back =
        pic::ProgramAndReadBack(s, pic::cmd::kLoadData, value, pic::cmd::kReadData, delayMs);
    if ((back & 0xFF) != value) {
      errors.DifferenceAt(address, true);
      return;
    }
    pic::PicCommand(s, pic::cmd::kIncrementAddress);
    ctx.op.SetProgress(address + 1, static_cast<uint32_t>(loader.eeprom.size()));
  }
}

}  // namespace

void WritePicLoader(port::OperationContext& ctx, pic::PicChip chip, const LoaderImage& loader,
                    const std::string& picDelay, pic::WriteCycle cycle) {
  const uint8_t delayMs = image::DecimalToByte(picDelay);
  port::OperationLog log(ctx, "PIC WRITE LOADER");
  port::PortSession& s = ctx.session;
  log.Line("START");
  if (!log.PortUsable()) return log.Line("STOP");
  const bool f84 = chip == pic::PicChip::PIC16F84;
  const uint32_t words = f84 ? kF84LoaderWords : kF876LoaderWords;
  ctx.errorFlag = 0;
  s.SetMCLR(1);
  ctx.op.SetProgress(0, words);
  if (f84) {
    port::OperationLog flashErrors(ctx, "PIC WRITE FLASH");
    WritePicWords(ctx, flashErrors, loader, words, pic::CellCycleFor(chip, cycle, delayMs));
    s.SetMCLR(0);
    if (ctx.errorFlag == 0) {
      s.Time().SleepMs(kConfigPauseMs);
      s.SetMCLR(1);
      WritePicEeprom(ctx, loader, delayMs);
      pic::ProgramConfigWord(s, kF84LoaderConfig, delayMs);
      s.SetMCLR(0);
    }
  } else {
    WritePicWords(ctx, log, loader, words, pic::CellCycleFor(chip, cycle, delayMs));
    s.SetMCLR(0);
    s.Time().SleepMs(kConfigPauseMs);
    s.SetMCLR(1);
    // Written even after a difference: the chip then holds a loader that does not run.
    pic::ProgramConfigWord(s, kF876LoaderConfig, delayMs);
    s.SetMCLR(0);
  }
  if (ctx.errorFlag == 0) log.Line("OK");
  log.Line("STOP");
}

}  // namespace vexilo::extee
