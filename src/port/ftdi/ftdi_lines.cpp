#include "port/ftdi/ftdi_lines.h"

#include <algorithm>

#include "port/ftdi/ftdi_diagnostics.h"

namespace vexilo::port {
namespace {

constexpr int kUartBaud = 9600;
// The latency timer in ms: a read that is not a full USB packet waits this long in the chip.
// As a UART every byte of the card's a decision waits for costs it, so it is as short as it
// goes. In bit-bang every read asks for whole packets only, so the timer is never needed;
// but a timer that ran out while the host was busy elsewhere answers the next read at once
// with a packet of status bytes alone, which ends that USB transfer and costs another. At
// its longest it does not run out between the transfers of an operation.
constexpr uint8_t kUartLatencyMs = 1;
constexpr uint8_t kBitBangLatencyMs = 255;
// A read-back comes in USB packets of 62 bytes after two status bytes. A transfer of whole
// packets whose read asks for exactly those packets ends with the last of them; any other
// waits for the chip's latency timer to send the short rest. So every transfer is padded to
// whole packets (the last state held a little longer) and the read asks for just those, at
// most 16 KB at a time (libftdi's limit on Linux).
constexpr size_t kPacketData = 62;
constexpr size_t kPacketBytes = 64;
constexpr size_t kTransferBytes = 256 * kPacketData;

}  // namespace

bool FtdiLines::Check(int result, const char* call) {
  if (result >= 0) return true;
  if (!failed_) {
    failed_ = true;
    fault_ = {device_, call, result,
              ExplainFtdiFailure(device_, call, result, calls_.ErrorString())};
  }
  return false;
}

bool FtdiLines::Begin(bool bitBang, int bitBangBaud, const std::string& device) {
  device_ = device;
  failed_ = false;
  bitBang_ = false;
  out_.clear();
  sampleAt_.clear();
  sampleNext_ = false;
  received_.clear();
  dtr_ = rts_ = txBreak_ = false;
  // The lines go down while the chip is still a UART, before any pin is driven.
  if (!Check(calls_.SetBitmode(0, ftdi::kBitmodeReset), "ftdi_set_bitmode") ||
      !Check(calls_.SetDtrRts(false, false), "ftdi_setdtr_rts") ||
      !Check(calls_.SetLatencyTimer(bitBang ? kBitBangLatencyMs : kUartLatencyMs),
             "ftdi_set_latency_timer")) {
    return false;
  }
  if (!bitBang) {
    return Check(calls_.SetBaudrate(kUartBaud), "ftdi_set_baudrate") &&
           Check(calls_.SetLineProperty(ftdi::kBits8, ftdi::kStopBit2, ftdi::kParityEven, false),
                 "ftdi_set_line_property2") &&
           Check(calls_.Purge(), "ftdi_tcioflush");
  }
  // The rate comes after the mode: libftdi scales a bit-bang rate only once bit-bang is on.
  if (!Check(calls_.SetBitmode(pins_.OutputMask(), ftdi::kBitmodeSyncBb), "ftdi_set_bitmode") ||
      !Check(calls_.SetBaudrate(bitBangBaud), "ftdi_set_baudrate") ||
      !Check(calls_.Purge(), "ftdi_tcioflush")) {
    return false;
  }
  bitBang_ = true;
  Apply(false, false, false);
  LineSamples none;
  return Run(none);
}

double FtdiLines::MeasureStepNs(Clock& clock) {
  // Whole packets, each transfer within one of libftdi's 4 KB writes, the longer long enough
  // that the bus's 1 ms frames are small beside the difference.
  constexpr unsigned kShortSteps = 8 * kPacketData;
  constexpr unsigned kLongSteps = 64 * kPacketData;
  uint64_t tookNs[2] = {0, 0};
  const unsigned steps[2] = {kShortSteps, kLongSteps};
  for (int i = 0; i < 2; ++i) {
    LineSamples none;
    Run(none);
    const uint64_t start = clock.NowNs();
    Hold(steps[i]);
    if (!Run(none)) return 0;
    tookNs[i] = clock.NowNs() - start;
  }
  if (tookNs[1] <= tookNs[0]) return 0;
  return static_cast<double>(tookNs[1] - tookNs[0]) / (kLongSteps - kShortSteps);
}

bool FtdiLines::SetRate(int bitBangBaud) {
  LineSamples none;
  Run(none);
  return Check(calls_.SetBaudrate(bitBangBaud), "ftdi_set_baudrate");
}

void FtdiLines::End() {
  if (bitBang_ && !out_.empty()) {
    LineSamples rest;
    Run(rest);
  }
  bitBang_ = false;
}

void FtdiLines::Push(uint8_t value) {
  if (sampleNext_) {
    sampleAt_.push_back(out_.size());
    sampleNext_ = false;
  }
  out_.push_back(value);
}

void FtdiLines::Apply(bool dtr, bool rts, bool txBreak) {
  dtr_ = dtr;
  rts_ = rts;
  txBreak_ = txBreak;
  state_ = pins_.Pins(dtr, rts, txBreak);
  Push(state_);
}

void FtdiLines::Hold(unsigned count) {
  for (unsigned i = 0; i < count; ++i) Push(state_);
}

// The sample is the read-back of the next byte written: the pins one step after the last
// state was applied.
void FtdiLines::SampleCts() { sampleNext_ = true; }

bool FtdiLines::Run(LineSamples& samples) {
  if (sampleNext_) Push(state_);
  while (out_.size() % kPacketData != 0) out_.push_back(state_);
  std::vector<uint8_t> in(out_.size(), 0);
  bool ok = !failed_;
  for (size_t done = 0; ok && done < out_.size(); done += kTransferBytes) {
    const size_t size = std::min(kTransferBytes, out_.size() - done);
    ok = Check(calls_.SetReadChunkSize(static_cast<int>(size / kPacketData * kPacketBytes)),
               "ftdi_read_data_set_chunksize");
    if (!ok) break;
    const int got = calls_.Exchange(&out_[done], &in[done], static_cast<int>(size));
    ok = Check(got < 0 ? got : (static_cast<size_t>(got) == size ? 0 : -1),
               "ftdi_transfer_data_done");
  }
  for (size_t at : sampleAt_) samples.Add(ok && pins_.CtsAsserted(in[at]));
  out_.clear();
  sampleAt_.clear();
  return ok;
}

void FtdiLines::ApplyNow(bool dtr, bool rts, bool txBreak) {
  Apply(dtr, rts, txBreak);
  LineSamples none;
  Run(none);
}

void FtdiLines::SetModemLines(bool dtr, bool rts) {
  if (failed_) return;
  if (bitBang_) return ApplyNow(dtr, rts, txBreak_);
  dtr_ = dtr;
  rts_ = rts;
  Check(calls_.SetDtrRts(dtr, rts), "ftdi_setdtr_rts");
}

void FtdiLines::SetBreak(bool on) {
  if (failed_) return;
  if (bitBang_) return ApplyNow(dtr_, rts_, on);
  txBreak_ = on;
  Check(calls_.SetLineProperty(ftdi::kBits8, ftdi::kStopBit2, ftdi::kParityEven, on),
        "ftdi_set_line_property2");
}

bool FtdiLines::Cts() {
  if (failed_) return false;
  if (bitBang_) {
    SampleCts();
    LineSamples one;
    Run(one);
    return one[0];
  }
  uint16_t status = 0;
  if (!Check(calls_.PollModemStatus(status), "ftdi_poll_modem_status")) return false;
  return (status & ftdi::kModemCts) != 0;
}

void FtdiLines::RefreshModemLines() { SetModemLines(dtr_, rts_); }

void FtdiLines::DiscardReceived() {
  received_.clear();
  if (!failed_ && !bitBang_) Check(calls_.PurgeReceived(), "ftdi_tciflush");
}

bool FtdiLines::DataReady() {
  if (!received_.empty()) return true;
  if (failed_ || bitBang_) return false;
  uint8_t buffer[64];
  const int got = calls_.ReadData(buffer, sizeof buffer);
  if (!Check(got, "ftdi_read_data")) return false;
  received_.insert(received_.end(), buffer, buffer + got);
  return !received_.empty();
}

void FtdiLines::WriteByte(uint8_t value) {
  if (failed_ || bitBang_) return;
  Check(calls_.WriteData(&value, 1), "ftdi_write_data");
}

// As a UART's receive register: the last byte stays there when no new one came.
uint8_t FtdiLines::ReadByte() {
  if (!received_.empty()) {
    lastReceived_ = received_.front();
    received_.pop_front();
  }
  return failed_ ? 0 : lastReceived_;
}

}  // namespace vexilo::port
