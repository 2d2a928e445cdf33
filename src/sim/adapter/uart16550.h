#pragma once
#include <array>
#include <cstdint>
#include <optional>

#include "sim/sim_time.h"

namespace vexilo::sim {

// The 16550 is clocked from a 1.8432 MHz crystal; one bit lasts 16 clocks times the divisor.
constexpr uint64_t kUartClockHz = 1843200;

// Register offsets from the UART base address.
enum UartRegister : unsigned {
  kRbrThrDll = 0,  // receive buffer / transmit holding; divisor low while LCR bit 7 is set
  kIerDlm = 1,     // interrupt enable; divisor high while LCR bit 7 is set
  kIirFcr = 2,     // interrupt identification (read) / FIFO control (write)
  kLcr = 3,
  kMcr = 4,
  kLsr = 5,
  kMsr = 6,
  kScr = 7,
};

// Line status register bits.
constexpr uint8_t kLsrDataReady = 0x01;
constexpr uint8_t kLsrOverrun = 0x02;
constexpr uint8_t kLsrParityError = 0x04;
constexpr uint8_t kLsrFramingError = 0x08;
constexpr uint8_t kLsrBreak = 0x10;
constexpr uint8_t kLsrThrEmpty = 0x20;
constexpr uint8_t kLsrTxEmpty = 0x40;
constexpr uint8_t kLsrFifoError = 0x80;

// Modem status register bits.
constexpr uint8_t kMsrCts = 0x10;
constexpr uint8_t kMsrDsr = 0x20;
constexpr uint8_t kMsrRi = 0x40;
constexpr uint8_t kMsrDcd = 0x80;

// The UART's output lines as the adapter sees them, packed into one byte.
constexpr uint8_t kLineDtr = 0x01;    // DTR asserted
constexpr uint8_t kLineRts = 0x02;    // RTS asserted
constexpr uint8_t kLineBreak = 0x04;  // TX held at space (LCR bit 6)

// A character frame as the UART's line control register and divisor latch make it.
struct CharFormat {
  uint16_t divisor = 12;  // 0 counts as 65536, as the divisor latch's counter wraps
  uint8_t lcr = 0x1F;

  unsigned DataBits() const { return 5 + (lcr & 0x03); }
  bool ParityEnabled() const { return (lcr & 0x08) != 0; }
  bool EvenParity() const { return (lcr & 0x10) != 0; }
  bool StickParity() const { return (lcr & 0x20) != 0; }
  // Stop bits in half bits: 1, 1.5 (5 data bits) or 2.
  unsigned StopHalfBits() const {
    if ((lcr & 0x04) == 0) return 2;
    return DataBits() == 5 ? 3 : 4;
  }
  uint64_t EffectiveDivisor() const { return divisor == 0 ? 65536 : divisor; }
  double Baud() const { return double(kUartClockHz) / 16.0 / double(EffectiveDivisor()); }
  // Start bit + data bits + parity bit + stop bits, at the programmed rate.
  SimTime FrameNs() const {
    const uint64_t halfBits = 2 * (1 + DataBits() + (ParityEnabled() ? 1 : 0)) + StopHalfBits();
    return halfBits * 16 * EffectiveDivisor() * 1000000000ull / (2 * kUartClockHz);
  }
};

// A character arriving at the UART's receiver, with the errors the receiver finds in it.
struct ReceivedChar {
  uint8_t value;
  uint8_t errors = 0;  // kLsrParityError, kLsrFramingError, kLsrBreak
};

// What hangs on the UART's pins: the adapter. All calls come in non-decreasing time.
class UartWiring {
 public:
  virtual ~UartWiring() = default;
  // DTR, RTS or break changed; `lines` is a mask of kLine* bits.
  virtual void OutputsChanged(uint8_t lines, SimTime now) = 0;
  // The level of the CTS input at `now` (true = asserted, MSR bit 4 set).
  virtual bool CtsAsserted(SimTime now) = 0;
  // A character's last stop bit left the transmitter at `end`.
  virtual void CharacterSent(uint8_t value, const CharFormat& format, SimTime end) = 0;
  // The next character fully received on the RX input by `now`, read with `format`.
  virtual std::optional<ReceivedChar> CharacterReceived(const CharFormat& format, SimTime now) = 0;
};

// The register file of a 16550 UART, timed on simulated time. Nothing runs between accesses:
// the transmitter's and receiver's progress is worked out from the character times whenever a
// register that depends on it is read or written.
//
// Modelled: divisor latch (LCR bit 7), IER, IIR with the receive line status, received data,
// character time-out and transmitter-empty sources, FCR (FIFO enable; clearing the FIFOs;
// trigger level), LCR (word format, break), MCR (DTR, RTS, OUT1, OUT2, loop-back), LSR, MSR
// (CTS from the wiring; DSR, RI and DCD are not wired and read 0 outside loop-back; the delta
// bits read 0), scratch register. The transmit FIFO holds 16 characters and the shift
// register one more; the receive FIFO holds 16 (1 with the FIFOs off). A character arriving
// at a full receiver sets the overrun bit and is lost (with the FIFOs off it replaces the
// unread one, as on the 16450).
class Uart16550 {
 public:
  explicit Uart16550(UartWiring* wiring) : wiring_(wiring) {}

  uint8_t Read(unsigned offset, SimTime now);
  void Write(unsigned offset, uint8_t value, SimTime now);

  // Delivers every transmitted and received character complete by `now`. Register accesses do
  // this themselves; call it before changing what hangs on the pins.
  void CatchUp(SimTime now);

  CharFormat Format() const { return {divisor_, lcr_}; }
  uint8_t Mcr() const { return mcr_; }
  uint8_t Lcr() const { return lcr_; }
  bool FifosEnabled() const { return fifoEnabled_; }
  uint8_t OutputLines() const { return lines_; }

 private:
  struct TxSlot {
    uint8_t value;
    SimTime start;
    SimTime end;
  };
  static constexpr unsigned kFifoSize = 16;
  static constexpr unsigned kTxSlots = kFifoSize + 1;  // FIFO + shift register

  bool Loop() const { return (mcr_ & 0x10) != 0; }
  uint8_t ReadLsr(SimTime now);
  uint8_t ReadRbr(SimTime now);
  uint8_t ReadIir(SimTime now);
  uint8_t ReadMsr(SimTime now);
  void WriteThr(uint8_t value, SimTime now);
  void WriteFcr(uint8_t value, SimTime now);
  void OutputsMayHaveChanged(SimTime now);
  void DrainReceiver(SimTime now);
  void PushReceived(const ReceivedChar& c, SimTime now);
  void DropUnsentTx(SimTime now);
  unsigned TxWaiting(SimTime now) const;  // characters not yet in the shift register
  bool ThrEmpty(SimTime now) const { return TxWaiting(now) == 0; }
  unsigned RxCapacity() const { return fifoEnabled_ ? kFifoSize : 1; }
  unsigned RxTrigger() const;

  UartWiring* wiring_;
  uint16_t divisor_ = 12;  // not defined after reset; a PC's firmware leaves 9600 baud
  uint8_t ier_ = 0;
  uint8_t lcr_ = 0;
  uint8_t mcr_ = 0;
  uint8_t scr_ = 0;
  uint8_t fcr_ = 0;  // trigger level bits as last programmed
  bool fifoEnabled_ = false;
  uint8_t lines_ = 0;
  bool overrun_ = false;
  bool threAcknowledged_ = false;

  std::array<TxSlot, kTxSlots> tx_{};
  unsigned txHead_ = 0;
  unsigned txCount_ = 0;

  std::array<ReceivedChar, kFifoSize> rx_{};
  unsigned rxHead_ = 0;
  unsigned rxCount_ = 0;
  uint8_t lastRead_ = 0;
  SimTime lastRxArrival_ = 0;
};

}  // namespace vexilo::sim
