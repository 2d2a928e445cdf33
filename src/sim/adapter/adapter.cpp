#include "sim/adapter/adapter.h"

#include <cmath>

namespace vexilo::sim {

namespace {

constexpr double kIoLineBaud = 9600.0;
constexpr double kBaudTolerance = 0.04;

bool RateMatchesCard(const CharFormat& format) {
  return std::fabs(format.Baud() - kIoLineBaud) <= kIoLineBaud * kBaudTolerance;
}

bool WordMatchesCard(const CharFormat& format) {
  return format.DataBits() == 8 && format.ParityEnabled() && format.EvenParity() &&
         !format.StickParity();
}

}  // namespace

void Adapter::InsertCard(const CardSlot& slot, SimTime now) {
  if (uart_) uart_->CatchUp(now);
  slot_ = slot;
  chipPins_ = 0xFF;
  phoenixReset_.reset();
  Route(now);
}

void Adapter::CommByte(uint8_t value, SimTime now) {
  if (auto mode = detector_.Hear(value, now)) SwitchTo(*mode, now);
}

void Adapter::CommClosed(SimTime now) {
  if (auto mode = detector_.End()) SwitchTo(*mode, now);
}

void Adapter::SwitchTo(AdapterMode mode, SimTime now) {
  if (uart_) uart_->CatchUp(now);
  mode_ = mode;
  echoes_.clear();
  Route(now);
}

void Adapter::OutputsChanged(uint8_t lines, SimTime now) {
  lines_ = lines;
  Route(now);
}

void Adapter::Route(SimTime now) {
  const bool brk = (lines_ & kLineBreak) != 0;
  const bool rts = (lines_ & kLineRts) != 0;
  const bool dtr = (lines_ & kLineDtr) != 0;
  switch (mode_) {
    case AdapterMode::Avr:
      // The RESET line swings between 0 V and Vdd: never the PIC's programming voltage.
      DriveChip(slot_.family == ChipFamily::Avr ? !brk : false, rts, dtr, now);
      DrivePhoenixReset(true, now);
      break;
    case AdapterMode::Pic:
      // MCLR at Vihh or at 0 V: for an AVR that is RESET high or low.
      DriveChip(brk, rts, dtr, now);
      DrivePhoenixReset(true, now);
      break;
    case AdapterMode::Phoenix:
      DriveChip(slot_.family == ChipFamily::Avr, false, false, now);
      DrivePhoenixReset(rts, now);
      break;
  }
}

void Adapter::DriveChip(bool control, bool clock, bool data, SimTime now) {
  const uint8_t pins = uint8_t(control | (clock << 1) | (data << 2));
  if (pins == chipPins_) return;
  chipPins_ = pins;
  if (slot_.chip) slot_.chip->SetPins(control, clock, data, now);
}

void Adapter::DrivePhoenixReset(bool active, SimTime now) {
  if (phoenixReset_ == active) return;
  phoenixReset_ = active;
  if (slot_.phoenix) slot_.phoenix->SetReset(active, now);
}

bool Adapter::CtsAsserted(SimTime now) {
  switch (mode_) {
    case AdapterMode::Avr:
      return slot_.chip ? slot_.chip->DataOut(now) : false;
    case AdapterMode::Pic:
      return slot_.chip ? slot_.chip->DataOut(now) : (lines_ & kLineDtr) != 0;
    case AdapterMode::Phoenix:
      return false;
  }
  return false;
}

void Adapter::CharacterSent(uint8_t value, const CharFormat& format, SimTime end) {
  if (mode_ != AdapterMode::Phoenix || (lines_ & kLineBreak)) return;
  if (slot_.phoenix && RateMatchesCard(format) && WordMatchesCard(format)) {
    slot_.phoenix->ReceiveFromReader(value, end);
  }
  if (echo_) echoes_.push_back(value);
}

std::optional<ReceivedChar> Adapter::CharacterReceived(const CharFormat& format, SimTime now) {
  // An echo was queued only after everything the card had finished before it was collected,
  // so echoes come first.
  if (!echoes_.empty()) {
    const uint8_t value = echoes_.front();
    echoes_.pop_front();
    return ReceivedChar{value, 0};
  }
  if (mode_ != AdapterMode::Phoenix || !slot_.phoenix) return std::nullopt;
  const auto value = slot_.phoenix->TransmitToReader(now);
  if (!value) return std::nullopt;
  uint8_t errors = 0;
  if (!RateMatchesCard(format)) {
    errors = kLsrFramingError;
  } else if (!WordMatchesCard(format)) {
    errors = kLsrParityError;
  }
  return ReceivedChar{*value, errors};
}

}  // namespace vexilo::sim
