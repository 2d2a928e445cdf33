#include "image/image_files.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "image/intel_hex.h"

namespace vexilo::image {
namespace {

constexpr char kLineEnd[] = "\r\n";

// Copies the bytes of a record that start at `offset` of an image of `size` bytes, dropping
// those that fall past its end; returns how many were dropped.
template <typename Store>
uint32_t StoreWithin(uint32_t offset, const std::vector<uint8_t>& data, uint32_t size,
                     Store store) {
  uint32_t i = 0;
  for (; i < data.size() && offset + i < size; ++i) store(offset + i, data[i]);
  return static_cast<uint32_t>(data.size()) - i;
}

void Count(uint32_t* dropped, uint32_t n) {
  if (dropped) *dropped += n;
}

FlashFile LoadAvrFlash(const std::string& path, const ImageLayout& layout) {
  FlashFile file{MemoryImage(ImageKind::AvrFlash, layout.flashWords),
                 MemoryImage(ImageKind::Eeprom, layout.eepromIntBytes)};
  uint32_t flashBytes = file.flash.SizeBytes();
  HexFileReader reader(path, true);
  while (auto record = reader.Next()) {
    // The memory is chosen once per record, on its start address.
    if (record->address < flashBytes) {
      file.droppedBytes += StoreWithin(record->address, *record->data, flashBytes,
                                       [&](uint32_t a, uint8_t b) { file.flash.SetByte(a, b); });
    } else if (layout.eepromAfterFlash) {
      file.droppedBytes +=
          StoreWithin(record->address - flashBytes, *record->data, file.eepromInt.SizeBytes(),
                      [&](uint32_t a, uint8_t b) { file.eepromInt.SetByte(a, b); });
    } else {
      file.droppedBytes += static_cast<uint32_t>(record->data->size());
    }
  }
  return file;
}

// PIC files put every memory in one 16-bit word address space (byte address = 2 x word
// address): program memory from 0, the configuration word at word 0x2007 and the data EEPROM
// from word 0x2100, one data byte per word.
FlashFile LoadPicFlash(const std::string& path, const ImageLayout& layout) {
  FlashFile file{MemoryImage(ImageKind::PicFlash, layout.flashWords),
                 MemoryImage(ImageKind::Eeprom, layout.eepromIntBytes)};
  const uint32_t flashBytes = file.flash.SizeBytes();
  const uint32_t eepromEnd = kPicEepromAddress + 2 * layout.eepromIntBytes;
  std::array<uint8_t, kPicConfigBytes> config;
  config.fill(0xFF);
  HexFileReader reader(path, true);
  while (auto record = reader.Next()) {
    for (uint32_t i = 0; i < record->data->size(); ++i) {
      uint32_t a = record->address + i;
      uint8_t b = (*record->data)[i];
      if (a < flashBytes) {
        file.flash.SetByte(a, b);
      } else if (a >= kPicEepromAddress && a < eepromEnd) {
        if ((a - kPicEepromAddress) % 2 == 0)
          file.eepromInt.SetByte((a - kPicEepromAddress) / 2, b);
      } else if (a >= kPicConfigAddress && a < kPicConfigAddress + kPicConfigBytes) {
        config[a - kPicConfigAddress] = b;
      } else {
        ++file.droppedBytes;
      }
    }
  }
  file.configLow = config[0];
  file.configHigh = config[1];
  return file;
}

void AppendRecord(std::string& out, uint16_t address, uint8_t type, std::span<const uint8_t> data) {
  out += MakeHexRecord(address, type, data);
  out += kLineEnd;
}

void AppendEnd(std::string& out) {
  out += kHexEndRecord;
  out += kLineEnd;
}

// Sixteen bytes a record; above 64 KB an extended linear address record gives the upper half.
void AppendRows(std::string& out, const std::vector<uint8_t>& bytes) {
  for (uint32_t a = 0; a < bytes.size(); a += 16) {
    if (a != 0 && a % 0x10000 == 0) {
      const std::array<uint8_t, 2> upper{static_cast<uint8_t>(a >> 24),
                                         static_cast<uint8_t>(a >> 16)};
      AppendRecord(out, 0, kHexExtendedLinear, upper);
    }
    size_t n = std::min<size_t>(16, bytes.size() - a);
    AppendRecord(out, static_cast<uint16_t>(a), kHexData, std::span(bytes).subspan(a, n));
  }
}

}  // namespace

FlashFile LoadFlashHex(const std::string& path, const ImageLayout& layout) {
  return layout.flashKind == ImageKind::PicFlash ? LoadPicFlash(path, layout)
                                                 : LoadAvrFlash(path, layout);
}

MemoryImage LoadEepromIntHex(const std::string& path, uint32_t sizeBytes, uint32_t* dropped) {
  MemoryImage image(ImageKind::Eeprom, sizeBytes);
  HexFileReader reader(path, true);
  while (auto record = reader.Next()) {
    if (record->address >= sizeBytes) {
      Count(dropped, static_cast<uint32_t>(record->data->size()));
      break;
    }
    Count(dropped, StoreWithin(record->address, *record->data, sizeBytes,
                               [&](uint32_t a, uint8_t b) { image.SetByte(a, b); }));
  }
  return image;
}

MemoryImage LoadEepromExtHex(const std::string& path, uint32_t sizeBytes, uint32_t* dropped) {
  MemoryImage image(ImageKind::Eeprom, sizeBytes);
  HexFileReader reader(path, false);
  while (auto record = reader.Next()) {
    if (record->address >= sizeBytes) {
      Count(dropped, static_cast<uint32_t>(record->data->size()));
      continue;
    }
    Count(dropped, StoreWithin(record->address, *record->data, sizeBytes,
                               [&](uint32_t a, uint8_t b) { image.SetByte(a, b); }));
  }
  return image;
}

MemoryImage LoadEepromBin(const std::string& path, uint32_t sizeBytes, uint32_t* dropped) {
  MemoryImage image(ImageKind::Eeprom, sizeBytes);
  std::string bytes = ReadWholeFile(path);
  if (bytes.empty()) throw FileError(path + ": no data (the file is empty)");
  for (uint32_t i = 0; i < bytes.size() && i < sizeBytes; ++i) {
    image.SetByte(i, static_cast<uint8_t>(bytes[i]));
  }
  if (bytes.size() > sizeBytes) Count(dropped, static_cast<uint32_t>(bytes.size() - sizeBytes));
  return image;
}

std::string FlashHexText(const FlashFile& file) {
  std::string out;
  out.reserve(file.flash.SizeBytes() / 16 * 45 + 64);
  AppendRows(out, file.flash.Bytes());
  if (file.flash.Kind() == ImageKind::PicFlash) {
    const std::array<uint8_t, 2> config{file.configLow, file.configHigh};
    AppendRecord(out, kPicConfigAddress, kHexData, config);
    // One word per EEPROM byte: the data byte, then a zero high byte.
    std::vector<uint8_t> words;
    for (uint8_t b : file.eepromInt.Bytes()) {
      words.push_back(b);
      words.push_back(0);
    }
    for (uint32_t a = 0; a < words.size(); a += 16) {
      size_t n = std::min<size_t>(16, words.size() - a);
      AppendRecord(out, static_cast<uint16_t>(kPicEepromAddress + a), kHexData,
                   std::span(words).subspan(a, n));
    }
  }
  AppendEnd(out);
  return out;
}

std::string EepromHexText(const MemoryImage& eeprom) {
  std::string out;
  AppendRows(out, eeprom.Bytes());
  AppendEnd(out);
  return out;
}

void SaveFlashHex(const std::string& path, const FlashFile& file) {
  WriteFileAtomically(path, FlashHexText(file));
}

void SaveEepromHex(const std::string& path, const MemoryImage& eeprom) {
  WriteFileAtomically(path, EepromHexText(eeprom));
}

std::string HexFileName(const std::string& name) {
  if (name.size() >= 4 && name[name.size() - 4] == '.') return name;
  return name + ".hex";
}

bool IsBinFileName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".bin";
}

}  // namespace vexilo::image
