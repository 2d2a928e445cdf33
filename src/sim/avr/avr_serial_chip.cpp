#include "sim/avr/avr_serial_chip.h"

#include <algorithm>

namespace vexilo::sim {
namespace {

constexpr uint8_t kEnable1 = 0xAC;
constexpr uint8_t kEnable2 = 0x53;

}  // namespace

AvrSerialChip::AvrSerialChip(const AvrChipSpec& spec, const ChipFaults& faults)
    : spec_(spec),
      faults_(faults),
      flash_(2 * static_cast<size_t>(spec.flashWords), 0xFF),
      eeprom_(spec.eepromBytes, 0xFF) {
  config_.fill(0xFF);
  std::copy_n(spec.fuseDefaults.begin(), spec.fuseCount, config_.begin());
  pageBuffer_.fill(0xFF);
  ApplyStuckBit();
}

void AvrSerialChip::SetPins(bool control, bool clock, bool data, SimTime now) {
  if (control != reset_) {
    reset_ = control;
    if (control) {
      RiseOfReset(now);
    } else {
      FallOfReset();
    }
  }
  if (clock != clock_) {
    clock_ = clock;
    const SimTime minPhase = MinSckPhase();
    const bool tooShort = minPhase > 0 && now - lastSckEdge_ <= minPhase;
    lastSckEdge_ = now;
    // A phase shorter than the chip can follow: the edge is lost and the frame out of step.
    if (!reset_ && !tooShort) {
      if (clock) {
        RisingEdge(data, now);
      } else {
        FallingEdge();
      }
    }
  }
}

// The serial logic starts counting with RESET low. The data sheets ask for SCK low at that
// moment; with SCK high the chip takes the level as a first clock and is one bit out of step.
void AvrSerialChip::FallOfReset() {
  enabled_ = false;
  bitCount_ = clock_ ? 1 : 0;
  shiftIn_ = 0;
  nextOut_ = 0;
  shiftOut_ = 0;
  loadOut_ = false;
  miso_ = false;
}

// RESET high ends programming mode and starts the program. A self-timed write or erase
// still running is cut short: the data sheets give no result for it, so the model leaves the
// memory as it was before the instruction (the erase has erased nothing, the page holds its
// old words).
void AvrSerialChip::RiseOfReset(SimTime now) {
  Settle(now);
  pending_.job = Job::kNone;
  enabled_ = false;
  miso_ = false;
}

SimTime AvrSerialChip::MinSckPhase() const {
  if (faults_.avrClockHz == 0) return 0;
  return static_cast<SimTime>(2.0 * 1e9 / faults_.avrClockHz);
}

void AvrSerialChip::RisingEdge(bool bit, SimTime now) {
  shiftIn_ = static_cast<uint8_t>((shiftIn_ << 1) | (bit ? 1 : 0));
  ++bitCount_;
  if ((bitCount_ & 7) == 0) ByteDone(bitCount_ / 8 - 1, now);
}

void AvrSerialChip::FallingEdge() {
  if (loadOut_) {
    shiftOut_ = nextOut_;
    loadOut_ = false;
  }
  miso_ = (shiftOut_ & 0x80) != 0;
  shiftOut_ = static_cast<uint8_t>(shiftOut_ << 1);
}

void AvrSerialChip::ByteDone(int index, SimTime now) {
  frame_[index] = shiftIn_;
  if (index == 3) {
    Execute(now);
    bitCount_ = 0;
    nextOut_ = enabled_ ? frame_[3] : 0;
  } else if (!enabled_) {
    // Only the Programming Enable echo: 0x53 during the third byte.
    nextOut_ = (index == 1 && frame_[0] == kEnable1 && frame_[1] == kEnable2) ? kEnable2 : 0;
  } else {
    nextOut_ = index == 2 ? ReadValue(now) : frame_[index];
  }
  loadOut_ = true;
}

void AvrSerialChip::Execute(SimTime now) {
  Settle(now);
  if (!enabled_) {
    if (frame_[0] == kEnable1 && frame_[1] == kEnable2) {
      enabled_ = true;
      pageBuffer_.fill(0xFF);
      lowLatch_ = 0xFF;
    }
    return;
  }
  switch (frame_[0]) {
    case 0xAC:
      ExecuteAc(now);
      break;
    case 0x40:
    case 0x48:
      if (spec_.instructions & kAvrWriteFlashByte) WriteFlashByte(now);
      if (spec_.instructions & kAvrLoadFlashPage) LoadPage();
      break;
    case 0x4C:
      if (spec_.instructions & kAvrLoadFlashPage) WritePage(now);
      break;
    case 0xC0:
      WriteEeprom(now);
      break;
    default:
      break;  // reads answer in the fourth byte; unknown instructions do nothing
  }
}

// The fourth byte of a read instruction; other instructions echo their third byte.
uint8_t AvrSerialChip::ReadValue(SimTime now) {
  Settle(now);
  switch (frame_[0]) {
    case 0x20:
    case 0x28:
      return ReadFlash(2 * WordAddress() + ((frame_[0] >> 3) & 1), now);
    case 0xA0:
      return ReadEeprom(((frame_[1] << 8) | frame_[2]) & (spec_.eepromBytes - 1u), now);
    case 0x30:
      return ReadSignature(frame_[2] & 3);
    case 0x38:
      if (spec_.calibrationBytes == 0) break;
      return spec_.calibration[frame_[2] & (spec_.calibrationBytes - 1u)];
    case 0x50:
    case 0x58:
      if (spec_.instructions & kAvrReadFuses) return ReadConfig();
      break;
    case 0xF0:
      // RDY/BSY: bit 0 set while a write is in progress.
      if (spec_.instructions & kAvrPollReady) return Busy(now) ? 0xFF : 0xFE;
      break;
    default:
      break;
  }
  return frame_[2];
}

// Lock mode 3 disables verification; the data sheets give no value, the model reads 0xFF
// (what a blank chip gives, so only a blank image verifies).
uint8_t AvrSerialChip::ReadFlash(uint32_t byteAddress, SimTime now) const {
  if (ReadLocked()) return 0xFF;
  if (Busy(now)) {
    // Data polling: the byte (AT90S) or any byte of the page (ATmega) being programmed.
    if (pending_.job == Job::kFlashByte && pending_.address == byteAddress) {
      return spec_.flashBusyValue;
    }
    if (pending_.job == Job::kFlashPage && byteAddress >= pending_.address &&
        byteAddress < pending_.address + 2u * spec_.pageWords) {
      return spec_.flashBusyValue;
    }
  }
  return flash_[byteAddress];
}

uint8_t AvrSerialChip::ReadEeprom(uint32_t address, SimTime now) const {
  if (ReadLocked()) return 0xFF;
  if (Busy(now) && pending_.job == Job::kEeprom && pending_.address == address) {
    // The write starts with an automatic erase, taken here as its first half.
    SimTime half = pending_.start + (pending_.doneAt - pending_.start) / 2;
    return now < half ? spec_.eepromEraseBusyValue : spec_.eepromWriteBusyValue;
  }
  return eeprom_[address];
}

// AT90S8515: not readable in lock mode 3; a locked chip reads 0x00, 0x01, 0x02 (the vendor
// code 0x00 marks it locked, Atmel application note AVR910).
uint8_t AvrSerialChip::ReadSignature(uint8_t index) const {
  if (spec_.signatureLockedByLb && ReadLocked()) return index;
  return index < 3 ? spec_.signature[index] : 0xFF;
}

uint8_t AvrSerialChip::ReadConfig() const {
  const uint8_t lock = static_cast<uint8_t>(config_[LockIndex()] | ~spec_.lockWritable);
  if (frame_[0] == 0x50 && frame_[1] == 0x00) return config_[kAvrFuseLow];
  if (frame_[0] == 0x58 && frame_[1] == 0x08) return config_[kAvrFuseHigh];
  if (frame_[0] == 0x50 && frame_[1] == 0x08) {
    return spec_.fuseCount > kAvrFuseExtended ? config_[kAvrFuseExtended] : frame_[2];
  }
  if (frame_[0] == 0x58 && frame_[1] == 0x00) return lock;
  return frame_[2];
}

void AvrSerialChip::ExecuteAc(SimTime now) {
  const uint8_t op = frame_[1];
  if ((op & 0xE0) == 0x80) {  // Chip Erase 1010 1100 100x xxxx
    if (Busy(now)) return;
    // Self-timed: the memories are erased when tWD_ERASE has passed.
    Start(Job::kErase, 0, 0, spec_.eraseTime, now);
    return;
  }
  if (spec_.instructions & kAvrLockInByte4) {
    if ((op & 0xE0) == 0xE0) WriteLock(frame_[3], now);  // 1010 1100 111x xxxx
  } else if ((op & 0xE0) == 0xE0) {                      // AT90S: 1010 1100 111x x21x
    WriteLock(op, now);
  }
  if (spec_.instructions & kAvrWriteFuses) {
    if (op == 0xA0) WriteFuse(kAvrFuseLow, frame_[3], now);
    if (op == 0xA8) WriteFuse(kAvrFuseHigh, frame_[3], now);
    if (op == 0xA4 && spec_.fuseCount > kAvrFuseExtended) {
      WriteFuse(kAvrFuseExtended, frame_[3], now);
    }
  }
}

void AvrSerialChip::WriteFlashByte(SimTime now) {
  if (Busy(now) || WriteLocked()) return;
  Start(Job::kFlashByte, 2 * WordAddress() + ((frame_[0] >> 3) & 1), frame_[3], spec_.flashTime,
        now);
}

// The low byte is latched; loading the high byte puts the word into the page buffer, so the
// low byte has to come first (ATmega data sheets, Load Program Memory Page).
void AvrSerialChip::LoadPage() {
  const uint32_t word = frame_[2] & (spec_.pageWords - 1u);
  if (frame_[0] == 0x40) {
    lowLatch_ = frame_[3];
    return;
  }
  pageBuffer_[2 * word] = lowLatch_;
  pageBuffer_[2 * word + 1] = frame_[3];
  lowLatch_ = 0xFF;
}

void AvrSerialChip::WritePage(SimTime now) {
  if (Busy(now) || WriteLocked()) return;
  const uint32_t firstWord = WordAddress() & ~(spec_.pageWords - 1u);
  pageInFlight_ = pageBuffer_;
  pageBuffer_.fill(0xFF);
  Start(Job::kFlashPage, 2 * firstWord, 0, spec_.flashTime, now);
}

void AvrSerialChip::WriteEeprom(SimTime now) {
  if (Busy(now) || WriteLocked()) return;
  const uint32_t address = ((frame_[1] << 8) | frame_[2]) & (spec_.eepromBytes - 1u);
  Start(Job::kEeprom, address, frame_[3], spec_.eepromTime, now);
}

void AvrSerialChip::WriteFuse(AvrFuse fuse, uint8_t value, SimTime now) {
  if (Busy(now) || (spec_.fusesLockedByLb1 && Lb1())) return;
  Start(Job::kFuse, fuse, value, spec_.fuseTime, now);
}

void AvrSerialChip::WriteLock(uint8_t value, SimTime now) {
  if (Busy(now)) return;
  Start(Job::kLock, 0, value, spec_.fuseTime, now);
}

void AvrSerialChip::Start(Job job, uint32_t address, uint8_t value, SimTime duration, SimTime now) {
  pending_ = {job, address, value, now, now + Scaled(duration)};
}

void AvrSerialChip::Settle(SimTime now) {
  if (pending_.job != Job::kNone && now >= pending_.doneAt) Finish();
}

// Programming a Flash cell only clears bits (Chip Erase sets them); an EEPROM write erases the
// byte first. Lock bits can only be programmed; fuses both ways.
void AvrSerialChip::Finish() {
  switch (pending_.job) {
    case Job::kFlashByte:
      flash_[pending_.address] &= pending_.value;
      break;
    case Job::kFlashPage:
      for (uint32_t i = 0; i < 2u * spec_.pageWords; ++i) {
        flash_[pending_.address + i] &= pageInFlight_[i];
      }
      break;
    case Job::kEeprom:
      eeprom_[pending_.address] = pending_.value;
      break;
    case Job::kFuse: {
      const uint8_t writable = spec_.fuseWritable[pending_.address];
      uint8_t& fuse = config_[pending_.address];
      fuse = static_cast<uint8_t>((fuse & ~writable) | (pending_.value & writable));
      break;
    }
    case Job::kLock:
      config_[LockIndex()] &= static_cast<uint8_t>(pending_.value | ~spec_.lockWritable);
      break;
    case Job::kErase: {
      flash_.assign(flash_.size(), 0xFF);
      const bool eesave = spec_.eesaveMask != 0 && (config_[kAvrFuseHigh] & spec_.eesaveMask) == 0;
      if (!eesave) eeprom_.assign(eeprom_.size(), 0xFF);
      config_[LockIndex()] = 0xFF;
      break;
    }
    case Job::kNone:
      break;
  }
  pending_.job = Job::kNone;
  ApplyStuckBit();
}

void AvrSerialChip::ApplyStuckBit() {
  if (!faults_.stuck || faults_.stuck->byteAddress >= flash_.size()) return;
  const uint8_t mask = static_cast<uint8_t>(1u << (faults_.stuck->bit & 7));
  uint8_t& cell = flash_[faults_.stuck->byteAddress];
  cell = faults_.stuck->stuckValue ? (cell | mask) : (cell & ~mask);
}

uint32_t AvrSerialChip::WordAddress() const {
  return ((static_cast<uint32_t>(frame_[1]) << 8) | frame_[2]) & (spec_.flashWords - 1u);
}

SimTime AvrSerialChip::Scaled(SimTime time) const {
  return static_cast<SimTime>(static_cast<double>(time) * faults_.writeTimeFactor + 0.5);
}

std::vector<MemoryRegion> AvrSerialChip::Regions() {
  if (pending_.job != Job::kNone) Finish();
  return {
      {"flash", flash_},
      {"eeprom", eeprom_},
      {"fuses", std::span<uint8_t>(config_.data(), LockIndex() + 1)},
  };
}

}  // namespace vexilo::sim
