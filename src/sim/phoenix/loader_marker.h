#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/phoenix/loader_family.h"

namespace vexilo::sim {

// Simulator loader images: test data that stands for a card loader, not firmware.
//
// A real card loader is a firmware that comes with the card. The simulated card runs one of
// the loader models instead, and only when the chip's program memory carries this marker:
//
//   the ASCII text "VEXILO-SIM-LOADER:" followed by the family name ("avr", "pic16f84" or
//   "pic16f876") and a 0 character, one character per program word from word address 0x0040
//   (byte address 0x0080) on, the character in the word's low byte and 0x34 in its high byte.
//
// 0x34kk is the PIC instruction RETLW k, the way a PIC keeps a text table, so the text fits a
// 14-bit PIC program word; an AVR carries the same words. Words 0x0040 .. 0x005C lie inside
// what every loader installer writes (the smallest, for the PIC16F876, writes words 0 .. 575).
// Program memory is in the chips' byte order: word w at bytes 2w (low) and 2w + 1 (high).
constexpr std::string_view kLoaderMarkerText = "VEXILO-SIM-LOADER:";
constexpr uint32_t kLoaderMarkerWord = 0x0040;
constexpr uint8_t kLoaderMarkerHighByte = 0x34;

// The loader family named by the marker in `programMemory`, if it carries one.
std::optional<LoaderFamily> FindLoaderMarker(std::span<const uint8_t> programMemory);

// Program-memory bytes from address 0 up to the marker's terminating word, with the marker of
// `family` and the erased value everywhere else (AVR 0xFF bytes, PIC the word 0x3FFF).
std::vector<uint8_t> MakeSimLoaderImage(LoaderFamily family);

// The same image as Intel HEX text for a loader directory: data records of up to 16 bytes for
// the marker words only (byte addresses as in program memory), then the end record.
std::string MakeSimLoaderHex(LoaderFamily family);

}  // namespace vexilo::sim
