#pragma once
#include <cstdint>
#include <string>

#include "port/operator.h"
#include "port/port_session.h"

namespace vexilo::port {

// What every hardware operation works with: the open port session, the person at the
// window, and the error flag the composite sequences test between their steps.
struct OperationContext {
  PortSession& session;
  Operator& op;
  uint8_t& errorFlag;
};

// The log lines, address label, stop request and error flag of one operation, named like
// "ATMEL READ FLASH" or "PIC WRITE EEPROM INT".
class OperationLog {
 public:
  OperationLog(OperationContext& ctx, std::string name) : ctx_(ctx), name_(std::move(name)) {}

  // The line "<name> : <state>".
  void Line(const char* state);
  // The red "ERROR ADR[xxxx]" line of the first difference; sets the error flag when
  // `setsFlag`.
  void DifferenceAt(uint32_t address, bool setsFlag);
  // "<name> : <label>[xxxx]" with the last address of `length` cells.
  void Length(uint32_t length, const char* label = "LEN");
  void ShowAddress(uint32_t address);

  // A stop request ends the operation: cleared, logged in red, reported by the error flag.
  // So does a failed line call on the port ("ERROR PORT", after the session's diagnostic).
  bool StopRequested();
  // A line call on the port failed: the red "ERROR PORT" line and the error flag.
  bool PortFailed();
  // Without a usable session the lines drive nothing and every bit would read as 1; the
  // operation is refused rather than reporting data it never saw.
  bool PortUsable();

 private:
  void Error(const std::string& state);

  OperationContext& ctx_;
  std::string name_;
};

}  // namespace vexilo::port
