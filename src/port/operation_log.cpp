#include "port/operation_log.h"

namespace vexilo::port {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

std::string Hex4(uint32_t value) {
  std::string text(4, '0');
  for (int i = 3; i >= 0; --i) {
    text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return text;
}

}  // namespace

void OperationLog::Line(const char* state) { ctx_.op.Log(name_ + " : " + state); }

void OperationLog::Error(const std::string& state) { ctx_.op.LogError(name_ + " : " + state); }

void OperationLog::DifferenceAt(uint32_t address, bool setsFlag) {
  if (PortFailed()) return;  // what differed was never read from the card
  if (setsFlag) ctx_.errorFlag = 1;
  Error("ERROR ADR[" + Hex4(address) + "]");
}

void OperationLog::Length(uint32_t length, const char* label) {
  ctx_.op.Log(name_ + " : " + label + "[" + Hex4(length - 1) + "]");
}

// ":" and four upper-case hex digits, short enough to stay in the string's own buffer.
void OperationLog::ShowAddress(uint32_t address) { ctx_.op.SetAddress(":" + Hex4(address)); }

bool OperationLog::PortFailed() {
  if (!ctx_.session.LineFailed()) return false;
  ctx_.errorFlag = 1;
  Error("ERROR PORT");
  return true;
}

bool OperationLog::StopRequested() {
  if (PortFailed()) return true;
  if (!ctx_.op.StopRequested()) return false;
  ctx_.op.ClearStopRequest();
  ctx_.errorFlag = 1;
  Error("STOPPED");
  return true;
}

bool OperationLog::PortUsable() {
  if (ctx_.session.IsOpen() && !ctx_.session.LineFailed()) return true;
  ctx_.errorFlag = 1;
  Error("ERROR PORT");
  return false;
}

}  // namespace vexilo::port
