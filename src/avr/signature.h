#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "avr/avr_chip.h"
#include "port/port_session.h"

namespace vexilo::avr {

// The three signature bytes every AVR answers in programming mode: vendor (0x1E, Atmel),
// memory size, part number.
using Signature = std::array<uint8_t, 3>;

// An AT90S8515 in lock mode 3 hides its signature behind 0x00 0x01 0x02 (a vendor byte of 0
// is no vendor's: the data sheet's "device locked" answer).
inline constexpr Signature kLockedSignature{0x00, 0x01, 0x02};

// Read Signature Byte, 0x30 0x00 b 0x00 for b = 0, 1, 2; the chip must be in programming mode.
Signature ReadSignature(port::PortSession& session);

// The card chip with this signature, if any.
std::optional<AvrChip> ChipWithSignature(const Signature& signature);

// "1E 94 02".
std::string SignatureText(const Signature& signature);

}  // namespace vexilo::avr
