#pragma once
#include <cstdint>
#include <functional>

#include "port/operation_log.h"
#include "port/port_session.h"

namespace vexilo::pic {

using PicContext = port::OperationContext;

// The 6-bit commands of the PIC16F84 and PIC16F87x serial programming specifications that
// this program sends.
namespace cmd {
constexpr uint8_t kLoadConfiguration = 0;
constexpr uint8_t kEraseSetup1 = 1;  // first of the code protection clear / bulk erase pair
constexpr uint8_t kLoadProgram = 2;
constexpr uint8_t kLoadData = 3;
constexpr uint8_t kReadProgram = 4;
constexpr uint8_t kReadData = 5;
constexpr uint8_t kIncrementAddress = 6;
constexpr uint8_t kEraseSetup2 = 7;
constexpr uint8_t kBeginProgramming = 8;
constexpr uint8_t kBulkEraseProgram = 9;
constexpr uint8_t kBulkEraseData = 11;
constexpr uint8_t kBeginProgrammingOnly = 0x18;  // PIC16F87X: erased memory, shorter cycle
}  // namespace cmd

// One clock on RB6 (RTS) with the data bit on RB7 (DTR); the chip takes the bit on the falling
// edge. Every line change is written twice, each half followed by a clock delay.
void PicSendBit(port::PortSession& session, uint8_t bit);
// The six low bits of `code`, least significant first.
void PicCommand(port::PortSession& session, uint8_t code);
// A 16-clock data frame: start bit 0, the 14 low bits of `word`, stop bit 0.
void PicWriteData(port::PortSession& session, uint16_t word);
// A 16-clock frame read from the chip with RB7 released (DTR high); bits 14 and 15 are 0.
uint16_t PicReadData(port::PortSession& session);
// The `command` (a read command) and the frame after it, queued; `done` gets the frame once
// the session has made them. Lines that batch may hold them until a result is needed.
void QueuePicRead(port::PortSession& session, uint8_t command, std::function<void(uint16_t)> done);
// Commands, data frames and bits are queued the same way: they have no result.

// Load Configuration with `word`, then seven increments: the address counter at the
// configuration word, 0x2007.
void LoadConfigWord(port::PortSession& session, uint16_t word);
// Programs the configuration word: twice Load Configuration to 0x2007, begin programming and
// the write delay. Nothing is read back.
void ProgramConfigWord(port::PortSession& session, uint16_t word, uint8_t delayMs);
// Programs one cell at the address counter: the `load` command with `value`, the `begin`
// command, the write delay, then the `read` command; returns the frame read back.
uint16_t ProgramAndReadBack(port::PortSession& session, uint8_t load, uint16_t value, uint8_t read,
                            uint8_t delayMs, uint8_t begin = cmd::kBeginProgramming);

// Bulk erase with code protection clear, five passes each, for the PIC16F84 and the
// PIC16F876. No read-back: the verify or write that follows shows whether it worked.
void PicEraseF84(PicContext& ctx);
void PicEraseF876(PicContext& ctx);

}  // namespace vexilo::pic
