#pragma once
#include <cstdint>
#include <string>

#include "avr/avr_operations.h"

namespace vexilo::avr {

// The log lines, address label, stop request and error flag of one memory operation, named
// like "ATMEL READ FLASH".
class OperationLog {
 public:
  OperationLog(AvrContext& ctx, const char* verb, const char* memory);

  void Line(const char* state);
  // The red "ERROR ADR[xxxx]" line of the first difference; sets the error flag when
  // `setsFlag`.
  void DifferenceAt(uint32_t address, bool setsFlag);
  void Length(uint32_t length);
  void ShowAddress(uint32_t address);

  // A stop request ends the operation: cleared, logged in red, reported by the error flag.
  bool StopRequested();
  // Without a usable session the lines drive nothing and every bit would read as 1; the
  // operation is refused rather than reporting data it never saw.
  bool PortUsable();

 private:
  void Error(const std::string& state);

  AvrContext& ctx_;
  std::string name_;
};

// Blank cell values beyond the end of an image.
constexpr uint16_t kBlankWord = 0xFFFF;
constexpr uint8_t kBlankByte = 0xFF;

// The write delay from the text of avr_delay, in 8 bits; throws image::ConversionError.
uint8_t WriteDelayMs(const std::string& text);

}  // namespace vexilo::avr
