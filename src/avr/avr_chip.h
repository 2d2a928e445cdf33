#pragma once

namespace vexilo::avr {

// The four AVR chips of the cards. Each routine of the AVR operations is written once and
// takes its sizes, pauses and write method from the chip's row of the chip table.
enum class AvrChip { AT90S8515, ATmega8515, ATmega163, ATmega128 };

// The pause after the chip erase instruction.
enum class EraseVariant { Pause10Ms, Pause20Ms };

}  // namespace vexilo::avr
