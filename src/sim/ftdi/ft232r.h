#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "port/virtual_clock.h"
#include "sim/adapter/adapter.h"
#include "sim/adapter/uart16550.h"
#include "sim/sim_time.h"

namespace vexilo::sim {

// The figures of the USB bus and of the host library that set what a transfer costs.
struct Ft232rTiming {
  // A full-speed bus runs in 1 ms frames. The host controller starts a newly submitted
  // transfer at the next start of frame, and a control request (setup, no data or two bytes
  // of it, status) takes one frame: every control request is one round trip of a frame.
  SimTime frameNs = 1 * kMs;
  // One bulk packet on the bus: the token and handshake packets and the gaps between them,
  // plus each byte of data at 12 Mbit/s with bit stuffing (8 bits of 83.3 ns, about 12 %
  // more for stuffing). A 64-byte packet takes 56 us, so some 17 fit in a frame.
  SimTime packetOverheadNs = 8 * kUs;
  SimTime packetByteNs = 750;
  // libftdi's usb_write_timeout and usb_read_timeout: a bulk transfer that the chip does not
  // complete within this ends with a time-out.
  SimTime usbTimeoutNs = 5000 * kMs;
  // What a bit-bang byte takes for the generator's rate: published measurements disagree,
  // so both readings are modelled.
  enum class BitbangClock {
    FourTimesGenerator,  // 4 bytes per generator baud
    QuarterGenerator,    // 1 byte per 4 generator bauds
  };
  BitbangClock bitbangClock = BitbangClock::FourTimesGenerator;
};

// The FT232R's two interfaces the FTDI backend uses.
enum class Ft232rMode { Uart, SyncBitbang };

// An FT232R USB UART as the host sees it over USB, and on the far side of its RS-232 cable the
// simulated card adapter. Everything runs on the virtual clock: each request advances it by
// what the bus and the chip take, and the adapter sees each line change at the simulated time
// the chip makes it.
//
// The chip (FTDI's FT232R data sheet): a 128-byte transmit FIFO (USB to the pins) and a
// 256-byte receive FIFO (pins to USB). Bulk packets are 64 bytes; every packet the chip sends
// to the host starts with 2 modem and line status bytes, so it carries at most 62 bytes of
// data. The chip answers the host's IN requests with a full packet as soon as it has 62 bytes,
// and otherwise only when its latency timer runs out (FTDI AN232B-04): then with what it has,
// possibly nothing but the status bytes. The timer restarts with every packet sent, counts in
// milliseconds (1 .. 255, 16 after power-up) and does not wait for the host: a timer that ran
// out while nobody asked is answered at the next request.
//
// The cable: behind the RS-232 transceiver every line is inverted. In bit-bang mode the pins
// are D0 TXD, D1 RXD, D2 RTS#, D3 CTS#, D4 DTR#, D5 DSR#, D6 DCD#, D7 RI#: a pin driven low
// asserts DTR (D4) or RTS (D2), TXD (D0) low holds the line at space (a break for the
// adapter), and CTS asserted by the adapter reads 0 at D3. Pins outside the output mask are
// inputs: they drive nothing (the line stays as an undriven pin leaves it, not asserted) and
// read 1; RXD, DSR, DCD and RI read 1 (the adapter leaves them at mark / not asserted).
//
// Synchronous bit-bang (AN232R-01, "one byte behind the output"): each byte from the
// transmit FIFO is applied to the output pins at one tick of the bit-bang clock, and the
// pins are read just before it is applied; that sample goes into the receive FIFO. A byte is
// applied only when the receive FIFO has room for its sample, so a host that writes without
// reading stalls the chip once 256 samples wait: the transmit FIFO then fills and the chip
// accepts no more packets. The bit-bang clock (Ft232rTiming::bitbangClock): by default 4 times
// the rate the baud-rate generator is set to: AN232R-01 gives the bit-bang clock as 16 times
// the baud rate the program sets (9600 baud: 153 600 bytes per second, one every 6.5 us), and
// libftdi sets the generator to 4 times that rate in bit-bang mode ("bitbang baudrates are
// automatically multiplied by 4", ftdi_set_baudrate), so 16 x the program's rate = 4 x the
// generator's. Other measurements give a byte per 4 generator bauds: the other setting.
//
// UART mode: the transmit FIFO feeds the UART at the character time of the rate and word
// format set; each character is heard by the adapter's mode switch (they are the COM device's
// characters) and sent to the adapter; what the adapter sends back (the echo of the IO line,
// the card's answers) fills the receive FIFO, excess characters are lost (overrun). DTR, RTS
// and the TX break come from the modem control and data characteristics requests.
//
// The generator makes 3 MHz / (n + x/8) (n >= 2, x = 0 .. 7) or 3 or 2 MBaud (data sheet,
// "Baud Rate = 3000000 / (n + x)"); a request is set to the nearest of these.
class Ft232r {
 public:
  static constexpr size_t kTxFifoBytes = 128;
  static constexpr size_t kRxFifoBytes = 256;
  static constexpr size_t kPacketBytes = 64;
  static constexpr size_t kStatusBytes = 2;
  // libftdi's read and write chunk sizes: one libusb bulk transfer carries at most this.
  static constexpr size_t kTransferBytes = 4096;
  static constexpr uint8_t kDefaultLatencyMs = 16;
  static constexpr uint32_t kBaseClockHz = 3000000;

  // The chip's pins in bit-bang mode.
  static constexpr uint8_t kPinTxd = 0x01, kPinRxd = 0x02, kPinRts = 0x04, kPinCts = 0x08,
                           kPinDtr = 0x10, kPinDsr = 0x20, kPinDcd = 0x40, kPinRi = 0x80;

  // The rate the generator makes of a request: 3 MHz / (n + x/8), n >= 2, or 3 or 2 MBaud.
  static uint32_t NearestGeneratorRate(uint32_t baud);

  // `adapter` may be null: a chip with nothing on its cable.
  Ft232r(port::VirtualClock& clock, Adapter* adapter, const Ft232rTiming& timing = {});
  ~Ft232r();
  Ft232r(const Ft232r&) = delete;
  Ft232r& operator=(const Ft232r&) = delete;

  // Control requests, each one round trip on the bus from the clock's time.
  // SIO_RESET: both FIFOs emptied, DTR and RTS cleared (not the rate, format or bit mode).
  void Reset();
  // mode: 0x00 (UART) or 0x04 (synchronous bit-bang); other modes are not modelled and throw
  // std::invalid_argument.
  void SetBitmode(uint8_t outputs, uint8_t mode);
  // The generator's rate as the host sets it; returns the rate the chip makes of it.
  uint32_t SetBaudRate(uint32_t baud);
  void SetLatencyTimer(uint8_t ms);
  // bits 7 or 8; stopBits 0 = 1, 1 = 1.5, 2 = 2; parity 0 none, 1 odd, 2 even, 3 mark, 4 space.
  void SetDataCharacteristics(int bits, int stopBits, int parity, bool breakOn);
  void SetModemControl(bool dtr, bool rts);
  // Low byte the modem status (bit 0 always set, 0x10 CTS, 0x20 DSR, 0x40 RI, 0x80 DCD), high
  // byte the line status (0x01 data ready, 0x02 overrun, 0x04 parity, 0x08 framing error,
  // 0x10 break, 0x20 transmit FIFO empty, 0x40 transmitter empty).
  uint16_t PollModemStatus();
  void PurgeTx();
  void PurgeRx();

  // Bulk transfers from the clock's time; the clock ends where the host sees them complete.
  struct OutResult {
    size_t accepted = 0;
    bool timedOut = false;
  };
  // One OUT transfer of `size` bytes (libusb_bulk_transfer); stops when the chip does not
  // take it within the time-out.
  OutResult BulkOut(const uint8_t* data, size_t size);
  // One IN transfer of up to `size` bytes: the USB bytes it brought, 2 status bytes at the
  // start of every packet. It ends with the first packet shorter than 64 bytes, or full.
  std::vector<uint8_t> BulkIn(size_t size = kTransferBytes);

  // Asynchronous transfers (libusb_submit_transfer), at most one of each direction in flight;
  // each starts at the next frame from the clock's time. RunTransfers works the bus until the
  // first of them ends, advances the clock to that end and says which it was.
  struct Completion {
    bool in = false;
    size_t outAccepted = 0;
    std::vector<uint8_t> packets;  // an IN transfer's USB bytes, status bytes included
    bool timedOut = false;
  };
  void SubmitOut(const uint8_t* data, size_t size);
  void SubmitIn(size_t size);
  bool InFlight() const;
  Completion RunTransfers();
  // Both transfers dropped (the host cancelled them or the device vanished).
  void DropTransfers();
  // IN transfers the host completed since construction.
  uint64_t InTransfers() const { return inTransfers_; }

  // The host let go of the device (ftdi_usb_close). The chip keeps its state and its pins;
  // characters still in the UART go out, then the adapter's mode switch hears the COM device
  // close.
  void HostClosed();
  // The cable is pulled: the chip loses power, its FIFOs and settings are gone, and the lines
  // fall back to what undriven inputs of the transceiver give (nothing asserted).
  void PowerLost();

  // Works out everything the chip does up to `now` (every request does this first).
  void CatchUp(SimTime now);

  Ft232rMode Mode() const { return mode_; }
  uint8_t OutputMask() const { return mask_; }
  // The levels of the pins as the chip drives them (inputs read 1).
  uint8_t PinLevels() const;
  // The adapter's lines as the chip makes them: kLineDtr, kLineRts, kLineBreak.
  uint8_t Lines() const { return lines_; }
  uint32_t GeneratorBaud() const { return baud_; }
  // The time between two bit-bang bytes.
  SimTime BitbangByteNs() const;
  // One UART character at the rate and word format set.
  SimTime CharacterNs() const;
  uint8_t LatencyMs() const { return latencyMs_; }
  size_t TxQueued() const { return tx_.size(); }
  size_t RxQueued() const { return rx_.size(); }
  const Ft232rTiming& Timing() const { return timing_; }

 private:
  struct TxByte {
    uint8_t value;
    SimTime arrival;
  };
  struct OutJob;
  struct InJob;

  SimTime NextFrame(SimTime t) const;
  SimTime PacketNs(size_t bytes) const;
  SimTime BeginControl();
  void EndControl(SimTime start);
  void AdvanceClockTo(SimTime t);
  SimTime AdapterTime(SimTime t);

  // Works the chip and the transfers up to `limit`; with no limit until the transfers end,
  // or with `firstEnd` until one of them does.
  void Run(OutJob* out, InJob* in, SimTime limit, bool firstEnd = false);
  SimTime NextChipEvent() const;
  SimTime NextOutPacket(const OutJob& job) const;
  SimTime NextInPacket(const InJob& job) const;
  void ChipEvent(SimTime t);
  void OutPacket(OutJob& job, SimTime t);
  void InPacket(InJob& job, SimTime t);

  uint8_t SamplePins(SimTime t);
  uint8_t LinesFromPins() const;
  void DriveLines(SimTime t);
  void PullReceived(SimTime t);
  void DrainUart();
  CharFormat Format() const;

  port::VirtualClock& clock_;
  Adapter* adapter_;
  Ft232rTiming timing_;

  Ft232rMode mode_ = Ft232rMode::Uart;
  uint8_t mask_ = 0;
  uint8_t latch_ = 0xFF;  // the bit-bang output latch: lines idle until the program writes
  uint8_t lines_ = 0;
  uint32_t baud_ = 9600;
  int dataBits_ = 8;
  int stopBits_ = 0;
  int parity_ = 0;
  bool break_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  uint8_t latencyMs_ = kDefaultLatencyMs;
  bool overrun_ = false;
  uint8_t lineErrors_ = 0;

  std::deque<TxByte> tx_;
  std::deque<uint8_t> rx_;
  SimTime chipNow_ = 0;       // everything up to here is worked out
  SimTime adapterNow_ = 0;    // the adapter is told things in time order
  SimTime busFree_ = 0;       // the end of the last packet on the bus
  SimTime lastApply_ = 0;     // the last bit-bang byte applied
  SimTime uartFree_ = 0;      // the end of the last UART character
  SimTime lastInPacket_ = 0;  // the latency timer restarts here
  std::unique_ptr<OutJob> asyncOut_;
  std::unique_ptr<InJob> asyncIn_;
  uint64_t inTransfers_ = 0;
};

}  // namespace vexilo::sim
