#include "sim/pic/pic_memory.h"

#include <algorithm>

namespace vexilo::sim {
namespace {

constexpr uint16_t kErasedWord = 0x3FFF;
constexpr uint8_t kErasedByte = 0xFF;
// The PIC16F87X CPD bit: 0 protects the data EEPROM.
constexpr uint16_t kCpdBit = 1u << 8;

uint16_t GetWord(std::span<const uint8_t> bytes, uint32_t word) {
  return static_cast<uint16_t>(bytes[2 * word] | (bytes[2 * word + 1] << 8));
}

void PutWord(std::span<uint8_t> bytes, uint32_t word, uint16_t value) {
  bytes[2 * word] = static_cast<uint8_t>(value);
  bytes[2 * word + 1] = static_cast<uint8_t>(value >> 8);
}

uint16_t Program(uint16_t old, uint16_t value, PicWriteMode mode) {
  return mode == PicWriteMode::kProgramOnly ? old & value : value;
}

}  // namespace

PicMemory::PicMemory(const PicChipTraits& traits, const ChipFaults& faults)
    : traits_(traits),
      stuck_(faults.stuck),
      flash_(2u * traits.programWords),
      eeprom_(traits.eepromBytes, kErasedByte),
      config_(2u * kPicConfigWords) {
  if (stuck_ && (stuck_->byteAddress >= flash_.size() || stuck_->bit > 7)) stuck_.reset();
  EraseProgram();
  EraseConfig();
  if (traits_.hasDeviceId) SetConfigWord(kPicDeviceIdIndex, traits_.deviceId);
}

uint16_t PicMemory::ReadProgramSpace(uint16_t address) const {
  address &= kPicAddressMask;
  if (address >= kPicConfigSpace) {
    const uint32_t index = address - kPicConfigSpace;
    // Configuration memory always reads, whatever the code protection; nothing is
    // implemented above 0x2007.
    return index < kPicConfigWords ? ConfigWord(index) : 0;
  }
  // User memory wraps onto the implemented words.
  const uint32_t word = address & (traits_.programWords - 1u);
  if (WordProtected(word)) return 0;
  return ProgramWord(word);
}

uint8_t PicMemory::ReadData(uint16_t address) const {
  if (DataProtected()) return 0;
  return eeprom_[address & (traits_.eepromBytes - 1u)];
}

void PicMemory::WriteProgramSpace(uint16_t address, uint16_t value, PicWriteMode mode) {
  address &= kPicAddressMask;
  value &= kPicWordMask;
  if (address >= kPicConfigSpace) {
    const uint32_t index = address - kPicConfigSpace;
    if (index < 4) {
      SetConfigWord(index, Program(ConfigWord(index), value, mode));
    } else if (index == kPicConfigWordIndex) {
      SetConfigWord(index, ProgramConfigWord(ConfigurationWord(), value, mode));
    }
    return;  // reserved words, the device ID and unimplemented addresses do not program
  }
  const uint32_t word = address & (traits_.programWords - 1u);
  if (WordProtected(word)) return;
  SetProgramWord(word, Program(ProgramWord(word), value, mode));
}

void PicMemory::WriteData(uint16_t address, uint8_t value, PicWriteMode mode) {
  if (DataProtected()) return;
  uint8_t& cell = eeprom_[address & (traits_.eepromBytes - 1u)];
  cell = mode == PicWriteMode::kProgramOnly ? cell & value : value;
}

void PicMemory::EraseProgram() {
  for (uint32_t word = 0; word < traits_.programWords; ++word) SetProgramWord(word, kErasedWord);
}

void PicMemory::EraseData() { std::fill(eeprom_.begin(), eeprom_.end(), kErasedByte); }

void PicMemory::EraseConfig() {
  for (uint32_t index = 0; index < kPicConfigWords; ++index) {
    if (index != kPicDeviceIdIndex || !traits_.hasDeviceId) SetConfigWord(index, kErasedWord);
  }
}

bool PicMemory::Protected() const {
  return DataProtected() || WordProtected(traits_.programWords - 1u);
}

uint16_t PicMemory::ProgramWord(uint32_t word) const {
  return ApplyStuck(word, GetWord(flash_, word)) & kPicWordMask;
}

void PicMemory::SetProgramWord(uint32_t word, uint16_t value) {
  PutWord(flash_, word, ApplyStuck(word, value & kPicWordMask));
}

uint16_t PicMemory::ConfigWord(uint32_t index) const {
  if (index == kPicDeviceIdIndex && traits_.hasDeviceId) return traits_.deviceId;
  if (index == kPicConfigWordIndex) return ConfigurationWord();
  return GetWord(config_, index) & kPicWordMask;
}

void PicMemory::SetConfigWord(uint32_t index, uint16_t value) {
  PutWord(config_, index, value & kPicWordMask);
}

uint16_t PicMemory::ConfigurationWord() const {
  // Unimplemented configuration bits read as 1.
  const uint16_t stored = GetWord(config_, kPicConfigWordIndex);
  return static_cast<uint16_t>((stored & traits_.configMask) |
                               (kPicWordMask & ~traits_.configMask));
}

uint16_t PicMemory::ProgramConfigWord(uint16_t old, uint16_t value, PicWriteMode mode) const {
  uint16_t next = Program(old, value, mode);
  // A protection bit once programmed (0) comes back to 1 only through the chip erase, so
  // rewriting the configuration word cannot expose protected memory.
  next = static_cast<uint16_t>((next & ~traits_.protectBits) | (next & old & traits_.protectBits));
  return static_cast<uint16_t>((next & traits_.configMask) | (kPicWordMask & ~traits_.configMask));
}

bool PicMemory::WordProtected(uint32_t word) const {
  const uint16_t config = ConfigurationWord();
  if (traits_.protection == PicProtection::kWholeChip) {
    return (config & traits_.protectBits) != traits_.protectBits;
  }
  // Both CP1:CP0 copies count; the more protective setting wins.
  const unsigned cp = ((config >> 4) & 3u) & ((config >> 12) & 3u);
  return word >= traits_.segmentStart[cp];
}

bool PicMemory::DataProtected() const {
  if (traits_.protection == PicProtection::kWholeChip) return WordProtected(0);
  return (ConfigurationWord() & kCpdBit) == 0;
}

uint16_t PicMemory::ApplyStuck(uint32_t word, uint16_t value) const {
  if (!stuck_ || stuck_->byteAddress / 2 != word) return value;
  const uint16_t mask = static_cast<uint16_t>(1u << ((stuck_->byteAddress & 1u) * 8 + stuck_->bit));
  return stuck_->stuckValue ? value | mask : value & ~mask;
}

void PicMemory::ReapplyStuck() {
  if (!stuck_) return;
  const uint32_t word = stuck_->byteAddress / 2;
  const uint16_t value =
      ApplyStuck(word, static_cast<uint16_t>(flash_[2 * word] | flash_[2 * word + 1] << 8));
  flash_[2 * word] = static_cast<uint8_t>(value & 0xFF);
  flash_[2 * word + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace vexilo::sim
