#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "image/memory_image.h"
#include "port/operator.h"
#include "port/port_session.h"

namespace vexilo::extee {

// The card loader in the card's chip decides the command bytes, block sizes and log prefix of
// the external EEPROM operations:
//   Avr        Fun Card, NeooCard, ATMega Card   24C64, 24C128, 24C256, 24C512   "ATMEL"
//   Pic16F84   Wafer Card                        24C16 (2048 bytes, fixed)       "PIC"
//   Pic16F876  Pic Card 2                        24C64, 24C128                   "PIC"
enum class LoaderFamily { Avr, Pic16F84, Pic16F876 };

// What every external EEPROM operation works with. The session must not be open: each
// operation opens its own "phoenix" session and closes it again, also when an exception
// leaves it.
struct ExtEepromContext {
  port::PortSession& session;
  port::Operator& op;
  uint8_t& errorFlag;
  // Language text 28: the Yes/No question asked before the operation starts (may be empty).
  std::string question{};
  // The Phoenix adapter mode switch, run after a Yes and before the settling pause. Empty:
  // the operation switches nothing (the caller did, or the adapter is switched by hand).
  std::function<void()> switchToPhoenix{};
  // The pause in milliseconds after each command block (delay_ext modulo 256).
  uint8_t TxDelay = 50;
  // "Write and Veryfi eep ext": the AVR loader write reads each block back and compares it.
  bool ver_eeprom = false;
};

// The three operations, each one complete session: question (No: nothing happens, nothing is
// logged), mode switch, open, card reset and ATR check, the block transfer, close.
//
// `bytes` is the size the card's size buttons select (app::ExtEepromBytes); the PIC16F84
// loader always moves 2048 bytes and ignores it. A size the loader family does not serve
// throws std::invalid_argument before anything is asked or sent.
//
// The outcome is in the log ("<prefix> <operation> : START" .. "STOP", errors in red) and in
// `errorFlag`, which every failure sets: no usable port ("ERROR PORT"), no loader answering
// the reset ("ATR ERROR"), a wrong procedure byte ("ACK ERROR"), a wrong status after a
// PIC16F876 write block ("SW ERROR"), a card that stops answering ("TIMEOUT ERROR"), a
// difference ("ERROR ADR[xxxx]") and a stop request ("STOPPED"; the request is cleared when
// the operation starts and looked at before every block).

// "ATMEL READ EEPROM EXT" / "PIC READ EEPROM EXT": always asks. `eepromExt` is replaced by
// the card's contents (`bytes` long) only once every block is in; on any failure it is left
// as it was.
void ReadEepromExt(ExtEepromContext& ctx, LoaderFamily loader, uint32_t bytes,
                   image::MemoryImage& eepromExt);

// "ATMEL VERYFI EEPROM EXT" / "PIC VERYFI EEPROM EXT": always asks. Compares the card with
// `eepromExt` (cells the image lacks count as 0xFF); the first difference is the red
// "... : ERROR ADR[" + address + "]" line. "OK" when the error flag is still 0.
void VerifyEepromExt(ExtEepromContext& ctx, LoaderFamily loader, uint32_t bytes,
                     const image::MemoryImage& eepromExt);

// "ATMEL WRITE EEPROM EXT" / "PIC WRITE EEPROM EXT": asks, switches the adapter and settles
// only when `ask` is set ("Programuj EEPROM ext"); the full programming sequences pass false
// after doing both themselves. The AVR and PIC16F876 writes end with "OK" (error flag 0) and
// "STOP"; the PIC16F84 write logs neither.
void WriteEepromExt(ExtEepromContext& ctx, LoaderFamily loader, uint32_t bytes,
                    const image::MemoryImage& eepromExt, bool ask);

// Whether the loader family serves a 24Cxx of `bytes`.
bool ServesSize(LoaderFamily loader, uint32_t bytes);

// TxDelay from the text of delay_ext: the decimal number modulo 256. Throws
// image::ConversionError for text that is not a decimal integer.
uint8_t TxDelayFromText(const std::string& text);

}  // namespace vexilo::extee
