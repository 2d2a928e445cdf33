#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/card/chip.h"
#include "sim/pic/pic_chip_traits.h"

namespace vexilo::sim {

// How a programming cycle treats the old contents: Begin Erase/Programming erases the cell
// first; Begin Programming Only can only clear bits (1 -> 0).
enum class PicWriteMode { kEraseProgram, kProgramOnly };

// The non-volatile memories of a PIC as the serial programming commands see them: program
// memory, data EEPROM and configuration memory, with code protection and planted faults.
class PicMemory {
 public:
  PicMemory(const PicChipTraits& traits, const ChipFaults& faults);

  // Read Data from Program Memory at `address` of the address counter (user or configuration
  // memory). Protected user words read as 0.
  uint16_t ReadProgramSpace(uint16_t address) const;
  // Read Data from Data Memory; the low address bits select the byte. Protected: 0.
  uint8_t ReadData(uint16_t address) const;

  void WriteProgramSpace(uint16_t address, uint16_t value, PicWriteMode mode);
  void WriteData(uint16_t address, uint8_t value, PicWriteMode mode);

  void EraseProgram();
  void EraseData();
  // ID locations and configuration word (the device ID is fixed).
  void EraseConfig();

  // True when any CP or CPD setting protects something.
  bool Protected() const;
  // The configuration word at 0x2007 (unimplemented bits read as 1).
  uint16_t ConfigurationWordValue() const { return ConfigurationWord(); }

  std::span<uint8_t> Flash() { return flash_; }
  std::span<const uint8_t> Flash() const { return flash_; }
  std::span<uint8_t> Eeprom() { return eeprom_; }
  std::span<uint8_t> Config() { return config_; }

  // Forces the stuck bit into the stored word (after the memory was loaded from outside).
  void ReapplyStuck();

 private:
  uint16_t ProgramWord(uint32_t word) const;
  void SetProgramWord(uint32_t word, uint16_t value);
  uint16_t ConfigWord(uint32_t index) const;
  void SetConfigWord(uint32_t index, uint16_t value);
  uint16_t ConfigurationWord() const;
  uint16_t ProgramConfigWord(uint16_t old, uint16_t value, PicWriteMode mode) const;
  bool WordProtected(uint32_t word) const;
  bool DataProtected() const;
  uint16_t ApplyStuck(uint32_t word, uint16_t value) const;

  const PicChipTraits& traits_;
  std::optional<ChipFaults::StuckBit> stuck_;
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> eeprom_;
  std::vector<uint8_t> config_;
};

}  // namespace vexilo::sim
