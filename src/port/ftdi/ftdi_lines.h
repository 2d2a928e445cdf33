#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "port/clock.h"
#include "port/ftdi/ftdi_calls.h"
#include "port/ftdi/ftdi_pins.h"
#include "port/lines.h"

namespace vexilo::port {

// The adapter's lines on an FTDI chip. For programming the chip runs in synchronous bit-bang
// mode: every line state is one byte written, every clock delay step one more byte of the same
// state, and CTS is read from the byte the chip sends back for the next byte written (it reads
// the pins just before it applies a byte). A whole run of line programs then goes out in one
// USB transfer. For the Phoenix link the chip is a UART at 9600 8E2 with RTS as the card's
// reset, as on any serial port.
//
// The first failed call is kept with the library's reason; after it the outputs are left
// alone and CTS reads 0.
class FtdiLines final : public Lines, public LineBatch {
 public:
  // A batch goes out once it holds this many bytes (one USB transfer): long enough for a transfer's
  // fixed cost to matter little, short enough for steady progress.
  static constexpr size_t kBatchBytes = 15500;

  FtdiLines(FtdiCalls& calls, FtdiPinMap pins) : calls_(calls), pins_(pins) {}

  // Sets the chip up for a session: bit-bang at `bitBangBaud`, or the UART; the lines start
  // deasserted with no break. False when the chip refused (Fault() says why).
  bool Begin(bool bitBang, int bitBangBaud, const std::string& device);
  void End();
  bool BitBang() const { return bitBang_; }
  // Bit-bang: the time of one step (one byte applied), from two transfers of known length
  // held at the present state, timed on `clock` (their difference leaves out what a transfer
  // costs besides its steps); 0 when a transfer failed.
  double MeasureStepNs(Clock& clock);
  // Bit-bang: a new rate for the steps.
  bool SetRate(int bitBangBaud);

  // Lines.
  void SetModemLines(bool dtr, bool rts) override;
  void SetBreak(bool on) override;
  bool Cts() override;
  bool TransmitterEmpty() override { return true; }
  bool DataReady() override;
  void WriteByte(uint8_t value) override;
  uint8_t ReadByte() override;
  void RefreshModemLines() override;
  void DiscardReceived() override;
  const LineFault* Fault() const override { return failed_ ? &fault_ : nullptr; }
  LineBatch* Batch() override { return bitBang_ ? this : nullptr; }

  // LineBatch.
  void Apply(bool dtr, bool rts, bool txBreak) override;
  void Hold(unsigned count) override;
  void SampleCts() override;
  bool Run(LineSamples& samples) override;
  bool Full() const override { return out_.size() >= kBatchBytes; }
  bool Empty() const override { return out_.empty(); }

 private:
  // False (and the fault kept) for a negative return.
  bool Check(int result, const char* call);
  void Push(uint8_t value);
  // One line state applied and made at once (bit-bang).
  void ApplyNow(bool dtr, bool rts, bool txBreak);

  FtdiCalls& calls_;
  FtdiPinMap pins_;
  std::string device_;
  bool bitBang_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  bool txBreak_ = false;
  uint8_t state_ = 0xFF;
  // The batch: bytes to write, and which read-back byte each CTS sample is.
  std::vector<uint8_t> out_;
  std::vector<size_t> sampleAt_;
  bool sampleNext_ = false;
  std::deque<uint8_t> received_;
  uint8_t lastReceived_ = 0;
  bool failed_ = false;
  LineFault fault_;
};

}  // namespace vexilo::port
