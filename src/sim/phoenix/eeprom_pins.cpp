#include "sim/phoenix/eeprom_pins.h"

namespace vexilo::sim {

bool EepromPins::Master(bool masterSda, bool masterScl, SimTime now) {
  const bool scl = masterScl;
  const bool sda = masterSda && sdaOut_;
  if (scl && scl_ && sda != sda_) {
    if (!sda) {
      eeprom_.Start(now);
      mode_ = Mode::Receive;
      bits_ = 0;
      firstByte_ = true;
      reading_ = false;
    } else {
      eeprom_.Stop(now);
      mode_ = Mode::Idle;
    }
    sdaOut_ = true;
  } else if (scl && !scl_) {
    Rising(sda, now);
  } else if (!scl && scl_) {
    Falling(now);
  }
  scl_ = scl;
  sda_ = masterSda && sdaOut_;
  return sdaOut_;
}

void EepromPins::Rising(bool sda, SimTime now) {
  switch (mode_) {
    case Mode::Receive:
      shift_ = uint8_t(shift_ << 1 | (sda ? 1 : 0));
      if (++bits_ == 8) {
        acked_ = eeprom_.Write(shift_, now);
        if (firstByte_ && acked_) reading_ = (shift_ & 1) != 0;
        firstByte_ = false;
      }
      break;
    case Mode::AckIn:
      masterAck_ = !sda;
      break;
    default:
      break;
  }
}

void EepromPins::Falling(SimTime now) {
  switch (mode_) {
    case Mode::Receive:
      if (bits_ == 8) {
        mode_ = Mode::AckOut;
        sdaOut_ = !acked_;
      }
      break;
    case Mode::AckOut:
      sdaOut_ = true;
      bits_ = 0;
      if (!acked_) {
        mode_ = Mode::Idle;
      } else if (reading_) {
        LoadByte(now);
      } else {
        mode_ = Mode::Receive;
      }
      break;
    case Mode::Send:
      if (++bits_ < 8) {
        sdaOut_ = (shift_ >> (7 - bits_)) & 1;
      } else {
        sdaOut_ = true;
        mode_ = Mode::AckIn;
      }
      break;
    case Mode::AckIn:
      if (masterAck_) {
        LoadByte(now);
      } else {
        mode_ = Mode::Idle;
      }
      break;
    case Mode::Idle:
      break;
  }
}

EepromPins::Script EepromPins::Ahead() const {
  Script script;
  switch (mode_) {
    case Mode::Idle:
      script.holdAfter = true;
      break;
    case Mode::Receive: {
      // Released up to the fall after the eighth bit, which brings the acknowledge (or not).
      const unsigned falls = bits_ < 8 ? (scl_ ? 8 - bits_ : 7 - bits_) : 0;
      script.levels.assign(falls, true);
      break;
    }
    case Mode::AckOut:
      // The fall after the acknowledge: a read's next byte needs the part's memory then.
      if (!acked_) {
        script.levels = {true};
        script.holdAfter = true;
      } else if (!reading_) {
        script.levels.assign(8, true);
      }
      break;
    case Mode::Send:
      for (unsigned bit = bits_ + 1; bit < 8; ++bit) {
        script.levels.push_back((shift_ >> (7 - bit)) & 1);
      }
      script.levels.push_back(true);  // released for the master's acknowledge
      break;
    case Mode::AckIn:
      break;  // the master's acknowledge decides
  }
  return script;
}

void EepromPins::LoadByte(SimTime now) {
  shift_ = eeprom_.Read(now);
  bits_ = 0;
  mode_ = Mode::Send;
  sdaOut_ = (shift_ & 0x80) != 0;
}

}  // namespace vexilo::sim
