#pragma once
#include <string_view>

namespace vexilo::sim {

// Where a card's chip has its contacts, and which instruction-set simulator core runs it.
struct IsaWiring {
  std::string_view core;  // "atmega16", "p16f84", "p16f876"
  std::string_view io;    // the IO contact: the chip's programming data pin
  std::string_view sda;   // the 24Cxx's SDA and SCL
  std::string_view scl;
};

}  // namespace vexilo::sim
