#include "avr/operation_log.h"

#include "image/hex_to_int.h"

namespace vexilo::avr {
namespace {

// ":" and four upper-case hex digits, short enough to stay in the string's own buffer.
std::string AddressLabel(uint32_t address) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string label(5, ':');
  for (int i = 4; i >= 1; --i) {
    label[static_cast<size_t>(i)] = kDigits[address & 0xF];
    address >>= 4;
  }
  return label;
}

}  // namespace

OperationLog::OperationLog(AvrContext& ctx, const char* verb, const char* memory)
    : ctx_(ctx), name_(std::string("ATMEL ") + verb + " " + memory) {}

void OperationLog::Line(const char* state) { ctx_.op.Log(name_ + " : " + state); }

void OperationLog::Error(const std::string& state) { ctx_.op.LogError(name_ + " : " + state); }

void OperationLog::DifferenceAt(uint32_t address, bool setsFlag) {
  if (setsFlag) ctx_.errorFlag = 1;
  Error("ERROR ADR[" + image::ToHex(address, 4) + "]");
}

void OperationLog::Length(uint32_t length) {
  ctx_.op.Log(name_ + " : LEN[" + image::ToHex(length - 1, 4) + "]");
}

void OperationLog::ShowAddress(uint32_t address) { ctx_.op.SetAddress(AddressLabel(address)); }

bool OperationLog::StopRequested() {
  if (!ctx_.op.StopRequested()) return false;
  ctx_.op.ClearStopRequest();
  ctx_.errorFlag = 1;
  Error("STOPPED");
  return true;
}

bool OperationLog::PortUsable() {
  if (ctx_.session.IsOpen()) return true;
  ctx_.errorFlag = 1;
  Error("ERROR PORT");
  return false;
}

uint8_t WriteDelayMs(const std::string& text) {
  return static_cast<uint8_t>(image::DecimalToInt(text));
}

}  // namespace vexilo::avr
