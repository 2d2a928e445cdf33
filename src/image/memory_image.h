#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vexilo::image {

// What a memory image holds and so how its cells are written:
//   AvrFlash: one program word per cell, its two bytes in memory order (low byte first),
//             four hex digits ("0C94" is low byte 0C, high byte 94); blank "FFFF".
//   PicFlash: one 14-bit program word per cell, the word value high byte first; blank "3FFF".
//   Eeprom:   one byte per cell, two hex digits; blank "FF".
enum class ImageKind { AvrFlash, PicFlash, Eeprom };

// One memory image as the grids show it: rows of 8 words (FLASH) or 16 bytes (EEPROM), an
// address column and an ASCII column. Values are kept as bytes in memory order; the cell texts
// are made from them when asked for.
class MemoryImage {
 public:
  MemoryImage() = default;
  MemoryImage(ImageKind kind, uint32_t cells);

  ImageKind Kind() const { return kind_; }
  uint32_t Cells() const { return cells_; }
  uint32_t CellsPerRow() const { return kind_ == ImageKind::Eeprom ? 16 : 8; }
  uint32_t Rows() const { return cells_ / CellsPerRow(); }
  uint32_t SizeBytes() const { return static_cast<uint32_t>(bytes_.size()); }

  // Resizes to `cells` and writes the blank value into every cell.
  void Reset(uint32_t cells);
  void Blank();

  // Byte in memory order: EEPROM address, or FLASH byte address (word w at 2w, 2w + 1; for
  // PIC words 2w is the low byte).
  uint8_t Byte(uint32_t address) const { return bytes_[address]; }
  void SetByte(uint32_t address, uint8_t value) { bytes_[address] = value; }

  // A FLASH word (AVR: low | high << 8; PIC: the 14-bit word) or an EEPROM byte.
  uint16_t Cell(uint32_t index) const;
  void SetCell(uint32_t index, uint16_t value);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

  // Grid texts. Row 0 is the header row; data rows count from 1. Column 0 is the address,
  // columns 1 .. CellsPerRow() the cells, the last column the ASCII text.
  uint32_t Columns() const { return CellsPerRow() + 2; }
  std::string Text(uint32_t row, uint32_t column) const;
  std::string CellText(uint32_t index) const;
  std::string AddressText(uint32_t row) const;
  std::string AsciiText(uint32_t row) const;
  std::string HeaderText(uint32_t column) const;

  bool operator==(const MemoryImage&) const = default;

 private:
  uint8_t BlankByte(uint32_t address) const;

  ImageKind kind_ = ImageKind::Eeprom;
  uint32_t cells_ = 0;
  std::vector<uint8_t> bytes_;
};

// What one row of a grid shows: the address, the cells, the ASCII text, joined by `separator`.
std::string RowLine(const MemoryImage& image, uint32_t row, char separator = '\t');

}  // namespace vexilo::image
