#include "image/memory_image.h"

#include "image/hex_to_int.h"

namespace vexilo::image {
namespace {

constexpr char kDots[] = "................";

char AsciiChar(uint8_t value) {
  return value >= 0x21 && value <= 0x7E ? static_cast<char>(value) : '.';
}

}  // namespace

MemoryImage::MemoryImage(ImageKind kind, uint32_t cells) : kind_(kind) { Reset(cells); }

void MemoryImage::Reset(uint32_t cells) {
  cells_ = cells;
  bytes_.assign(kind_ == ImageKind::Eeprom ? cells : 2 * cells, 0xFF);
  Blank();
}

uint8_t MemoryImage::BlankByte(uint32_t address) const {
  // An erased PIC word is 3FFF: its high byte (odd address) is 3F.
  return kind_ == ImageKind::PicFlash && (address & 1) ? 0x3F : 0xFF;
}

void MemoryImage::Blank() {
  for (uint32_t a = 0; a < bytes_.size(); ++a) bytes_[a] = BlankByte(a);
}

uint16_t MemoryImage::Cell(uint32_t index) const {
  if (kind_ == ImageKind::Eeprom) return bytes_[index];
  return static_cast<uint16_t>(bytes_[2 * index] | bytes_[2 * index + 1] << 8);
}

void MemoryImage::SetCell(uint32_t index, uint16_t value) {
  if (kind_ == ImageKind::Eeprom) {
    bytes_[index] = static_cast<uint8_t>(value);
    return;
  }
  bytes_[2 * index] = static_cast<uint8_t>(value);
  bytes_[2 * index + 1] = static_cast<uint8_t>(value >> 8);
}

std::string MemoryImage::CellText(uint32_t index) const {
  switch (kind_) {
    case ImageKind::Eeprom:
      return ToHex(bytes_[index], 2);
    case ImageKind::AvrFlash:
      return ToHex(bytes_[2 * index], 2) + ToHex(bytes_[2 * index + 1], 2);
    case ImageKind::PicFlash:
      return ToHex(Cell(index), 4);
  }
  return {};
}

std::string MemoryImage::AddressText(uint32_t row) const {
  return ToHex((row - 1) * CellsPerRow(), 4);
}

// Each cell's hex digit pairs, in the order they stand in the cell text, shown as characters.
std::string MemoryImage::AsciiText(uint32_t row) const {
  std::string out;
  out.reserve(16);
  uint32_t first = (row - 1) * CellsPerRow();
  for (uint32_t i = first; i < first + CellsPerRow() && i < cells_; ++i) {
    switch (kind_) {
      case ImageKind::Eeprom:
        out += AsciiChar(bytes_[i]);
        break;
      case ImageKind::AvrFlash:
        out += AsciiChar(bytes_[2 * i]);
        out += AsciiChar(bytes_[2 * i + 1]);
        break;
      case ImageKind::PicFlash:
        out += AsciiChar(bytes_[2 * i + 1]);
        out += AsciiChar(bytes_[2 * i]);
        break;
    }
  }
  out += kDots;
  out.resize(16);
  return out;
}

std::string MemoryImage::HeaderText(uint32_t column) const {
  if (column == 0) return "Adres";
  if (column == Columns() - 1) return "ASCII";
  return "+" + ToHex(column - 1, 1);
}

std::string MemoryImage::Text(uint32_t row, uint32_t column) const {
  if (row == 0) return HeaderText(column);
  if (column == 0) return AddressText(row);
  if (column == Columns() - 1) return AsciiText(row);
  return CellText((row - 1) * CellsPerRow() + column - 1);
}

std::string RowLine(const MemoryImage& image, uint32_t row, char separator) {
  std::string line;
  for (uint32_t c = 0; c < image.Columns(); ++c) {
    if (c) line += separator;
    line += image.Text(row, c);
  }
  return line;
}

}  // namespace vexilo::image
