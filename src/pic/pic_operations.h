#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "image/memory_image.h"
#include "pic/pic_chip.h"
#include "pic/pic_transport.h"

namespace vexilo::pic {

// The memory and configuration word operations of the PIC16F84 and PIC16F876, each in its own
// programming mode (the chip's address counter starts at 0 for every transfer). Log lines are
// named "PIC READ FLASH", "PIC VERYFI EEPROM INT" ...; a difference is a red ERROR ADR line and
// the error flag; a stop request ends a transfer early (red STOPPED line, error flag). Reads
// replace the image only when the whole memory is in. The writes take the write delay from the
// text of pic_delay (modulo 256, in ms, after each programming cycle) and throw
// image::ConversionError for a text that is not a number before anything is sent.
void ReadFlash(PicContext& ctx, PicChip chip, image::MemoryImage& flash);
void VerifyFlash(PicContext& ctx, PicChip chip, const image::MemoryImage& flash);
// The programming cycle the FLASH write starts for each word. EraseAndProgram: Begin
// Erase/Programming and the write delay. AfterBulkErase, the "Fast write" setting in a
// sequence that has just bulk-erased the chip: the chip's programming-only cycle with its data
// sheet time, and words that are to stay erased only read back. The PIC16F84 has no such cycle
// and keeps the first. The data EEPROM is always written with erase and program.
enum class WriteCycle { EraseAndProgram, AfterBulkErase };

// PIC16F84: every word; PIC16F876: the words up to the last one that is not 0x3FFF.
void WriteFlash(PicContext& ctx, PicChip chip, const image::MemoryImage& flash,
                const std::string& picDelay, WriteCycle cycle = WriteCycle::EraseAndProgram);
void ReadEepromInt(PicContext& ctx, PicChip chip, image::MemoryImage& eeprom);
void VerifyEepromInt(PicContext& ctx, PicChip chip, const image::MemoryImage& eeprom);
void WriteEepromInt(PicContext& ctx, PicChip chip, const image::MemoryImage& eeprom,
                    const std::string& picDelay);

// What a write does for each cell: the command that starts the cycle, the pause after it,
// and whether a cell that is to stay erased is only read back.
struct CellCycle {
  uint8_t begin;
  uint8_t pauseMs;
  bool erasedOnlyRead;
};
CellCycle CellCycleFor(PicChip chip, WriteCycle cycle, uint8_t delayMs);
// True when the chip has the programming-only cycle (AfterBulkErase changes anything).
bool HasProgramOnlyCycle(PicChip chip);
// The least hardware time of the FLASH write with the erase-and-program cycle (its delays, and
// its transfer at one microsecond per port access), in microseconds; 0 for a delay text that
// is not a number.
uint64_t EraseProgramFlashWriteUs(PicChip chip, const image::MemoryImage& flash,
                                  const std::string& picDelay);

// The configuration word at 0x2007, written twice and read back: a word the chip does not
// keep is the red "PIC WRITE CONFIG BIT : ERROR" line and the error flag.
void WriteConfigWord(PicContext& ctx, PicChip chip, uint16_t word, const std::string& picDelay);
// Reads the configuration word; `loadWord` is the data of the Load Configuration command.
// Nothing (and the red ERROR PORT line) when the session is not usable.
std::optional<uint16_t> ReadConfigWord(PicContext& ctx, PicChip chip, uint16_t loadWord);

// The bulk erase routine of the chip.
void Erase(PicContext& ctx, PicChip chip);

}  // namespace vexilo::pic
