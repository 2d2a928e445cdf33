#include "pic/pic_transport.h"

#include <string>
#include <utility>

#include "pic/pic_chip.h"

namespace vexilo::pic {

namespace {

void AppendBit(port::LineProgram& program, uint8_t bit, unsigned delay) {
  program.SetRTS(1);
  program.SetRTS(1);
  program.ClockDelay(delay);
  const uint8_t level = bit != 0 ? 1 : 0;
  program.SetDTR(level);
  program.SetDTR(level);
  program.ClockDelay(delay);
  program.SetRTS(0);
  program.SetRTS(0);
  program.ClockDelay(delay);
}

void AppendCommand(port::LineProgram& program, uint8_t code, unsigned delay) {
  for (uint8_t mask = 1; mask <= 32; mask = static_cast<uint8_t>(mask << 1)) {
    AppendBit(program, code & mask, delay);
  }
}

void AppendWriteData(port::LineProgram& program, uint16_t word, unsigned delay) {
  AppendBit(program, 0, delay);
  for (uint16_t mask = 1; mask <= 0x2000; mask = static_cast<uint16_t>(mask << 1)) {
    AppendBit(program, (word & mask) != 0, delay);
  }
  AppendBit(program, 0, delay);
}

// RB7 released: every bit is sent as 1, and CTS read after each of the 14 data clocks.
void AppendReadData(port::LineProgram& program, unsigned delay) {
  AppendBit(program, 1, delay);
  for (int bit = 0; bit < 14; ++bit) {
    AppendBit(program, 1, delay);
    program.SampleCts();
  }
  AppendBit(program, 1, delay);
}

}  // namespace

void PicSendBit(port::PortSession& session, uint8_t bit) {
  port::LineProgram program;
  AppendBit(program, bit, session.PicClockDelay());
  session.Queue(program);
}

void PicCommand(port::PortSession& session, uint8_t code) {
  port::LineProgram program;
  AppendCommand(program, code, session.PicClockDelay());
  session.Queue(program);
}

void PicWriteData(port::PortSession& session, uint16_t word) {
  port::LineProgram program;
  AppendWriteData(program, word, session.PicClockDelay());
  session.Queue(program);
}

void QueuePicRead(port::PortSession& session, uint8_t command, std::function<void(uint16_t)> done) {
  port::LineProgram program;
  AppendCommand(program, command, session.PicClockDelay());
  AppendReadData(program, session.PicClockDelay());
  session.Queue(program, [done = std::move(done)](const port::LineSamples& samples) {
    done(static_cast<uint16_t>(samples.LsbFirst(0, 14)));
  });
}

uint16_t PicReadData(port::PortSession& session) {
  port::LineProgram program;
  AppendReadData(program, session.PicClockDelay());
  return static_cast<uint16_t>(session.Run(program).LsbFirst(0, 14));
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
