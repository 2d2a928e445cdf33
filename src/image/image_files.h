#pragma once
#include <cstdint>
#include <string>

#include "image/memory_image.h"

namespace vexilo::image {

// Byte addresses of the extra memories in a PIC program file: the configuration word at
// 0x2007 and the data EEPROM at 0x2100, each as 16-bit words.
inline constexpr uint32_t kPicConfigAddress = 0x400E;
inline constexpr uint32_t kPicConfigBytes = 30;
inline constexpr uint32_t kPicEepromAddress = 0x4200;

// Where the memories of one card type lie in its image files.
struct ImageLayout {
  ImageKind flashKind;
  uint32_t flashWords;
  uint32_t eepromIntBytes;
  // AVR: the bytes above the FLASH size in a FLASH file belong to the internal EEPROM.
  bool eepromAfterFlash;
};

// What a FLASH file gives: the FLASH image, the internal EEPROM image (blank where the file has
// nothing for it) and, for PIC files, the configuration word bytes (0xFF when absent).
struct FlashFile {
  MemoryImage flash;
  MemoryImage eepromInt;
  uint8_t configLow = 0xFF;
  uint8_t configHigh = 0xFF;
  // Bytes of the file that lie outside every image and were not loaded.
  uint32_t droppedBytes = 0;
};

// Loads build new images and throw FileError on any fault, so the caller's images stay as they
// were until a load has fully succeeded.
FlashFile LoadFlashHex(const std::string& path, const ImageLayout& layout);
// `dropped`, when given, counts the bytes of the file that lie outside the image.
// Stops at the first data record at or past the image size.
MemoryImage LoadEepromIntHex(const std::string& path, uint32_t sizeBytes,
                             uint32_t* dropped = nullptr);
// Takes every non-empty line as a record.
MemoryImage LoadEepromExtHex(const std::string& path, uint32_t sizeBytes,
                             uint32_t* dropped = nullptr);
// An empty file is refused ("no data").
MemoryImage LoadEepromBin(const std::string& path, uint32_t sizeBytes, uint32_t* dropped = nullptr);

// The file texts the savers write (one record per 16 bytes, then the end record).
std::string FlashHexText(const FlashFile& file);
std::string EepromHexText(const MemoryImage& eeprom);

void SaveFlashHex(const std::string& path, const FlashFile& file);
void SaveEepromHex(const std::string& path, const MemoryImage& eeprom);

// A name whose fourth character from the end is not "." gets ".hex" appended.
std::string HexFileName(const std::string& name);
// True for a name ending in ".bin" (any case): the EEPROM loads read it as raw bytes.
bool IsBinFileName(const std::string& name);

}  // namespace vexilo::image
