#include "sim/ftdi/ft232r.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace vexilo::sim {

namespace {

constexpr SimTime kNever = std::numeric_limits<SimTime>::max();
constexpr uint8_t kModeReset = 0x00;
constexpr uint8_t kModeSyncBitbang = 0x04;
constexpr size_t kDataPerPacket = Ft232r::kPacketBytes - Ft232r::kStatusBytes;

}  // namespace

uint32_t Ft232r::NearestGeneratorRate(uint32_t baud) {
  baud = std::max<uint32_t>(baud, 1);
  constexpr uint64_t kEighthsClock = uint64_t{Ft232r::kBaseClockHz} * 8;
  uint64_t eighths = (kEighthsClock + baud / 2) / baud;
  eighths = std::clamp<uint64_t>(eighths, 16, (uint64_t{16383} << 3) | 7);
  uint32_t best = uint32_t((kEighthsClock + eighths / 2) / eighths);
  for (const uint32_t special : {Ft232r::kBaseClockHz, uint32_t{2000000}}) {
    const auto distance = [baud](uint32_t rate) { return rate > baud ? rate - baud : baud - rate; };
    if (distance(special) < distance(best)) best = special;
  }
  return best;
}

struct Ft232r::OutJob {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t accepted = 0;
  SimTime slot = 0;      // the earliest time of the next packet
  SimTime deadline = 0;  // the current transfer times out here
  SimTime done = kNever;
  bool timedOut = false;
  bool Pending() const { return done == kNever && !timedOut; }
};

struct Ft232r::InJob {
  std::vector<uint8_t> packets;
  size_t transferBytes = 0;  // bytes of the current transfer, status bytes included
  size_t transferSize = kTransferBytes;
  SimTime slot = 0;
  SimTime deadline = 0;
  SimTime done = kNever;
  bool timedOut = false;
  bool Pending() const { return done == kNever && !timedOut; }
};

Ft232r::Ft232r(port::VirtualClock& clock, Adapter* adapter, const Ft232rTiming& timing)
    : clock_(clock), adapter_(adapter), timing_(timing) {
  chipNow_ = clock.NowNs();
  adapterNow_ = chipNow_;
}

Ft232r::~Ft232r() = default;

SimTime Ft232r::NextFrame(SimTime t) const {
  return (t + timing_.frameNs - 1) / timing_.frameNs * timing_.frameNs;
}

SimTime Ft232r::PacketNs(size_t bytes) const {
  return timing_.packetOverheadNs + bytes * timing_.packetByteNs;
}

SimTime Ft232r::BitbangByteNs() const {
  if (timing_.bitbangClock == Ft232rTiming::BitbangClock::QuarterGenerator) {
    return 4000000000ull / baud_;
  }
  // Four bytes per generator baud (see the class comment), rounded to the nanosecond.
  return std::max<SimTime>(1, (1000000000ull + 2ull * baud_) / (4ull * baud_));
}

SimTime Ft232r::CharacterNs() const {
  // Start bit, data bits, parity, stop bits (1, 1.5 or 2), in half bits.
  const unsigned stopHalves = stopBits_ == 1 ? 3 : (stopBits_ == 2 ? 4 : 2);
  const unsigned halves = 2 * (1 + unsigned(dataBits_) + (parity_ != 0 ? 1 : 0)) + stopHalves;
  return SimTime(halves) * 1000000000ull / (2ull * baud_);
}

CharFormat Ft232r::Format() const {
  // The adapter reads the word format as a 16550 line control value and the rate as a
  // divisor of 115 200 baud.
  CharFormat format;
  const double divisor = std::round(115200.0 / double(baud_));
  format.divisor = uint16_t(std::clamp(divisor, 1.0, 65535.0));
  uint8_t lcr = uint8_t(std::clamp(dataBits_, 5, 8) - 5);
  if (stopBits_ != 0) lcr |= 0x04;
  switch (parity_) {
    case 1:
      lcr |= 0x08;
      break;
    case 2:
      lcr |= 0x18;
      break;
    case 3:
      lcr |= 0x28;
      break;
    case 4:
      lcr |= 0x38;
      break;
    default:
      break;
  }
  if (break_) lcr |= 0x40;
  format.lcr = lcr;
  return format;
}

uint8_t Ft232r::PinLevels() const {
  if (mode_ != Ft232rMode::SyncBitbang) {
    // UART functions: TXD high at mark, the modem outputs low while asserted.
    uint8_t pins = 0xFF;
    if (break_) pins &= uint8_t(~kPinTxd);
    if (rts_) pins &= uint8_t(~kPinRts);
    if (dtr_) pins &= uint8_t(~kPinDtr);
    return pins;
  }
  return uint8_t((latch_ & mask_) | uint8_t(~mask_));
}

uint8_t Ft232r::LinesFromPins() const {
  const uint8_t pins = PinLevels();
  uint8_t lines = 0;
  if (!(pins & kPinDtr)) lines |= kLineDtr;
  if (!(pins & kPinRts)) lines |= kLineRts;
  if (!(pins & kPinTxd)) lines |= kLineBreak;
  return lines;
}

SimTime Ft232r::AdapterTime(SimTime t) {
  adapterNow_ = std::max(adapterNow_, t);
  return adapterNow_;
}

void Ft232r::DriveLines(SimTime t) {
  const uint8_t lines = LinesFromPins();
  if (lines == lines_) return;
  lines_ = lines;
  if (adapter_) adapter_->OutputsChanged(lines, AdapterTime(t));
}

uint8_t Ft232r::SamplePins(SimTime t) {
  uint8_t pins = 0xFF;
  if (adapter_ && adapter_->CtsAsserted(AdapterTime(t))) pins &= uint8_t(~kPinCts);
  return uint8_t((pins & ~mask_) | (latch_ & mask_));
}

void Ft232r::PullReceived(SimTime t) {
  if (!adapter_ || mode_ != Ft232rMode::Uart) return;
  const CharFormat format = Format();
  while (auto c = adapter_->CharacterReceived(format, AdapterTime(t))) {
    lineErrors_ |= uint8_t(c->errors & (kLsrParityError | kLsrFramingError | kLsrBreak));
    if (rx_.size() < kRxFifoBytes) {
      rx_.push_back(c->value);
    } else {
      overrun_ = true;
    }
  }
}

void Ft232r::AdvanceClockTo(SimTime t) {
  if (t > clock_.NowNs()) clock_.Advance(t - clock_.NowNs());
}

SimTime Ft232r::BeginControl() {
  const SimTime start = NextFrame(clock_.NowNs());
  CatchUp(start);
  return start;
}

void Ft232r::EndControl(SimTime start) { AdvanceClockTo(start + timing_.frameNs); }

void Ft232r::CatchUp(SimTime now) { Run(nullptr, nullptr, now); }

// ---- The event loop: chip, OUT packets and IN packets in time order ----

SimTime Ft232r::NextChipEvent() const {
  if (tx_.empty()) return kNever;
  if (mode_ == Ft232rMode::SyncBitbang) {
    if (rx_.size() >= kRxFifoBytes) return kNever;  // no room for the sample: the chip waits
    return std::max({lastApply_ + BitbangByteNs(), tx_.front().arrival, chipNow_});
  }
  // UART: the head character leaves the FIFO when its last stop bit is out.
  return std::max(uartFree_, tx_.front().arrival) + CharacterNs();
}

SimTime Ft232r::NextOutPacket(const OutJob& job) const {
  const size_t chunkEnd = std::min(job.size, (job.accepted / kTransferBytes + 1) * kTransferBytes);
  const size_t bytes = std::min(kPacketBytes, chunkEnd - job.accepted);
  if (kTxFifoBytes - tx_.size() < bytes) return kNever;  // NAK until there is room
  return std::max({job.slot, busFree_, chipNow_});
}

SimTime Ft232r::NextInPacket(const InJob& job) const {
  const SimTime earliest = std::max({job.slot, busFree_, chipNow_});
  if (rx_.size() >= kDataPerPacket) return earliest;
  return std::max(earliest, lastInPacket_ + SimTime(latencyMs_) * kMs);
}

void Ft232r::ChipEvent(SimTime t) {
  const TxByte head = tx_.front();
  tx_.pop_front();
  if (mode_ == Ft232rMode::SyncBitbang) {
    rx_.push_back(SamplePins(t));  // read just before the new byte is applied
    latch_ = head.value;
    lastApply_ = t;
    DriveLines(t);
    return;
  }
  uartFree_ = t;
  if (adapter_) {
    adapter_->CommByte(head.value, AdapterTime(t));
    adapter_->CharacterSent(head.value, Format(), AdapterTime(t));
  }
  PullReceived(t);
}

void Ft232r::OutPacket(OutJob& job, SimTime t) {
  const size_t chunkEnd = std::min(job.size, (job.accepted / kTransferBytes + 1) * kTransferBytes);
  const size_t bytes = std::min(kPacketBytes, chunkEnd - job.accepted);
  const SimTime end = t + PacketNs(bytes);
  for (size_t i = 0; i < bytes; ++i) tx_.push_back({job.data[job.accepted + i], end});
  busFree_ = end;
  job.accepted += bytes;
  if (job.accepted == job.size) {
    job.done = end;
  } else if (job.accepted % kTransferBytes == 0) {
    // The next chunk is a new transfer.
    job.slot = NextFrame(end);
    job.deadline = job.slot + timing_.usbTimeoutNs;
  } else {
    job.slot = end;
  }
}

void Ft232r::InPacket(InJob& job, SimTime t) {
  PullReceived(t);
  const size_t bytes = std::min(kDataPerPacket, rx_.size());
  // The status bytes: modem status (bit 0 always set), line status (transmitter empty).
  job.packets.push_back(0x01);
  job.packets.push_back(0x60);
  job.packets.insert(job.packets.end(), rx_.begin(), rx_.begin() + ptrdiff_t(bytes));
  rx_.erase(rx_.begin(), rx_.begin() + ptrdiff_t(bytes));
  const SimTime end = t + PacketNs(kStatusBytes + bytes);
  busFree_ = end;
  lastInPacket_ = end;
  job.transferBytes += kStatusBytes + bytes;
  const bool shortPacket = kStatusBytes + bytes < kPacketBytes;
  if (!shortPacket && job.transferBytes + kPacketBytes <= job.transferSize) {
    job.slot = end;
    return;
  }
  job.done = end;
}

void Ft232r::Run(OutJob* out, InJob* in, SimTime limit, bool firstEnd) {
  for (;;) {
    const bool outPending = out && out->Pending();
    const bool inPending = in && in->Pending();
    if (limit == kNever && !outPending && !inPending) return;
    if (firstEnd && ((out && !outPending) || (in && !inPending))) return;
    SimTime horizon = limit;
    if (outPending) horizon = std::min(horizon, out->deadline);
    if (inPending) horizon = std::min(horizon, in->deadline);

    const SimTime tChip = NextChipEvent();
    const SimTime tIn = inPending ? NextInPacket(*in) : kNever;
    const SimTime tOut = outPending ? NextOutPacket(*out) : kNever;
    const SimTime t = std::min({tChip, tIn, tOut});
    if (t > horizon) {
      chipNow_ = std::max(chipNow_, horizon);
      if (outPending && out->deadline == horizon) out->timedOut = true;
      if (inPending && in->deadline == horizon) in->timedOut = true;
      if (horizon == limit) return;
      continue;
    }
    chipNow_ = std::max(chipNow_, t);
    if (t == tChip) {
      ChipEvent(t);
    } else if (t == tIn) {
      InPacket(*in, t);
    } else {
      OutPacket(*out, t);
    }
  }
}

// ---- Control requests ----

void Ft232r::Reset() {
  const SimTime start = BeginControl();
  tx_.clear();
  rx_.clear();
  overrun_ = false;
  lineErrors_ = 0;
  dtr_ = rts_ = false;
  DriveLines(start);
  EndControl(start);
}

void Ft232r::DrainUart() {
  while (!tx_.empty()) {
    const SimTime t = NextChipEvent();
    chipNow_ = std::max(chipNow_, t);
    ChipEvent(t);
  }
}

void Ft232r::SetBitmode(uint8_t outputs, uint8_t mode) {
  if (mode != kModeReset && mode != kModeSyncBitbang) {
    throw std::invalid_argument(
        "FT232R model: only the UART and synchronous bit-bang are modelled");
  }
  const SimTime start = BeginControl();
  const Ft232rMode next = mode == kModeReset ? Ft232rMode::Uart : Ft232rMode::SyncBitbang;
  SimTime at = start;
  if (mode_ == Ft232rMode::Uart && next == Ft232rMode::SyncBitbang) {
    // The characters already in the UART go out first; then the COM device falls silent for
    // the adapter's mode switch.
    DrainUart();
    at = std::max(start, uartFree_);
    if (adapter_) adapter_->CommClosed(AdapterTime(at));
    lastApply_ = at;
  } else if (mode_ == Ft232rMode::SyncBitbang && next == Ft232rMode::Uart) {
    // Bytes not yet applied are dropped; whatever came in on RXD meanwhile is not a character.
    tx_.clear();
    uartFree_ = start;
    mode_ = next;
    if (adapter_) {
      while (adapter_->CharacterReceived(Format(), AdapterTime(start))) {
      }
    }
  }
  mode_ = next;
  mask_ = outputs;
  DriveLines(at);
  EndControl(start);
}

uint32_t Ft232r::SetBaudRate(uint32_t baud) {
  const SimTime start = BeginControl();
  baud_ = NearestGeneratorRate(baud);
  EndControl(start);
  return baud_;
}

void Ft232r::SetLatencyTimer(uint8_t ms) {
  const SimTime start = BeginControl();
  latencyMs_ = std::max<uint8_t>(ms, 1);
  EndControl(start);
}

void Ft232r::SetDataCharacteristics(int bits, int stopBits, int parity, bool breakOn) {
  const SimTime start = BeginControl();
  dataBits_ = bits == 7 ? 7 : 8;
  stopBits_ = std::clamp(stopBits, 0, 2);
  parity_ = std::clamp(parity, 0, 4);
  break_ = breakOn;
  DriveLines(start);
  EndControl(start);
}

void Ft232r::SetModemControl(bool dtr, bool rts) {
  const SimTime start = BeginControl();
  dtr_ = dtr;
  rts_ = rts;
  DriveLines(start);
  EndControl(start);
}

uint16_t Ft232r::PollModemStatus() {
  const SimTime start = BeginControl();
  PullReceived(start);
  const bool cts = adapter_ && adapter_->CtsAsserted(AdapterTime(start));
  const uint8_t modem = uint8_t(0x01 | (cts ? 0x10 : 0));
  uint8_t line = lineErrors_;
  if (!rx_.empty()) line |= 0x01;
  if (overrun_) line |= 0x02;
  if (tx_.empty()) line |= 0x20;
  if (tx_.empty() && uartFree_ <= start) line |= 0x40;
  overrun_ = false;
  lineErrors_ = 0;
  EndControl(start);
  return uint16_t(modem | (line << 8));
}

void Ft232r::PurgeTx() {
  const SimTime start = BeginControl();
  tx_.clear();
  EndControl(start);
}

void Ft232r::PurgeRx() {
  const SimTime start = BeginControl();
  rx_.clear();
  overrun_ = false;
  EndControl(start);
}

// ---- Bulk transfers ----

Ft232r::OutResult Ft232r::BulkOut(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const SimTime start = NextFrame(clock_.NowNs());
  OutJob job;
  job.data = data;
  job.size = size;
  job.slot = start;
  job.deadline = start + timing_.usbTimeoutNs;
  Run(&job, nullptr, kNever);
  AdvanceClockTo(job.timedOut ? job.deadline : job.done);
  return {job.accepted, job.timedOut};
}

std::vector<uint8_t> Ft232r::BulkIn(size_t size) {
  const SimTime start = NextFrame(clock_.NowNs());
  InJob job;
  job.transferSize = std::max(kPacketBytes, size);
  job.slot = start;
  job.deadline = start + timing_.usbTimeoutNs;
  Run(nullptr, &job, kNever);
  AdvanceClockTo(job.timedOut ? job.deadline : job.done);
  ++inTransfers_;
  return std::move(job.packets);
}

void Ft232r::SubmitOut(const uint8_t* data, size_t size) {
  asyncOut_ = std::make_unique<OutJob>();
  asyncOut_->data = data;
  asyncOut_->size = size;
  asyncOut_->slot = NextFrame(clock_.NowNs());
  asyncOut_->deadline = asyncOut_->slot + timing_.usbTimeoutNs;
  if (size == 0) asyncOut_->done = asyncOut_->slot;
}

void Ft232r::SubmitIn(size_t size) {
  asyncIn_ = std::make_unique<InJob>();
  asyncIn_->transferSize = std::max(kPacketBytes, size);
  asyncIn_->slot = NextFrame(clock_.NowNs());
  asyncIn_->deadline = asyncIn_->slot + timing_.usbTimeoutNs;
}

bool Ft232r::InFlight() const { return asyncOut_ || asyncIn_; }

Ft232r::Completion Ft232r::RunTransfers() {
  Completion result;
  if (!InFlight()) return result;
  Run(asyncOut_.get(), asyncIn_.get(), kNever, true);
  const bool outEnded = asyncOut_ && !asyncOut_->Pending();
  const bool inEnded = asyncIn_ && !asyncIn_->Pending();
  const SimTime outEnd =
      outEnded ? (asyncOut_->timedOut ? asyncOut_->deadline : asyncOut_->done) : kNever;
  const SimTime inEnd =
      inEnded ? (asyncIn_->timedOut ? asyncIn_->deadline : asyncIn_->done) : kNever;
  if (outEnded && outEnd <= inEnd) {
    AdvanceClockTo(outEnd);
    result.outAccepted = asyncOut_->accepted;
    result.timedOut = asyncOut_->timedOut;
    asyncOut_.reset();
    return result;
  }
  AdvanceClockTo(inEnd);
  result.in = true;
  result.packets = std::move(asyncIn_->packets);
  result.timedOut = asyncIn_->timedOut;
  asyncIn_.reset();
  ++inTransfers_;
  return result;
}

void Ft232r::DropTransfers() {
  asyncOut_.reset();
  asyncIn_.reset();
}

void Ft232r::HostClosed() {
  CatchUp(clock_.NowNs());
  if (mode_ != Ft232rMode::Uart) return;
  DrainUart();
  if (adapter_) adapter_->CommClosed(AdapterTime(std::max(clock_.NowNs(), uartFree_)));
}

void Ft232r::PowerLost() {
  CatchUp(clock_.NowNs());
  tx_.clear();
  rx_.clear();
  mode_ = Ft232rMode::Uart;
  mask_ = 0;
  latch_ = 0xFF;
  dtr_ = rts_ = break_ = false;
  DriveLines(clock_.NowNs());
}

}  // namespace vexilo::sim
