#pragma once
#include <cstdint>
#include <string>

#include "avr/avr_operations.h"
#include "port/operation_log.h"

namespace vexilo::avr {

// The log of one AVR memory operation, named like "ATMEL READ FLASH".
class OperationLog final : public port::OperationLog {
 public:
  OperationLog(AvrContext& ctx, const char* verb, const char* memory)
      : port::OperationLog(ctx, std::string("ATMEL ") + verb + " " + memory) {}
};

// Blank cell values beyond the end of an image.
constexpr uint16_t kBlankWord = 0xFFFF;
constexpr uint8_t kBlankByte = 0xFF;

}  // namespace vexilo::avr
