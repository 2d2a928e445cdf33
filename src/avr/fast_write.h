#pragma once
#include <cstdint>
#include <span>

#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "port/operation_log.h"

namespace vexilo::avr {

// Fast write: whole ATmega pages, and data polling instead of the fixed write delays.
//
// A poll reads the location being programmed until it shows the value written (the chip
// answers its busy value meanwhile). It gives up after the write delay or four times the data
// sheet's longest programming time, whichever is longer, so a slow chip is waited for; the
// read-back that follows then shows a chip that never finished. A value the chip cannot be
// polled for (it reads like the busy value) is not written where the cell already holds it
// (0xFF in an erased chip); elsewhere it gets the fixed write delay.

// The longest a poll waits, in microseconds.
uint64_t PollBoundUs(unsigned dataSheetMaxUs, unsigned delayMs);

// Writes `words` (word 0 upwards) into program memory: the ATmega chips a page at a time (all
// words of the page loaded, the page written once, polled, read back), pages that are all
// 0xFFFF skipped; the AT90S8515 byte by byte with polling. Shows the address and the
// progress after every page (AT90S8515: every 8 words) and honours the stop request there
// through `log`; the first word that does not read back is reported through `errors` and ends
// the write. Returns true when every word read back right.
bool WriteFlashFast(AvrContext& ctx, AvrChip chip, std::span<const uint16_t> words, uint8_t delayMs,
                    port::OperationLog& log, port::OperationLog& errors);

// Writes one EEPROM byte and waits for it by polling, or `fixedDelayMs` for a value that
// cannot be polled; true when it reads back right.
bool WriteEepromByteFast(port::PortSession& session, const AvrChipRow& row, uint32_t address,
                         uint8_t value, uint8_t delayMs, uint8_t fixedDelayMs);

}  // namespace vexilo::avr
