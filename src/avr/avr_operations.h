#pragma once
#include <cstdint>
#include <string>

#include "avr/avr_chip.h"
#include "avr/fuse_dialog.h"
#include "image/memory_image.h"
#include "port/operation_log.h"
#include "port/operator.h"
#include "port/port_session.h"

namespace vexilo::avr {

// What every AVR operation works with: the open port session, the person at the window, and
// the error flag the composite sequences test between their steps.
using AvrContext = port::OperationContext;

// One full-duplex byte on SCK/MOSI/MISO, most significant bit first.
uint8_t SpiByte(port::PortSession& session, uint8_t value);

// Programming mode: 1 when the chip answered the programming enable instruction.
int AtmelSpiOn(AvrContext& ctx);
void AtmelSpiOff(AvrContext& ctx);

// How the writes wait for the chip: the write delay after every word or byte, or the
// "Fast write" setting: whole ATmega pages, and data polling with the write delay kept for
// values that cannot be polled (avr/fast_write.h). Log lines, progress, the stop request and
// the error flag are the same either way.
enum class WriteWait { FixedDelay, Polling };

// The memory operations. `chip` is the routine's variant (sizes, pauses, write method).
// A read fills its image only after the whole memory is in. The writes take the write delay
// from the text of avr_delay and return the length written or attempted. Errors in the data
// (a difference) are red log lines and the error flag; a delay text that is not a number throws
// image::ConversionError before anything is sent.
void ReadFlash(AvrContext& ctx, AvrChip chip, image::MemoryImage& flash);
void ReadEepromInt(AvrContext& ctx, AvrChip chip, image::MemoryImage& eeprom);
void VerifyFlash(AvrContext& ctx, AvrChip chip, const image::MemoryImage& flash);
void VerifyEepromInt(AvrContext& ctx, AvrChip chip, const image::MemoryImage& eeprom);
uint32_t WriteFlash(AvrContext& ctx, AvrChip chip, const image::MemoryImage& flash,
                    const std::string& avrDelay, WriteWait wait = WriteWait::FixedDelay);
uint32_t WriteEepromInt(AvrContext& ctx, AvrChip chip, const image::MemoryImage& eeprom,
                        const std::string& avrDelay, WriteWait wait = WriteWait::FixedDelay);

// The least hardware time the FLASH write with fixed delays takes (its delays, and its
// transfer at one microsecond per port access), in microseconds; 0 for a delay text that is
// not a number.
uint64_t FixedDelayFlashWriteUs(AvrChip chip, const image::MemoryImage& flash,
                                const std::string& avrDelay);

// Chip erase, ending with a reset pulse (programming mode must be entered again after it).
// The pause before the pulse is the variant's, at least `chipEraseMs`. With `flashWords`, a
// sample of the program memory is then read until it is blank, for at most a second; one
// that stays programmed is the red "ATMEL ERASE : ERROR ADR[...]" line and the error flag.
void ChipErase(AvrContext& ctx, EraseVariant variant, unsigned chipEraseMs = 0,
               uint32_t flashWords = 0);
// AT90S8515 lock bits from the "Bit 1" / "Bit 2" boxes (checked = programmed).
void WriteLockBits(AvrContext& ctx, bool bit1Checked, bool bit2Checked);
// ATmega fuse and lock bytes from / into the chip's dialog.
void WriteConfig(AvrContext& ctx, const FuseDialog& dialog);
void ReadConfig(AvrContext& ctx, FuseDialog& dialog);

}  // namespace vexilo::avr
