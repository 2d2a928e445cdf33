#include "pic/pic_transport.h"

#include <string>

#include "pic/pic_chip.h"

namespace vexilo::pic {

void PicSendBit(port::PortSession& session, uint8_t bit) {
  const unsigned delay = session.PicClockDelay();
  session.SetRTS(1);
  session.SetRTS(1);
  session.ClockDelay(delay);
  const uint8_t level = bit != 0 ? 1 : 0;
  session.SetDTR(level);
  session.SetDTR(level);
  session.ClockDelay(delay);
  session.SetRTS(0);
  session.SetRTS(0);
  session.ClockDelay(delay);
}

void PicCommand(port::PortSession& session, uint8_t code) {
  for (uint8_t mask = 1; mask <= 32; mask = static_cast<uint8_t>(mask << 1)) {
    PicSendBit(session, code & mask);
  }
}

void PicWriteData(port::PortSession& session, uint16_t word) {
  PicSendBit(session, 0);
  for (uint16_t mask = 1; mask <= 0x2000; mask = static_cast<uint16_t>(mask << 1)) {
    PicSendBit(session, (word & mask) != 0);
  }
  PicSendBit(session, 0);
}

uint16_t PicReadData(port::PortSession& session) {
  PicSendBit(session, 1);
  uint16_t result = 0;
  for (uint16_t mask = 1; mask <= 0x2000; mask = static_cast<uint16_t>(mask << 1)) {
    PicSendBit(session, 1);
    if (session.GetCTS() == 1) result = static_cast<uint16_t>(result | mask);
  }
  PicSendBit(session, 1);
  return result;
}

void LoadConfigWord(port::PortSession& session, uint16_t word) {
  PicCommand(session, cmd::kLoadConfiguration);
  PicWriteData(session, word);
  for (int i = 0; i < kConfigWordIncrements; ++i) PicCommand(session, cmd::kIncrementAddress);
}

void ProgramConfigWord(port::PortSession& session, uint16_t word, uint8_t delayMs) {
  for (int i = 0; i < 2; ++i) {
    LoadConfigWord(session, word);
    PicCommand(session, cmd::kBeginProgramming);
    session.Time().SleepMs(delayMs);
  }
}

uint16_t ProgramAndReadBack(port::PortSession& session, uint8_t load, uint16_t value, uint8_t read,
                            uint8_t delayMs, uint8_t begin) {
  PicCommand(session, load);
  PicWriteData(session, value);
  PicCommand(session, begin);
  session.Time().SleepMs(delayMs);
  PicCommand(session, read);
  return PicReadData(session);
}

namespace {

constexpr uint16_t kAllOnes = 0x3FFF;

// Commands 1, 7, begin programming, 20 ms, 1, 7: the chip's code protection clear and erase.
void EraseSetupPair(port::PortSession& session) {
  PicCommand(session, cmd::kEraseSetup1);
  PicCommand(session, cmd::kEraseSetup2);
  PicCommand(session, cmd::kBeginProgramming);
  session.Time().SleepMs(20);
  PicCommand(session, cmd::kEraseSetup1);
  PicCommand(session, cmd::kEraseSetup2);
}

void Restart(port::PortSession& session) {
  session.SetMCLR(0);
  session.SetMCLR(1);
}

// The start of every erase pass: code protection off through the configuration word, then
// a fresh programming mode with the data memory's load in place.
void ClearProtectionAndLoadData(port::PortSession& s) {
  s.SetMCLR(1);
  LoadConfigWord(s, kAllOnes);
  EraseSetupPair(s);
  Restart(s);
  PicCommand(s, cmd::kLoadData);
  PicWriteData(s, kAllOnes);
}

}  // namespace

void PicEraseF84(PicContext& ctx) {
  port::PortSession& s = ctx.session;
  ctx.op.Log("PIC ERASE : START");
  for (int pass = 1; pass <= 5; ++pass) {
    ClearProtectionAndLoadData(s);
    PicCommand(s, cmd::kBulkEraseData);
    PicCommand(s, cmd::kBeginProgramming);
    s.Time().SleepMs(30);
    Restart(s);
    PicCommand(s, cmd::kLoadProgram);
    PicWriteData(s, kAllOnes);
    PicCommand(s, cmd::kBulkEraseProgram);
    PicCommand(s, cmd::kBeginProgramming);
    s.Time().SleepMs(30);
    s.SetMCLR(0);
    ctx.op.Log(">> 5:" + std::to_string(pass));
  }
  ctx.op.Log("PIC ERASE FLASH : STOP");
}

void PicEraseF876(PicContext& ctx) {
  port::PortSession& s = ctx.session;
  ctx.op.Log("PIC ERASE FLASH : START");
  for (int pass = 1; pass <= 5; ++pass) {
    ClearProtectionAndLoadData(s);
    EraseSetupPair(s);
    Restart(s);
    PicCommand(s, cmd::kLoadProgram);
    PicWriteData(s, kAllOnes);
    EraseSetupPair(s);
    s.SetMCLR(0);
    s.Time().SleepMs(100);
    ctx.op.Log("> 5:" + std::to_string(pass));
  }
  ctx.op.Log("PIC ERASE FLASH : STOP");
  s.Time().SleepMs(200);
}

}  // namespace vexilo::pic
