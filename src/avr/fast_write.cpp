#include "avr/fast_write.h"

#include <algorithm>

#include "avr/spi_transport.h"

namespace vexilo::avr {
namespace {

constexpr unsigned kPollBoundFactor = 4;
// One poll is a whole instruction, 32 SCK periods of four line accesses each; no port does
// that in less than this.
constexpr uint64_t kShortestPollUs = 64;
constexpr uint32_t kWordsPerRow = 8;
constexpr uint16_t kBlank = 0xFFFF;

// Reads with `read` until it answers `expected`, for at most `boundUs` of clock time. The
// polls are counted as well, for a clock that moves only when something sleeps: when they
// are used up, the rest of the bound is slept and the location read once more.
template <typename Read>
bool PollUntil(port::Clock& clock, const Read& read, uint8_t expected, uint64_t boundUs) {
  const uint64_t start = clock.NowUs();
  const uint64_t maxPolls = boundUs / kShortestPollUs + 1;
  for (uint64_t polls = 0;; ++polls) {
    if (read() == expected) return true;
    const uint64_t elapsed = clock.NowUs() - start;
    if (elapsed >= boundUs) return false;
    if (polls >= maxPolls) {
      clock.SleepMs(static_cast<unsigned>((boundUs - elapsed + 999) / 1000));
      return read() == expected;
    }
  }
}

// One byte at a location that can be polled (or that already holds a value that cannot): the
// write, then the wait. `read` reads the location back.
template <typename Read>
bool WriteAndWait(port::PortSession& session, const AvrChipRow& row, const Read& read,
                  uint8_t writeCode, uint32_t address, uint8_t value, unsigned maxUs,
                  uint8_t delayMs, uint8_t fixedDelayMs) {
  if (!CanPoll(row, value)) {
    // The busy value and the value written look alike: a cell that holds it already is left
    // alone, any other gets the fixed delay.
    if (read() == value) return true;
    QueueSpiAddressed(session, writeCode, address, value);
    session.Time().SleepMs(fixedDelayMs);
    return read() == value;
  }
  QueueSpiAddressed(session, writeCode, address, value);
  session.Flush();  // the bound runs from when the write has reached the chip
  return PollUntil(session.Time(), read, value, PollBoundUs(maxUs, delayMs));
}

uint16_t WordAt(std::span<const uint16_t> words, uint32_t word) {
  return word < words.size() ? words[word] : kBlank;
}

// AT90S8515: the low byte, then the high byte, each written and waited for on its own.
bool WriteWordBytewise(port::PortSession& session, const AvrChipRow& row, uint32_t word,
                       uint16_t value, uint8_t delayMs) {
  for (const bool high : {false, true}) {
    const uint8_t readCode = high ? spi::kReadFlashHigh : spi::kReadFlashLow;
    const uint8_t writeCode = high ? spi::kLoadFlashHigh : spi::kLoadFlashLow;
    const auto byte = static_cast<uint8_t>(high ? value >> 8 : value);
    auto read = [&] { return SpiAddressed(session, readCode, word, 0x00); };
    if (!WriteAndWait(session, row, read, writeCode, word, byte, row.flashWriteMaxUs, delayMs,
                      delayMs)) {
      return false;
    }
  }
  return true;
}

// ATmega: every word of the page into the page buffer, one page write, a poll of the first
// byte that is not 0xFF, then words first .. end - 1 read back. Returns the first word that
// differs, or `end`.
uint32_t WritePage(port::PortSession& session, const AvrChipRow& row,
                   std::span<const uint16_t> words, uint32_t first, uint32_t end, uint8_t delayMs) {
  for (uint32_t word = first; word < first + row.pageWords; ++word) {
    const uint16_t value = WordAt(words, word);
    QueueSpiAddressed(session, spi::kLoadFlashLow, word, static_cast<uint8_t>(value));
    QueueSpiAddressed(session, spi::kLoadFlashHigh, word, static_cast<uint8_t>(value >> 8));
  }
  QueueSpiAddressed(session, spi::kWriteFlashPage, first, 0xFF);
  session.Flush();
  for (uint32_t word = first; word < end; ++word) {
    const uint16_t value = words[word];
    if (value == kBlank) continue;
    const bool high = (value & 0xFF) == 0xFF;
    const auto expected = static_cast<uint8_t>(high ? value >> 8 : value);
    const uint8_t readCode = high ? spi::kReadFlashHigh : spi::kReadFlashLow;
    PollUntil(
        session.Time(), [&] { return SpiAddressed(session, readCode, word, 0x00); }, expected,
        PollBoundUs(row.flashWriteMaxUs, delayMs));
    break;
  }
  return FirstFlashDifference(session, first, end, &words[first]);
}

bool AllBlank(std::span<const uint16_t> words) {
  return std::all_of(words.begin(), words.end(), [](uint16_t w) { return w == kBlank; });
}

}  // namespace

uint64_t PollBoundUs(unsigned dataSheetMaxUs, unsigned delayMs) {
  return std::max<uint64_t>(uint64_t{delayMs} * 1000, uint64_t{kPollBoundFactor} * dataSheetMaxUs);
}

bool WriteFlashFast(AvrContext& ctx, AvrChip chip, std::span<const uint16_t> words, uint8_t delayMs,
                    port::OperationLog& log, port::OperationLog& errors) {
  const AvrChipRow& row = ChipRow(chip);
  const auto length = static_cast<uint32_t>(words.size());
  const uint32_t step = row.pageWords ? row.pageWords : kWordsPerRow;
  for (uint32_t first = 0; first < length; first += step) {
    if (log.StopRequested()) return false;
    const uint32_t end = std::min(first + step, length);
    uint32_t done = end;
    if (row.pageWords) {
      if (!AllBlank(words.subspan(first, end - first))) {
        done = WritePage(ctx.session, row, words, first, end, delayMs);
      }
    } else {
      for (uint32_t word = first; word < end && done == end; ++word) {
        if (!WriteWordBytewise(ctx.session, row, word, words[word], delayMs)) done = word;
      }
    }
    const uint32_t shown = done == end ? end - 1 : done;
    log.ShowAddress(shown);
    ctx.op.SetProgress(shown + 1, length);
    if (done != end) {
      errors.DifferenceAt(done, true);
      return false;
    }
  }
  return true;
}

bool WriteEepromByteFast(port::PortSession& session, const AvrChipRow& row, uint32_t address,
                         uint8_t value, uint8_t delayMs, uint8_t fixedDelayMs) {
  auto read = [&] { return SpiAddressed(session, spi::kReadEeprom, address, 0x00); };
  return WriteAndWait(session, row, read, spi::kWriteEeprom, address, value, row.eepromWriteMaxUs,
                      delayMs, fixedDelayMs);
}

}  // namespace vexilo::avr
