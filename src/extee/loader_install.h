#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "avr/avr_chip.h"
#include "avr/avr_operations.h"
#include "extee/extee_operations.h"
#include "pic/pic_chip.h"
#include "pic/pic_operations.h"
#include "port/operation_log.h"

namespace vexilo::extee {

// The card loader: a small firmware that comes with the card, written into the card's chip
// for the time it takes to fill the 24Cxx EEPROM beside it. The files live in the `loader`
// folder of the current directory: loader_at90s8515.hex (Fun Card, ATMega Card, NeooCard),
// loader_pic16f84.hex (Wafer Card), loader_pic16f876.hex (Pic Card 2).

// The file name below the current directory.
std::string LoaderFileName(LoaderFamily kind);

// What a loader file holds: program bytes in the chips' order (word k at 2k low, 2k + 1 high),
// erased where the file has nothing, and for the PIC16F84 its data EEPROM.
struct LoaderImage {
  std::vector<uint8_t> program;
  std::vector<uint8_t> eeprom;
};

// A loader file that cannot be used: the message names the file and the line.
class LoaderFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the loader's Intel HEX text. AVR: bytes from 0x0000 up to 0x1FFF, parsing stops at
// the first record at 0x2000 or above. PIC: program bytes below 0x0800 (PIC16F84) or 0x4000
// (PIC16F876); from 0x4200 on the data EEPROM, one byte per program word (its low byte).
// Records must be data records before the end record; checksums are checked.
LoaderImage ParseLoaderHex(LoaderFamily kind, std::string_view text, const std::string& fileName);
// Reads and parses the loader file; LoaderFileError when it is missing or unreadable.
LoaderImage ReadLoaderFile(LoaderFamily kind, const std::string& path);

// "ATMEL WRITE LOADER": the first 991 words into the chip in programming mode, each read back;
// `routine` AT90S8515 writes byte by byte, the ATmega chips one word per page write (with
// `wait` Polling: whole pages, see avr/fast_write.h).
void WriteAvrLoader(port::OperationContext& ctx, avr::AvrChip routine, const LoaderImage& loader,
                    const std::string& avrDelay, avr::WriteWait wait = avr::WriteWait::FixedDelay);
// "PIC WRITE LOADER": program words (PIC16F84 all 1024 and its 64 EEPROM bytes, PIC16F876
// words 0 .. 575) and the loader's fixed configuration word; enters programming mode itself.
// `cycle` as for the PIC memory writes.
void WritePicLoader(port::OperationContext& ctx, pic::PicChip chip, const LoaderImage& loader,
                    const std::string& picDelay,
                    pic::WriteCycle cycle = pic::WriteCycle::EraseAndProgram);

}  // namespace vexilo::extee
