#include "image/image_edit.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

#include "image/hex_to_int.h"

namespace vexilo::image {
namespace {

unsigned char uc(char c) { return static_cast<unsigned char>(c); }

unsigned BytesPerCell(const MemoryImage& image) {
  return image.Kind() == ImageKind::Eeprom ? 1 : 2;
}

unsigned DigitsPerCell(ImageKind kind) { return kind == ImageKind::Eeprom ? 2 : 4; }

bool IsHex(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(uc(c)); });
}

// The byte address of the `k`-th character of a row's ASCII column.
uint32_t AsciiByte(const MemoryImage& image, uint32_t row, unsigned k) {
  const uint32_t cell = (row - 1) * image.CellsPerRow() + k / BytesPerCell(image);
  if (image.Kind() == ImageKind::Eeprom) return cell;
  // AVR words show low byte first, PIC words high byte first.
  const unsigned low = image.Kind() == ImageKind::AvrFlash ? 0 : 1;
  return 2 * cell + (k % 2 == low ? 0 : 1);
}

bool PicHighByteTooWide(const MemoryImage& image, uint32_t byte, uint8_t value) {
  return image.Kind() == ImageKind::PicFlash && (byte & 1) && value > 0x3F;
}

std::string PicWidthMessage(uint32_t cell) {
  return "the word at " + ToHex(cell, 4) + " would be wider than 14 bits: PIC FLASH words are " +
         "0000 to 3FFF";
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\r') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

}  // namespace

std::vector<uint8_t> ParseHexBytes(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    if (!std::isxdigit(uc(c))) {
      throw EditError("\"" + ShortenForMessage(text) + "\" is not hex bytes (digits 0-9, A-F)");
    }
    digits += c;
  }
  if (digits.empty() || digits.size() % 2) {
    throw EditError("\"" + ShortenForMessage(text) +
                    "\" is not hex bytes: give two digits for each byte");
  }
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(HexToInt(digits.substr(i, 2))));
  }
  return bytes;
}

uint16_t ParseCellText(ImageKind kind, const std::string& text) {
  const unsigned digits = DigitsPerCell(kind);
  if (!IsHex(text) || text.size() > digits) {
    throw EditError("\"" + ShortenForMessage(text) + "\" is not a cell value: give 1 to " +
                    std::to_string(digits) + " hex digits");
  }
  const auto value = static_cast<uint32_t>(HexToInt(text));
  switch (kind) {
    case ImageKind::Eeprom:
      return static_cast<uint16_t>(value);
    case ImageKind::AvrFlash: {
      // The cell shows the low byte first: "0C94" is 940C. Fewer digits are the low byte's end.
      const std::string full = std::string(4 - text.size(), '0') + text;
      return static_cast<uint16_t>(HexToInt(full.substr(0, 2)) | HexToInt(full.substr(2, 2)) << 8);
    }
    case ImageKind::PicFlash:
      if (value > 0x3FFF) {
        throw EditError(text + " is wider than 14 bits: PIC FLASH words are 0000 to 3FFF");
      }
      return static_cast<uint16_t>(value);
  }
  return 0;
}

std::vector<uint32_t> SetAsciiText(MemoryImage& image, uint32_t row, const std::string& text) {
  if (row < 1 || row > image.Rows()) throw EditError("no such row");
  const std::string shown = image.AsciiText(row);
  const unsigned chars = image.CellsPerRow() * BytesPerCell(image);
  if (text.size() > chars) {
    throw EditError("a row holds " + std::to_string(chars) + " characters");
  }
  std::vector<std::pair<uint32_t, uint8_t>> writes;
  for (unsigned k = 0; k < text.size(); ++k) {
    if (text[k] == shown[k]) continue;
    const auto value = static_cast<uint8_t>(text[k]);
    const uint32_t byte = AsciiByte(image, row, k);
    if (PicHighByteTooWide(image, byte, value)) {
      throw EditError(std::string("'") + text[k] + "' does not fit: " + PicWidthMessage(byte / 2));
    }
    writes.emplace_back(byte, value);
  }
  std::vector<uint32_t> cells;
  for (const auto& [byte, value] : writes) {
    image.SetByte(byte, value);
    const uint32_t cell = CellOfByte(image, byte);
    if (cells.empty() || cells.back() != cell) cells.push_back(cell);
  }
  return cells;
}

std::pair<uint32_t, uint32_t> SetBytes(MemoryImage& image, uint32_t address,
                                       const std::vector<uint8_t>& bytes) {
  const uint64_t first = FirstByteOfCell(image, address);
  if (bytes.empty() || address >= image.Cells() || first + bytes.size() > image.SizeBytes()) {
    throw EditError(std::to_string(bytes.size()) + " bytes at " + ToHex(address, 4) +
                    " run past the image's end (its last cell is " +
                    ToHex(image.Cells() ? image.Cells() - 1 : 0, 4) + ")");
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<uint32_t>(first + i);
    if (PicHighByteTooWide(image, byte, bytes[i])) throw EditError(PicWidthMessage(byte / 2));
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    image.SetByte(static_cast<uint32_t>(first + i), bytes[i]);
  }
  return {address, CellOfByte(image, static_cast<uint32_t>(first + bytes.size() - 1))};
}

void Fill(MemoryImage& image, uint32_t from, uint32_t to, uint8_t value) {
  if (from > to || to >= image.Cells()) {
    throw EditError(ToHex(from, 4) + "-" + ToHex(to, 4) + " is not a range of this image (0000-" +
                    ToHex(image.Cells() ? image.Cells() - 1 : 0, 4) + ")");
  }
  const uint32_t end = FirstByteOfCell(image, to) + BytesPerCell(image);
  for (uint32_t b = FirstByteOfCell(image, from); b < end; ++b) {
    image.SetByte(b, PicHighByteTooWide(image, b, value) ? value & 0x3F : value);
  }
}

std::vector<uint32_t> PasteHexText(MemoryImage& image, uint32_t start, const std::string& text) {
  if (start >= image.Cells()) throw EditError("no cell to paste at");
  const unsigned digits = DigitsPerCell(image.Kind());
  const uint32_t perRow = image.CellsPerRow();
  std::vector<std::pair<uint32_t, uint16_t>> writes;
  uint32_t row = start / perRow;
  size_t lineStart = 0;
  int lineNumber = 0;
  while (lineStart <= text.size()) {
    size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = text.size();
    const std::vector<std::string> words = Words(text.substr(lineStart, lineEnd - lineStart));
    ++lineNumber;
    uint32_t cell = row * perRow + start % perRow;
    for (const std::string& word : words) {
      if (!IsHex(word) || (word.size() > digits && word.size() % digits)) {
        throw EditError("line " + std::to_string(lineNumber) + ": \"" + ShortenForMessage(word) +
                        "\" is not a cell value of " + std::to_string(digits) + " hex digits");
      }
      for (size_t i = 0; i < word.size(); i += digits) {
        if (cell >= (row + 1) * perRow || cell >= image.Cells()) {
          throw EditError("line " + std::to_string(lineNumber) +
                          " has more cells than the row holds from the start column");
        }
        try {
          writes.emplace_back(cell++, ParseCellText(image.Kind(), word.substr(i, digits)));
        } catch (const EditError& e) {
          throw EditError("line " + std::to_string(lineNumber) + ": " + e.what());
        }
      }
    }
    lineStart = lineEnd + 1;
    if (!words.empty()) ++row;
  }
  if (writes.empty()) throw EditError("the text holds no hex cells");
  std::vector<uint32_t> cells;
  for (const auto& [cell, value] : writes) {
    image.SetCell(cell, value);
    cells.push_back(cell);
  }
  return cells;
}

std::optional<uint32_t> FindBytes(const MemoryImage& image, const std::vector<uint8_t>& needle,
                                  uint32_t fromByte) {
  const std::vector<uint8_t>& hay = image.Bytes();
  if (needle.empty() || needle.size() > hay.size()) return std::nullopt;
  fromByte = std::min<uint32_t>(fromByte, static_cast<uint32_t>(hay.size()));
  auto at = std::search(hay.begin() + fromByte, hay.end(), needle.begin(), needle.end());
  if (at == hay.end()) at = std::search(hay.begin(), hay.end(), needle.begin(), needle.end());
  if (at == hay.end()) return std::nullopt;
  return static_cast<uint32_t>(at - hay.begin());
}

std::string ChecksumLine(const MemoryImage& image) {
  uint32_t sum = 0;
  for (uint8_t b : image.Bytes()) sum += b;
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, image.Bytes().data(), static_cast<uInt>(image.Bytes().size()));
  return "Sum " + ToHex(sum, 8) + "  CRC-32 " + ToHex(static_cast<uint32_t>(crc), 8);
}

uint32_t ParseCellAddress(const MemoryImage& image, const std::string& text) {
  if (!IsHex(text) || text.size() > 8) {
    throw EditError("\"" + ShortenForMessage(text) + "\" is not a hex address");
  }
  const auto address = static_cast<uint32_t>(std::stoul(text, nullptr, 16));
  if (address >= image.Cells()) {
    throw EditError(text + " is past the image's end (its last cell is " +
                    ToHex(image.Cells() ? image.Cells() - 1 : 0, 4) + ")");
  }
  return address;
}

std::pair<uint32_t, uint32_t> ParseCellRange(const MemoryImage& image, const std::string& text) {
  const size_t dash = text.find('-');
  if (dash == std::string::npos) {
    const uint32_t a = ParseCellAddress(image, text);
    return {a, a};
  }
  const uint32_t from = ParseCellAddress(image, text.substr(0, dash));
  const uint32_t to = ParseCellAddress(image, text.substr(dash + 1));
  if (from > to) throw EditError(text + ": the range ends before it starts");
  return {from, to};
}

}  // namespace vexilo::image
