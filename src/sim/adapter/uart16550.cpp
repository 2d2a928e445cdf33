#include "sim/adapter/uart16550.h"

#include <algorithm>

namespace vexilo::sim {

namespace {

constexpr uint8_t kLcrDlab = 0x80;
constexpr uint8_t kLcrBreak = 0x40;
constexpr uint8_t kCharErrors = kLsrParityError | kLsrFramingError | kLsrBreak;

}  // namespace

uint8_t Uart16550::Read(unsigned offset, SimTime now) {
  const bool dlab = (lcr_ & kLcrDlab) != 0;
  switch (offset) {
    case kRbrThrDll:
      return dlab ? uint8_t(divisor_ & 0xFF) : ReadRbr(now);
    case kIerDlm:
      return dlab ? uint8_t(divisor_ >> 8) : ier_;
    case kIirFcr:
      return ReadIir(now);
    case kLcr:
      return lcr_;
    case kMcr:
      return mcr_;
    case kLsr:
      return ReadLsr(now);
    case kMsr:
      return ReadMsr(now);
    case kScr:
      return scr_;
    default:
      return 0xFF;
  }
}

void Uart16550::Write(unsigned offset, uint8_t value, SimTime now) {
  const bool dlab = (lcr_ & kLcrDlab) != 0;
  switch (offset) {
    case kRbrThrDll:
      if (dlab) {
        divisor_ = uint16_t((divisor_ & 0xFF00) | value);
      } else {
        WriteThr(value, now);
      }
      break;
    case kIerDlm:
      if (dlab) {
        divisor_ = uint16_t((divisor_ & 0x00FF) | (value << 8));
      } else {
        ier_ = value & 0x0F;
        threAcknowledged_ = false;
      }
      break;
    case kIirFcr:
      WriteFcr(value, now);
      break;
    case kLcr:
      if (txCount_ != 0) CatchUp(now);
      lcr_ = value;
      OutputsMayHaveChanged(now);
      break;
    case kMcr:
      if (txCount_ != 0) CatchUp(now);
      mcr_ = value & 0x1F;
      OutputsMayHaveChanged(now);
      break;
    case kScr:
      scr_ = value;
      break;
    default:  // LSR and MSR are read-only
      break;
  }
}

void Uart16550::CatchUp(SimTime now) {
  while (txCount_ != 0 && tx_[txHead_].end <= now) {
    const TxSlot slot = tx_[txHead_];
    txHead_ = (txHead_ + 1) % kTxSlots;
    --txCount_;
    DrainReceiver(slot.end);
    if (Loop()) {
      PushReceived({slot.value, 0}, slot.end);
    } else {
      wiring_->CharacterSent(slot.value, Format(), slot.end);
    }
  }
  DrainReceiver(now);
}

void Uart16550::DrainReceiver(SimTime now) {
  // In loop-back the RX input is cut off inside the chip: what arrives there is lost.
  while (auto c = wiring_->CharacterReceived(Format(), now)) {
    if (!Loop()) PushReceived(*c, now);
  }
}

void Uart16550::PushReceived(const ReceivedChar& c, SimTime now) {
  lastRxArrival_ = now;
  if (rxCount_ == RxCapacity()) {
    overrun_ = true;
    // Without FIFOs the new character replaces the unread one; with them it is lost.
    if (!fifoEnabled_) rx_[rxHead_] = c;
    return;
  }
  rx_[(rxHead_ + rxCount_) % kFifoSize] = c;
  ++rxCount_;
}

unsigned Uart16550::TxWaiting(SimTime now) const {
  unsigned waiting = 0;
  for (unsigned i = txCount_; i > 0; --i) {
    if (tx_[(txHead_ + i - 1) % kTxSlots].start <= now) break;
    ++waiting;
  }
  return waiting;
}

void Uart16550::WriteThr(uint8_t value, SimTime now) {
  CatchUp(now);
  threAcknowledged_ = false;
  const unsigned capacity = fifoEnabled_ ? kFifoSize : 1;
  if (TxWaiting(now) >= capacity) {
    // Holding register full: without FIFOs the new byte overwrites it, with them it is lost.
    if (!fifoEnabled_) tx_[(txHead_ + txCount_ - 1) % kTxSlots].value = value;
    return;
  }
  SimTime start = now;
  if (txCount_ != 0) start = std::max(now, tx_[(txHead_ + txCount_ - 1) % kTxSlots].end);
  tx_[(txHead_ + txCount_) % kTxSlots] = {value, start, start + Format().FrameNs()};
  ++txCount_;
}

void Uart16550::DropUnsentTx(SimTime now) {
  CatchUp(now);
  txCount_ -= TxWaiting(now);
}

void Uart16550::WriteFcr(uint8_t value, SimTime now) {
  const bool enable = (value & 0x01) != 0;
  if (enable != fifoEnabled_) {
    // Switching between FIFO and 16450 mode empties both FIFOs.
    DropUnsentTx(now);
    rxCount_ = 0;
    fifoEnabled_ = enable;
  }
  // The other bits are taken only while bit 0 is written as 1.
  if (!enable) return;
  if (value & 0x02) {
    CatchUp(now);
    rxCount_ = 0;
  }
  if (value & 0x04) DropUnsentTx(now);
  fcr_ = value & 0xC0;
}

void Uart16550::OutputsMayHaveChanged(SimTime now) {
  // Loop-back holds DTR and RTS inactive and the serial output at mark.
  uint8_t lines = 0;
  if (!Loop())
    lines = uint8_t((mcr_ & (kLineDtr | kLineRts)) | ((lcr_ & kLcrBreak) ? kLineBreak : 0));
  if (lines == lines_) return;
  lines_ = lines;
  wiring_->OutputsChanged(lines, now);
}

uint8_t Uart16550::ReadLsr(SimTime now) {
  CatchUp(now);
  uint8_t lsr = 0;
  if (rxCount_ != 0) {
    lsr |= kLsrDataReady | rx_[rxHead_].errors;
    if (fifoEnabled_) {
      for (unsigned i = 0; i < rxCount_; ++i) {
        if (rx_[(rxHead_ + i) % kFifoSize].errors) lsr |= kLsrFifoError;
      }
    }
    rx_[rxHead_].errors = 0;  // reading the LSR clears the error bits it showed
  }
  if (overrun_) lsr |= kLsrOverrun;
  overrun_ = false;
  if (ThrEmpty(now)) lsr |= kLsrThrEmpty;
  if (txCount_ == 0) lsr |= kLsrTxEmpty;
  return lsr;
}

uint8_t Uart16550::ReadRbr(SimTime now) {
  CatchUp(now);
  if (rxCount_ != 0) {
    lastRead_ = rx_[rxHead_].value;
    rxHead_ = (rxHead_ + 1) % kFifoSize;
    --rxCount_;
  }
  return lastRead_;
}

unsigned Uart16550::RxTrigger() const {
  static constexpr unsigned kTriggers[] = {1, 4, 8, 14};
  return kTriggers[fcr_ >> 6];
}

uint8_t Uart16550::ReadIir(SimTime now) {
  CatchUp(now);
  uint8_t id = 0x01;  // no interrupt pending
  const bool lineError = overrun_ || (rxCount_ != 0 && (rx_[rxHead_].errors & kCharErrors));
  if ((ier_ & 0x04) && lineError) {
    id = 0x06;
  } else if ((ier_ & 0x01) && rxCount_ != 0 && (!fifoEnabled_ || rxCount_ >= RxTrigger())) {
    id = 0x04;
  } else if ((ier_ & 0x01) && rxCount_ != 0 && now - lastRxArrival_ >= 4 * Format().FrameNs()) {
    id = 0x0C;  // character time-out: data below the trigger level, nothing new for 4 chars
  } else if ((ier_ & 0x02) && ThrEmpty(now) && !threAcknowledged_) {
    id = 0x02;
    threAcknowledged_ = true;  // reading IIR clears the transmitter-empty interrupt
  }
  return uint8_t(id | (fifoEnabled_ ? 0xC0 : 0x00));
}

uint8_t Uart16550::ReadMsr(SimTime now) {
  if (Loop()) {
    // Loop-back: RTS -> CTS, DTR -> DSR, OUT1 -> RI, OUT2 -> DCD.
    return uint8_t(((mcr_ & 0x02) ? kMsrCts : 0) | ((mcr_ & 0x01) ? kMsrDsr : 0) |
                   ((mcr_ & 0x04) ? kMsrRi : 0) | ((mcr_ & 0x08) ? kMsrDcd : 0));
  }
  return wiring_->CtsAsserted(now) ? kMsrCts : 0;
}

}  // namespace vexilo::sim
