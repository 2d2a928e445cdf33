#include "extee/ext_operation.h"

#include "image/hex_to_int.h"

namespace vexilo::extee {

ExtOperation::ExtOperation(ExtEepromContext& ctx, LoaderFamily loader, Operation operation,
                           uint32_t bytes)
    : ctx_(ctx),
      portCtx_{ctx.session, ctx.op, ctx.errorFlag},
      loader_(LoaderRowFor(loader)),
      row_(RowFor(loader, operation)),
      bytes_(TransferBytes(loader, bytes)),
      log_(portCtx_, row_.name),
      reportLog_(portCtx_, row_.reportName),
      link_(ctx.session) {}

bool ExtOperation::Open(bool ask) {
  port::Clock& clock = ctx_.session.Time();
  if (ask) {
    if (!ctx_.op.AskYesNo(ctx_.question)) return false;
    if (ctx_.switchToPhoenix) ctx_.switchToPhoenix();
    clock.SleepMs(row_.askPauseMs);
  }
  ctx_.op.ClearStopRequest();

  guard_.emplace(ctx_.session, "phoenix");
  log_.Line("START");
  // A session refused as nested is not ours to use, even while the caller's is open.
  if (!guard_->Usable()) {
    Error(row_.name, "ERROR PORT");
    return false;
  }
  clock.SleepMs(row_.startPauseMs);
  link_.Drain();
  const PhoenixLink::Atr atr = link_.ResetCard(loader_.atrMark);
  LogAtr(atr);
  if (!atr.recognised) {
    Error(row_.name, "ATR ERROR");
    return false;
  }
  link_.Drain();
  clock.SleepMs(row_.atrPauseMs);
  ctx_.op.SetProgress(0, bytes_);
  if (row_.clearsErrorFlag) ctx_.errorFlag = 0;
  link_.BeginTransfer();
  return true;
}

void ExtOperation::LogAtr(const PhoenixLink::Atr& atr) {
  std::string line = std::string(row_.name) + " : ATR[" +
                     image::ToHex(static_cast<uint32_t>(atr.attempt), 2) + "] ->";
  for (uint8_t value : atr.bytes) line += " " + image::ToHex(value, 2);
  ctx_.op.Log(line);
}

void ExtOperation::Line(const char* state) { log_.Line(state); }

void ExtOperation::Error(const std::string& name, const std::string& state) {
  ctx_.errorFlag = 1;
  ctx_.op.LogError(name + " : " + state);
}

void ExtOperation::PauseAfterBlock() {
  ctx_.session.Time().SleepMs(row_.blockPauseMs.value_or(ctx_.TxDelay));
}

void ExtOperation::BlockDone(uint32_t firstAddress, uint32_t length) {
  log_.ShowAddress(firstAddress + length - 1);
  ctx_.op.SetProgress(firstAddress + length, bytes_);
}

bool ExtOperation::StopRequested() { return log_.StopRequested(); }

void ExtOperation::BlockFailed(BlockResult result) {
  switch (result) {
    case BlockResult::Done:
      return;
    case BlockResult::NoAnswer:
      Error(row_.name, "TIMEOUT ERROR");
      return;
    case BlockResult::Refused:
      Error(row_.reportName, "ACK ERROR");
      return;
    case BlockResult::BadStatus:
      Error(row_.name, "SW ERROR");
      return;
  }
}

bool ExtOperation::ReplyFits(uint32_t address, std::span<const uint8_t> data,
                             std::span<const uint8_t> trailing) {
  if (trailing.empty() || replies_ == Replies::Unchecked) return true;
  const bool checkByte = row_.loader == LoaderFamily::Pic16F876;
  uint8_t check = 0;
  for (uint8_t value : data) check ^= value;
  std::string bytes;
  for (uint8_t value : trailing) bytes += (bytes.empty() ? "" : " ") + image::ToHex(value, 2);
  const uint8_t sw1 = trailing[0];
  const bool isoStatus = (sw1 & 0xF0) == 0x90 || (sw1 & 0xF0) == 0x60;
  if (replies_ == Replies::Unknown) {
    const bool ours = checkByte ? sw1 == check : isoStatus;
    replies_ = ours ? Replies::Checked : Replies::Unchecked;
    if (!ours) {
      ctx_.op.Log(std::string(row_.name) + " : the loader closes its blocks with " + bytes +
                  ", no " + (checkByte ? "check byte" : "ISO 7816 status") +
                  ": its replies are not checked");
      return true;
    }
  }
  const std::string at = " : ERROR ADR[" + image::ToHex(address, 4) + "] - ";
  if (checkByte && sw1 != check) {
    Error(row_.reportName,
          at.substr(3) + "check byte " + bytes + ", the data gives " + image::ToHex(check, 2));
    return false;
  }
  if (!checkByte && (sw1 & 0xF0) == 0x60 && sw1 != 0x61) {
    Error(row_.reportName, at.substr(3) + "the card answered " + bytes +
                               (bytes == "65 81" ? " (memory failure: its 24Cxx did not answer)"
                                                 : " (an ISO 7816 error)"));
    return false;
  }
  return true;
}

void ExtOperation::DifferenceAt(uint32_t address) { reportLog_.DifferenceAt(address, true); }

uint8_t ExtOperation::ImageByte(const image::MemoryImage& image, uint32_t address) {
  return address < image.SizeBytes() ? image.Byte(address) : 0xFF;
}

}  // namespace vexilo::extee
