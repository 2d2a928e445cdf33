#include "avr/spi_transport.h"

#include <string>

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
  SpiByte(session, spi::kProgrammingEnable);
  SpiByte(session, spi::kEnableEcho);
  const uint8_t echo = SpiByte(session, 0x00);
  SpiByte(session, 0x00);
  return echo;
}

}  // namespace

uint8_t SpiByte(port::PortSession& session, uint8_t value) {
  const unsigned delay = session.AvrClockDelay();
  uint8_t result = 0;
  for (int bit = 0; bit < 8; ++bit) {
    result = static_cast<uint8_t>(result << 1);
    session.SetDTR(value & 0x80);
    session.ClockDelay(delay);
    value = static_cast<uint8_t>(value << 1);
    session.SetRTS(1);
    session.ClockDelay(delay);
    if (session.GetCTS() == 1) result |= 1;
    session.SetRTS(0);
    session.ClockDelay(delay);
  }
  session.ClockDelay(delay);
  return result;
}

uint8_t SpiInstruction(port::PortSession& session, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
  SpiByte(session, b1);
  SpiByte(session, b2);
  SpiByte(session, b3);
  return SpiByte(session, b4);
}

bool FlashWordMatches(port::PortSession& session, uint32_t word, uint16_t expected) {
  if (SpiAddressed(session, spi::kReadFlashLow, word, 0x00) != (expected & 0xFF)) return false;
  return SpiAddressed(session, spi::kReadFlashHigh, word, 0x00) == (expected >> 8);
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
    session.SetTXLevel(kResetOn);
    clock.SleepMs(kResetOnPauseMs);
    const uint8_t echo = ProgrammingEnable(session);
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
