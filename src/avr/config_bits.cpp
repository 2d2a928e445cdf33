// Chip erase, and the lock and fuse bytes of the AT90S8515 and the ATmega chips.
#include <algorithm>
#include <optional>
#include <vector>

#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "avr/spi_transport.h"
#include "image/hex_to_int.h"
#include "port/operation_log.h"

namespace vexilo::avr {
namespace {

constexpr unsigned kStartPauseMs = 50;
constexpr unsigned kResetPulseMs = 20;
constexpr unsigned kLockWritePauseMs = 16;  // AT90S8515 tWD_PROG with margin
constexpr unsigned kFuseWritePauseMs = 20;
constexpr unsigned kFuseReadPauseMs = 20;

// After the erase pause the chip is read until a sample of program memory reads blank: a
// chip slower than its data sheet would otherwise be cut short by the reset pulse. The
// sample: the first word, the last, and words a stride apart between them.
constexpr unsigned kEraseWaitMs = 1000;
constexpr unsigned kErasePollMs = 10;
constexpr uint32_t kEraseSampleWords = 16;

constexpr uint8_t kResetOn = 0;
constexpr uint8_t kResetOff = 1;

// AT90S8515 Write Lock Bits 1010 1100 111x x21x: a 1 leaves the lock bit unprogrammed.
constexpr uint8_t kAt90Lock = 0xE0;
constexpr uint8_t kAt90Lb1Unprogrammed = 0x02;
constexpr uint8_t kAt90Lb2Unprogrammed = 0x04;

struct ConfigByte {
  FuseByte byte;
  const char* label;
  uint8_t writeCode;  // second byte of 0xAC xx 0x00 d
  uint8_t read1;      // first two bytes of the read instruction
  uint8_t read2;
};

// In the order the chip is written and read.
constexpr ConfigByte kConfigBytes[] = {
    {FuseByte::High, "Fuse High Byte = ", spi::kWriteFuseHigh, 0x58, 0x08},
    {FuseByte::Low, "Fuse Low Byte = ", spi::kWriteFuseLow, 0x50, 0x00},
    {FuseByte::Extended, "Fuse Extended Byte = ", spi::kWriteFuseExtended, 0x50, 0x08},
    {FuseByte::Lock, "Fuse Lock Bit Byte = ", spi::kWriteLock, 0x58, 0x00},
};

std::vector<uint32_t> EraseSample(uint32_t flashWords) {
  std::vector<uint32_t> words;
  const uint32_t stride = std::max<uint32_t>(1, flashWords / kEraseSampleWords);
  for (uint32_t word = 0; word < flashWords; word += stride) words.push_back(word);
  if (words.back() != flashWords - 1) words.push_back(flashWords - 1);
  return words;
}

// The first sampled word that does not read blank, or nothing.
std::optional<uint32_t> FirstProgrammed(port::PortSession& session,
                                        const std::vector<uint32_t>& sample) {
  std::vector<uint16_t> got(sample.size());
  for (size_t i = 0; i < sample.size(); ++i) QueueReadFlashWord(session, sample[i], got[i]);
  session.Flush();
  for (size_t i = 0; i < sample.size(); ++i) {
    if (got[i] != 0xFFFF) return sample[i];
  }
  return std::nullopt;
}

// Waits, bounded, until the sample reads blank; a red line and the error flag when it never
// does (or the port failed).
void WaitUntilBlank(AvrContext& ctx, uint32_t flashWords) {
  port::OperationLog log(ctx, "ATMEL ERASE");
  port::PortSession& session = ctx.session;
  port::Clock& clock = session.Time();
  const std::vector<uint32_t> sample = EraseSample(flashWords);
  const uint64_t deadline = clock.NowUs() + uint64_t{kEraseWaitMs} * 1000;
  // Bounded by the clock, and by a count of pauses on a clock that does not move.
  for (unsigned polls = 0;; ++polls) {
    const std::optional<uint32_t> programmed = FirstProgrammed(session, sample);
    if (log.PortFailed() || !programmed) return;
    if (clock.NowUs() >= deadline || polls >= kEraseWaitMs / kErasePollMs) {
      return log.DifferenceAt(*programmed, true);
    }
    clock.SleepMs(kErasePollMs);
  }
}

}  // namespace

void ChipErase(AvrContext& ctx, EraseVariant variant, unsigned chipEraseMs, uint32_t flashWords) {
  port::PortSession& session = ctx.session;
  port::Clock& clock = session.Time();
  ctx.op.Log("ATMEL ERASE : START");
  clock.SleepMs(kStartPauseMs);
  SpiInstruction(session, spi::kWriteConfig, spi::kChipErase, 0x00, 0x00);
  // The variant's pause, or the chip's own erase time where that is longer (the ATmega163
  // takes 32 ms in serial mode): the reset pulse would cut the erase short.
  clock.SleepMs(std::max(ErasePauseMs(variant), chipEraseMs));
  if (flashWords > 0 && session.IsOpen()) WaitUntilBlank(ctx, flashWords);
  // The reset pulse ends programming mode; AtmelSpiOn has to run again.
  session.SetTXLevel(kResetOff);
  clock.SleepMs(kResetPulseMs);
  session.SetTXLevel(kResetOn);
  ctx.op.Log("ATMEL ERASE : STOP");
}

void WriteLockBits(AvrContext& ctx, bool bit1Checked, bool bit2Checked) {
  ctx.op.Log("ATMEL WRITE CONFIG BIT : START");
  ctx.session.Time().SleepMs(kStartPauseMs);
  uint8_t code = kAt90Lock;
  if (!bit1Checked) code |= kAt90Lb1Unprogrammed;
  if (!bit2Checked) code |= kAt90Lb2Unprogrammed;
  SpiInstruction(ctx.session, spi::kWriteConfig, code, 0x00, 0x00);
  ctx.session.Time().SleepMs(kLockWritePauseMs);
  ctx.op.Log("ATMEL WRITE CONFIG BIT : STOP");
}

void WriteConfig(AvrContext& ctx, const FuseDialog& dialog) {
  ctx.op.Log("ATMEL WRITE CONFIG BIT : START");
  ctx.session.Time().SleepMs(kStartPauseMs);
  for (const ConfigByte& config : kConfigBytes) {
    if (!dialog.HasByte(config.byte)) continue;
    const uint8_t value = dialog.Byte(config.byte);
    ctx.op.Log(config.label + image::ToHex(value, 2));
    SpiInstruction(ctx.session, spi::kWriteConfig, config.writeCode, 0x00, value);
    ctx.session.Time().SleepMs(kFuseWritePauseMs);
  }
  ctx.op.Log("ATMEL WRITE CONFIG BIT : STOP");
}

void ReadConfig(AvrContext& ctx, FuseDialog& dialog) {
  ctx.op.Log("ATMEL READ CONFIG BIT : START");
  // Without a usable session every bit would read 1: the boxes are left as they are.
  if (!ctx.session.IsOpen()) {
    ctx.errorFlag = 1;
    ctx.op.LogError("ATMEL READ CONFIG BIT : ERROR PORT");
    ctx.op.Log("ATMEL READ CONFIG BIT : STOP");
    return;
  }
  ctx.session.Time().SleepMs(kStartPauseMs);
  for (const ConfigByte& config : kConfigBytes) {
    if (!dialog.HasByte(config.byte)) continue;
    const uint8_t value = SpiInstruction(ctx.session, config.read1, config.read2, 0x00, 0x00);
    ctx.session.Time().SleepMs(kFuseReadPauseMs);
    dialog.SetFromByte(config.byte, value);
    ctx.op.Log(config.label + image::ToHex(value, 2));
  }
  ctx.op.Log("ATMEL READ CONFIG BIT : STOP");
}

}  // namespace vexilo::avr
