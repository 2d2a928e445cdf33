#pragma once
// The pipe between the simulator's ISA card and the helper program `vexilo-isa-card`, which
// runs the card's chip on an instruction-set simulator (simavr for the AVR cards, gpsim for the
// PIC cards). The helper is a process of its own so that those simulators' process-wide state
// and licences stay apart from the program.
//
// The helper is started as `vexilo-isa-card CORE` with CORE one of "atmega16", "p16f84",
// "p16f876"; it reads requests on stdin and writes replies on stdout. Every message is one
// type byte and a fixed little-endian payload (both ends run on one machine).
//
// Time is the chip's own: cycles since the chip left reset (AVR: clock cycles; PIC: instruction
// cycles of four clocks). The helper never runs ahead of what it was asked: the two sides move
// in lockstep, and the only clock is the count of cycles the core executed.
//
// Pins: three contacts, numbered 0 = IO (the card's IO contact), 1 = SDA, 2 = SCL. Each is
// open-drain with a pull-up: its level is low when the chip or the outside pulls it low.
// A drive mask has bit n set when pin n is released by that side.
//
// Requests (simulator -> helper):
//   'P' u32 n, n bytes program memory (word w at 2w low, 2w + 1 high);
//       u32 m, m bytes data EEPROM; u32 configuration word (kNoConfig: none)
//       The memories for the next release of reset.
//   'H' Hold the chip in reset (it stops; its pins are released).
//   'G' Release reset: the chip starts afresh at cycle 0 from the last 'P'.
//   'I' u64 cycle, u8 pin, u8 level: the outside drives `pin` low (0) or releases it (1) from
//       `cycle` on (at once when that is already past). Changes come in time order.
//   'S' u8 n, n bytes 0/1, u8 hold: the 24Cxx's SDA at the next SCL falling edges: at each of
//       the next n falls the helper lets SDA go (1) or pulls it low (0) itself, as the part would,
//       and goes on; after them it goes on without changing SDA when `hold` is 1, else it stops
//       at the next fall. A stop drops what is left. Without one the helper stops at every fall.
//   'R' u64 cycle: run until `cycle`, then answer 'D' (at once when the chip is held in reset
//       or does not run). Each change of what the chip drives is told on the way: as 'e' when
//       the run goes on, as 'E' when the helper stops there and waits for the next request.
//       It stops where the 24Cxx may answer: SCL falling (unless an 'S' covers it), or SDA
//       changing while SCL is high (START and STOP).
//   'Q' Quit.
// Replies (helper -> simulator):
//   'V' u32 version, u32 clock Hz, u32 clocks per cycle: once, at start.
//   'E' u64 cycle, u8 drive mask: the chip's drive changed at `cycle`; the helper waits.
//   'e' u64 cycle, u8 drive mask: the same, and the run goes on.
//   'D' u64 cycle: reached.
//   'X' u32 n, n bytes text: the helper cannot go on (it then ends).
#include <cstdint>

namespace vexilo::sim::isa {

constexpr uint32_t kWireVersion = 1;
constexpr uint32_t kNoConfig = 0xFFFFFFFF;

enum Pin : uint8_t { kPinIo = 0, kPinSda = 1, kPinScl = 2, kPinCount = 3 };
constexpr uint8_t kAllReleased = 0x07;

// The changes of the chip's drive at which the 24Cxx may change its SDA.
constexpr bool SclFalls(uint8_t before, uint8_t after) {
  return ((before >> kPinScl) & 1) && !((after >> kPinScl) & 1);
}
constexpr bool StartOrStop(uint8_t before, uint8_t after) {
  return ((before >> kPinScl) & 1) && ((after >> kPinScl) & 1) &&
         (((before ^ after) >> kPinSda) & 1);
}

namespace msg {
constexpr char kProgram = 'P';
constexpr char kHold = 'H';
constexpr char kGo = 'G';
constexpr char kInput = 'I';
constexpr char kRun = 'R';
constexpr char kSdaScript = 'S';
constexpr char kQuit = 'Q';
constexpr char kHello = 'V';
constexpr char kEdge = 'E';
constexpr char kEdgeOn = 'e';
constexpr char kDone = 'D';
constexpr char kError = 'X';
}  // namespace msg

}  // namespace vexilo::sim::isa
