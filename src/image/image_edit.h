#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/memory_image.h"

namespace vexilo::image {

// An edit an image cannot take (a value wider than the cell, an address outside the image, text
// that is not hex). Nothing of the image has changed when it is thrown.
class EditError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Addresses are the ones the grids show: word addresses in the FLASH images, byte addresses in
// the EEPROM images; a cell is one word or one byte.

// Hex bytes from text: pairs of hex digits, spaces, tabs and line ends between them allowed
// ("DE AD BEEF"). Throws EditError.
std::vector<uint8_t> ParseHexBytes(const std::string& text);

// The value of a cell text as the grid shows it (AVR FLASH: low byte first; PIC FLASH: the
// word; EEPROM: the byte), at most as many digits as the cell has; a PIC FLASH word is 14 bits,
// so at most 3FFF. Throws EditError.
uint16_t ParseCellText(ImageKind kind, const std::string& text);

// The ASCII column of data row `row` (from 1) typed over: each character of `text` that differs
// from what the column shows puts its code into the byte it stands for (a '.' left as it is
// keeps a byte that is not printable). Checked whole first; throws EditError (a character too
// wide for a PIC word's high byte, a text longer than the row). Returns the cells written.
std::vector<uint32_t> SetAsciiText(MemoryImage& image, uint32_t row, const std::string& text);

// Writes `bytes` in memory order from the cell at `address` on. Throws EditError when they run
// past the image or make a PIC FLASH word wider than 14 bits. Returns the cells written.
std::pair<uint32_t, uint32_t> SetBytes(MemoryImage& image, uint32_t address,
                                       const std::vector<uint8_t>& bytes);

// Every byte of cells `from` .. `to` (inclusive) gets `value`; in PIC FLASH the word's high byte
// keeps its low six bits (FF fills 3FFF, the erased word). Throws EditError on a bad range.
void Fill(MemoryImage& image, uint32_t from, uint32_t to, uint8_t value);

// Hex text pasted at cell `start`: a line per grid row from the start column on, the cells
// parted by spaces or tabs, each a cell text as the grid shows it (what copying a selection
// gives). A longer run of digits is taken as several cells. Checked whole before anything is
// written; throws EditError. Returns the cells written, in order.
std::vector<uint32_t> PasteHexText(MemoryImage& image, uint32_t start, const std::string& text);

// The first byte address at or after `fromByte` where `needle` stands (wrapping round to the
// image's start), or nothing.
std::optional<uint32_t> FindBytes(const MemoryImage& image, const std::vector<uint8_t>& needle,
                                  uint32_t fromByte);
// The cell that holds byte address `byte`.
inline uint32_t CellOfByte(const MemoryImage& image, uint32_t byte) {
  return image.Kind() == ImageKind::Eeprom ? byte : byte / 2;
}
inline uint32_t FirstByteOfCell(const MemoryImage& image, uint32_t cell) {
  return image.Kind() == ImageKind::Eeprom ? cell : cell * 2;
}

// The sum (32 bits) and CRC-32 (zlib's, as `crc32` and most tools give it) of the image's
// bytes in memory order, as "Sum 0003FC00  CRC-32 8A2F6B11".
std::string ChecksumLine(const MemoryImage& image);

// An address range "FROM-TO" or a single "ADDR", in hex, parsed for an image. Throws EditError.
std::pair<uint32_t, uint32_t> ParseCellRange(const MemoryImage& image, const std::string& text);
uint32_t ParseCellAddress(const MemoryImage& image, const std::string& text);

}  // namespace vexilo::image
