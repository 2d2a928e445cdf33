// The command bytes, block sizes, pauses and log names of the three card loaders.
#include "extee/loader_rows.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

#include "image/hex_to_int.h"

namespace vexilo::extee {
namespace {

constexpr unsigned kSwitchPauseMs = 1000;

// The loaders answer a header they take with the procedure byte INS and close a command with
// SW1 SW2 (the PIC16F876 loader: one byte; after a read it sends a check byte instead).
constexpr BlockCommand kAvrRead{.ins = 0x22,
                                .p3 = 0x10,
                                .dataBytes = 16,
                                .ackChecked = true,
                                .ackPauseMs = 0,
                                .checkByte = false,
                                .trailingBytes = 2,
                                .status = std::nullopt};
constexpr BlockCommand kAvrWrite{.ins = 0x20,
                                 .p3 = 0x10,
                                 .dataBytes = 16,
                                 .ackChecked = true,
                                 .ackPauseMs = 25,
                                 .checkByte = false,
                                 .trailingBytes = 2,
                                 .status = std::nullopt};
constexpr BlockCommand kPic84Read{.ins = 0x21,
                                  .p3 = 0x08,
                                  .dataBytes = 8,
                                  .ackChecked = true,
                                  .ackPauseMs = 0,
                                  .checkByte = false,
                                  .trailingBytes = 2,
                                  .status = std::nullopt};
constexpr BlockCommand kPic84Write{.ins = 0x22,
                                   .p3 = 0x08,
                                   .dataBytes = 8,
                                   .ackChecked = false,
                                   .ackPauseMs = 30,
                                   .checkByte = false,
                                   .trailingBytes = 2,
                                   .status = std::nullopt};
// P3 of the PIC16F876 loader counts the check byte after the data.
constexpr BlockCommand kPic876Read{.ins = 0x01,
                                   .p3 = 0x21,
                                   .dataBytes = 32,
                                   .ackChecked = false,
                                   .ackPauseMs = 0,
                                   .checkByte = false,
                                   .trailingBytes = 1,
                                   .status = std::nullopt};
constexpr BlockCommand kPic876VerifyRead{.ins = 0x01,
                                         .p3 = 0x11,
                                         .dataBytes = 16,
                                         .ackChecked = false,
                                         .ackPauseMs = 0,
                                         .checkByte = false,
                                         .trailingBytes = 1,
                                         .status = std::nullopt};
constexpr BlockCommand kPic876Write{.ins = 0x02,
                                    .p3 = 0x11,
                                    .dataBytes = 16,
                                    .ackChecked = true,
                                    .ackPauseMs = 30,
                                    .checkByte = true,
                                    .trailingBytes = 0,
                                    .status = 0x90};

constexpr std::array<LoaderRow, 3> kLoaders{{
    {LoaderFamily::Avr, 0x3B, 0},
    {LoaderFamily::Pic16F84, 0x3B, 2048},
    {LoaderFamily::Pic16F876, 0x01, 0},
}};

constexpr std::array<OperationRow, 9> kOperations{{
    {LoaderFamily::Avr, Operation::Read, "ATMEL READ EEPROM EXT", "ATMEL READ EEPROM EXT",
     kSwitchPauseMs, 50, 50, false, kAvrRead, std::nullopt, false, true, false},
    {LoaderFamily::Avr, Operation::Verify, "ATMEL VERYFI EEPROM EXT", "ATMEL VERYFI EEPROM EXT",
     kSwitchPauseMs, 50, 50, true, kAvrRead, std::nullopt, false, true, false},
    {LoaderFamily::Avr, Operation::Write, "ATMEL WRITE EEPROM EXT", "ATMEL WRITE EEPROM EXT",
     kSwitchPauseMs, 200, 50, true, kAvrWrite, std::nullopt, false, true, true},
    // The PIC16F84 read and verify name their ACK and difference lines as the AVR ones do.
    {LoaderFamily::Pic16F84, Operation::Read, "PIC READ EEPROM EXT", "ATMEL READ EEPROM EXT",
     kSwitchPauseMs, 150, 50, true, kPic84Read, std::nullopt, false, true, false},
    {LoaderFamily::Pic16F84, Operation::Verify, "PIC VERYFI EEPROM EXT", "ATMEL VERYFI EEPROM EXT",
     kSwitchPauseMs, 150, 50, true, kPic84Read, std::nullopt, true, true, false},
    {LoaderFamily::Pic16F84, Operation::Write, "PIC WRITE EEPROM EXT", "PIC WRITE EEPROM EXT",
     kSwitchPauseMs, 100, 250, false, kPic84Write, std::nullopt, false, false, false, true},
    {LoaderFamily::Pic16F876, Operation::Read, "PIC READ EEPROM EXT", "PIC READ EEPROM EXT", 1500,
     50, 50, false, kPic876Read, std::nullopt, false, true, false},
    {LoaderFamily::Pic16F876, Operation::Verify, "PIC VERYFI EEPROM EXT", "PIC VERYFI EEPROM EXT",
     kSwitchPauseMs, 50, 50, true, kPic876VerifyRead, 50, false, true, false},
    {LoaderFamily::Pic16F876, Operation::Write, "PIC WRITE EEPROM EXT", "PIC WRITE EEPROM EXT",
     kSwitchPauseMs, 100, 100, true, kPic876Write, std::nullopt, false, true, false},
}};

constexpr std::array<uint32_t, 4> kAvrSizes{8192, 16384, 32768, 65536};
constexpr std::array<uint32_t, 2> kPic876Sizes{8192, 16384};

}  // namespace

const LoaderRow& LoaderRowFor(LoaderFamily loader) {
  for (const LoaderRow& row : kLoaders) {
    if (row.loader == loader) return row;
  }
  throw std::invalid_argument("unknown loader family");
}

const OperationRow& RowFor(LoaderFamily loader, Operation operation) {
  for (const OperationRow& row : kOperations) {
    if (row.loader == loader && row.operation == operation) return row;
  }
  throw std::invalid_argument("unknown loader operation");
}

bool ServesSize(LoaderFamily loader, uint32_t bytes) {
  switch (loader) {
    case LoaderFamily::Avr:
      return std::find(kAvrSizes.begin(), kAvrSizes.end(), bytes) != kAvrSizes.end();
    case LoaderFamily::Pic16F84:
      return bytes == LoaderRowFor(loader).fixedBytes;
    case LoaderFamily::Pic16F876:
      return std::find(kPic876Sizes.begin(), kPic876Sizes.end(), bytes) != kPic876Sizes.end();
  }
  return false;
}

uint32_t TransferBytes(LoaderFamily loader, uint32_t bytes) {
  const uint32_t fixed = LoaderRowFor(loader).fixedBytes;
  if (fixed != 0) return fixed;
  if (!ServesSize(loader, bytes)) {
    throw std::invalid_argument("no 24Cxx of " + std::to_string(bytes) +
                                " bytes on a card with this loader");
  }
  return bytes;
}

uint8_t TxDelayFromText(const std::string& text) { return image::DecimalToByte(text); }

}  // namespace vexilo::extee
