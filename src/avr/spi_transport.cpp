#include "avr/spi_transport.h"

#include <string>
#include <utility>
#include <vector>

#include "avr/avr_operations.h"
#include "image/hex_to_int.h"

namespace vexilo::avr {
namespace {

constexpr int kEnableAttempts = 32;
constexpr unsigned kIdlePauseMs = 100;
constexpr unsigned kLinesLowPauseMs = 50;
constexpr unsigned kResetOffPauseMs = 100;
constexpr unsigned kResetOnPauseMs = 30;
constexpr unsigned kSpiOffPauseMs = 50;

// TX in break holds RESET low.
constexpr uint8_t kResetOn = 0;
constexpr uint8_t kResetOff = 1;

// One attempt at programming enable; the chip echoes 0x53 while the third byte goes out.
uint8_t ProgrammingEnable(port::PortSession& session) {
  port::LineProgram program;
  const unsigned delay = session.AvrClockDelay();
  AppendSpiByte(program, spi::kProgrammingEnable, delay);
  AppendSpiByte(program, spi::kEnableEcho, delay);
  AppendSpiByte(program, 0x00, delay);
  AppendSpiByte(program, 0x00, delay);
  return static_cast<uint8_t>(session.Run(program).MsbFirst(16, 8));
}

}  // namespace

void AppendSpiByte(port::LineProgram& program, uint8_t value, unsigned delay) {
  for (int bit = 0; bit < 8; ++bit) {
    program.SetDTR(value & 0x80);
    program.ClockDelay(delay);
    value = static_cast<uint8_t>(value << 1);
    program.SetRTS(1);
    program.ClockDelay(delay);
    program.SampleCts();
    program.SetRTS(0);
    program.ClockDelay(delay);
  }
  program.ClockDelay(delay);
}

uint8_t SpiByte(port::PortSession& session, uint8_t value) {
  port::LineProgram program;
  AppendSpiByte(program, value, session.AvrClockDelay());
  return static_cast<uint8_t>(session.Run(program).MsbFirst(0, 8));
}

void QueueSpiInstruction(port::PortSession& session, const SpiBytes& bytes,
                         std::function<void(uint8_t)> done) {
  port::LineProgram program;
  const unsigned delay = session.AvrClockDelay();
  for (uint8_t byte : bytes) AppendSpiByte(program, byte, delay);
  if (!done) {
    session.Queue(program);
    return;
  }
  session.Queue(program, [done = std::move(done)](const port::LineSamples& samples) {
    done(static_cast<uint8_t>(samples.MsbFirst(24, 8)));
  });
}

uint8_t SpiInstruction(port::PortSession& session, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
  uint8_t result = 0;
  QueueSpiInstruction(session, {b1, b2, b3, b4}, [&result](uint8_t value) { result = value; });
  session.Flush();
  return result;
}

void QueueReadFlashWord(port::PortSession& session, uint32_t word, uint16_t& cell) {
  QueueSpiAddressed(session, spi::kReadFlashLow, word, 0x00,
                    [&cell](uint8_t low) { cell = static_cast<uint16_t>((cell & 0xFF00) | low); });
  QueueSpiAddressed(session, spi::kReadFlashHigh, word, 0x00, [&cell](uint8_t high) {
    cell = static_cast<uint16_t>((cell & 0x00FF) | high << 8);
  });
}

bool FlashWordMatches(port::PortSession& session, uint32_t word, uint16_t expected) {
  return FirstFlashDifference(session, word, word + 1, &expected) == word + 1;
}

uint32_t FirstFlashDifference(port::PortSession& session, uint32_t first, uint32_t end,
                              const uint16_t* expected) {
  if (!session.Batches()) {
    for (uint32_t word = first; word < end; ++word) {
      const uint16_t want = expected[word - first];
      if (SpiAddressed(session, spi::kReadFlashLow, word, 0x00) != (want & 0xFF)) return word;
      if (SpiAddressed(session, spi::kReadFlashHigh, word, 0x00) != (want >> 8)) return word;
    }
    return end;
  }
  std::vector<uint16_t> got(end - first);
  for (uint32_t word = first; word < end; ++word)
    QueueReadFlashWord(session, word, got[word - first]);
  session.Flush();
  for (uint32_t word = first; word < end; ++word) {
    if (got[word - first] != expected[word - first]) return word;
  }
  return end;
}

int AtmelSpiOn(AvrContext& ctx) {
  port::PortSession& session = ctx.session;
  port::Clock& clock = session.Time();
  clock.SleepMs(kIdlePauseMs);
  session.SetRTS(0);
  session.SetDTR(0);
  clock.SleepMs(kLinesLowPauseMs);
  session.SetTXLevel(kResetOff);
  clock.SleepMs(kResetOffPauseMs);
  for (int attempt = 0; attempt < kEnableAttempts; ++attempt) {
    // A line call that failed (the adapter unplugged) is not retried: the session has shown
    // the device's reason, and no echo can come.
    if (session.LineFailed()) break;
    session.SetTXLevel(kResetOn);
    clock.SleepMs(kResetOnPauseMs);
    const uint8_t echo = ProgrammingEnable(session);
    if (session.LineFailed()) break;
    if (echo == spi::kEnableEcho) {
      ctx.op.Log("ATMEL SPI : TX[" + image::ToHex(static_cast<uint32_t>(attempt), 2) +
                 "] -> ACK = " + image::ToHex(echo, 2));
      ctx.op.Log("ATMEL SPI : ON");
      return 1;
    }
    session.SetTXLevel(kResetOff);
  }
  ctx.op.LogError("ATMEL SPI : ERROR");
  return 0;
}

void AtmelSpiOff(AvrContext& ctx) {
  ctx.session.Time().SleepMs(kSpiOffPauseMs);
  ctx.session.SetTXLevel(kResetOff);
  ctx.op.Log("ATMEL SPI : OFF");
}

}  // namespace vexilo::avr
