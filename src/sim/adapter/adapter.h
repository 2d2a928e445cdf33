#pragma once
#include <cstdint>
#include <deque>
#include <optional>

#include "sim/adapter/mode_burst.h"
#include "sim/adapter/uart16550.h"
#include "sim/card/chip.h"
#include "sim/card/phoenix_card.h"
#include "sim/sim_time.h"

namespace vexilo::sim {

// Which programming protocol the card's chip speaks; decides the chip's idle pin levels.
enum class ChipFamily { Avr, Pic };

// What sits in the adapter's card slot. Either pointer may be null: `chip` null means no card
// at all, `phoenix` null a card that never answers on the IO contact.
struct CardSlot {
  SerialProgrammedChip* chip = nullptr;
  PhoenixCard* phoenix = nullptr;
  ChipFamily family = ChipFamily::Avr;
};

// The card adapter on the COM port. It has no logic of its own on the programming side: it
// turns the UART's RS-232 lines into card contacts, and a small mode switch listening on the
// COM device chooses which contacts they reach.
//
// AVR mode:     TX break -> RESET pin low (chip held in reset); no break -> RESET high.
//               RTS -> SCK, DTR -> MOSI, CTS <- MISO.
// PIC mode:     TX break -> MCLR at the programming voltage Vihh; no break -> MCLR off.
//               RTS -> RB6 (clock), DTR -> RB7 (data to the chip), CTS <- RB7 read back (the
//               chip's level while it drives RB7, else the programmer's own DTR level).
// Phoenix mode: RTS -> the card's RESET contact (asserted = reset held). TX and RX are joined
//               on the card's IO contact, so every character sent reaches the card and comes
//               back into the receiver (the echo), followed by what the card sends. While TX
//               is in break the IO line is held at space and no character gets through. The
//               chip runs its own firmware: its programming pins are held idle (AVR: RESET
//               high; PIC: MCLR off), and CTS is not connected (reads not asserted).
// A chip of the other family sees the same lines by its own pin: a PIC in AVR mode never gets
// the programming voltage; an AVR in PIC mode takes MCLR at Vihh as RESET high.
// In AVR and PIC mode the IO contact is not connected: characters written to the UART go
// nowhere (the short pulses they would put on RESET or MCLR are not modelled) and the
// Phoenix side of the card is held in reset, so no firmware runs while the chip is programmed.
//
// The IO line runs at 9600 baud, 8 data bits, even parity. A card receives a character only
// when the UART's rate is within 4 % of that and its word has 8 data bits and even parity;
// characters from the card read with another setting arrive flagged with a framing error
// (wrong rate) or a parity error (wrong word format).
class Adapter final : public UartWiring {
 public:
  explicit Adapter(AdapterMode initial = AdapterMode::Phoenix) : mode_(initial) {}

  // The UART whose lines the adapter sees; it is brought up to date before a mode change.
  void AttachUart(Uart16550* uart) { uart_ = uart; }
  void InsertCard(const CardSlot& slot, SimTime now);
  void RemoveCard(SimTime now) { InsertCard({}, now); }
  // An adapter without the TX-RX join gives no echo.
  void SetEcho(bool on) { echo_ = on; }

  AdapterMode Mode() const { return mode_; }
  // The person moves the mode switch by hand (AutoMode off).
  void SetModeByHand(AdapterMode mode, SimTime now) { SwitchTo(mode, now); }

  // Characters the mode switch hears on the COM device, and the device being closed.
  void CommByte(uint8_t value, SimTime now);
  void CommClosed(SimTime now);

  // UartWiring.
  void OutputsChanged(uint8_t lines, SimTime now) override;
  bool CtsAsserted(SimTime now) override;
  void CharacterSent(uint8_t value, const CharFormat& format, SimTime end) override;
  std::optional<ReceivedChar> CharacterReceived(const CharFormat& format, SimTime now) override;

 private:
  void SwitchTo(AdapterMode mode, SimTime now);
  void Route(SimTime now);
  void DriveChip(bool control, bool clock, bool data, SimTime now);
  void DrivePhoenixReset(bool active, SimTime now);

  AdapterMode mode_;
  Uart16550* uart_ = nullptr;
  CardSlot slot_;
  bool echo_ = true;
  uint8_t lines_ = 0;
  uint8_t chipPins_ = 0xFF;  // last levels given to the chip; 0xFF = none yet
  std::optional<bool> phoenixReset_;
  std::deque<uint8_t> echoes_;
  ModeBurstDetector detector_;
};

}  // namespace vexilo::sim
