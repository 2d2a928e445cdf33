#pragma once
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sim/card/chip.h"
#include "sim/phoenix/phoenix_sim.h"

namespace vexilo::sim {

// Faults planted in the simulated adapter and card, by name:
//   no-card                    the card slot is empty
//   no-echo                    the adapter does not join TX and RX on the IO line
//   silent-after=N             the card stops sending after N characters
//   slow-chip                  the chip's writes and erases take three times as long
//   stuck-bit=ADDR:BIT[:VALUE] a program-memory bit always reads VALUE (0 or 1, default 0);
//                              ADDR is a byte address, decimal or 0x-prefixed hexadecimal
//   chip-clock=HZ              the AVR chip runs at HZ and misses SCK phases shorter than two
//                              of its cycles (1000000: the internal RC oscillator of the
//                              ATmega chips as delivered)
//   no-loader                  the card loader never runs, whatever the chip holds
//   wrong-atr                  the card answers reset with an ATR no loader sends
//   loader-replies=KIND        the loader closes its read blocks otherwise: memory-failure
//                              (its 24Cxx does not answer: FF data and 65 81), bad-check (the
//                              PIC16F876 loader's check byte of the block at 0x0020 is off by
//                              one bit), foreign
//                              (another loader's convention: 00 bytes instead)
struct SimFaults {
  bool noCard = false;
  bool noEcho = false;
  ChipFaults chip;
  PhoenixFaults phoenix;
};

class FaultError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

constexpr double kSlowChipFactor = 3.0;

// Adds one named fault to `faults`; throws FaultError for an unknown name or a bad value.
void AddFault(SimFaults& faults, std::string_view entry);
SimFaults ParseFaults(std::span<const std::string> entries);
// A comma-separated list, e.g. "no-echo,silent-after=20"; empty gives no faults.
SimFaults ParseFaultList(std::string_view list);

}  // namespace vexilo::sim
