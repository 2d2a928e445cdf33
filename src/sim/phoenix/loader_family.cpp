#include "sim/phoenix/loader_family.h"

#include <array>

namespace vexilo::sim {

namespace {

constexpr std::array<uint8_t, 6> kAvrAtr{0x3B, 0x13, 0x11, 0x56, 0x58, 0x41};
constexpr std::array<uint8_t, 10> kPic16F84Atr{0x3B, 0x93, 0x11, 0x80, 0x1F,
                                               0x03, 0x56, 0x58, 0x46, 0x56};
constexpr std::array<uint8_t, 3> kPic16F876Atr{0x3B, 0x01, 0x56};

constexpr std::array<uint8_t, 4> kForeignAtr{InverseConvention(0x3F), InverseConvention(0x02),
                                             InverseConvention(0x45), InverseConvention(0x58)};

constexpr std::array<LoaderSpec, 3> kSpecs{{
    {LoaderFamily::Avr, "avr", kAvrAtr, 0x3B, 0x22, 0x20, 64, false, 2,
     I2cAddressing::TwoAddressBytes},
    {LoaderFamily::Pic16F84, "pic16f84", kPic16F84Atr, 0x3B, 0x21, 0x22, 16, false, 2,
     I2cAddressing::BlockInControlByte},
    {LoaderFamily::Pic16F876, "pic16f876", kPic16F876Atr, 0x01, 0x01, 0x02, 32, true, 1,
     I2cAddressing::TwoAddressBytes},
}};

}  // namespace

std::span<const LoaderSpec> LoaderSpecs() { return kSpecs; }

const LoaderSpec& SpecFor(LoaderFamily family) {
  for (const auto& spec : kSpecs) {
    if (spec.family == family) return spec;
  }
  return kSpecs[0];
}

std::optional<LoaderFamily> LoaderFamilyFromName(std::string_view name) {
  for (const auto& spec : kSpecs) {
    if (spec.name == name) return spec.family;
  }
  return std::nullopt;
}

std::span<const uint8_t> ForeignAtr() { return kForeignAtr; }

}  // namespace vexilo::sim
