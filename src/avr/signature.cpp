#include "avr/signature.h"

#include "avr/chip_table.h"
#include "avr/spi_transport.h"
#include "image/hex_to_int.h"

namespace vexilo::avr {

constexpr uint8_t kReadSignature = 0x30;

Signature ReadSignature(port::PortSession& session) {
  Signature signature{};
  for (uint8_t i = 0; i < signature.size(); ++i) {
    QueueSpiInstruction(session, {kReadSignature, 0x00, i, 0x00},
                        [&signature, i](uint8_t value) { signature[i] = value; });
  }
  session.Flush();
  return signature;
}

std::optional<AvrChip> ChipWithSignature(const Signature& signature) {
  for (const AvrChipRow& row : ChipRows()) {
    if (row.signature == signature) return row.chip;
  }
  return std::nullopt;
}

std::string SignatureText(const Signature& signature) {
  return image::ToHex(signature[0], 2) + " " + image::ToHex(signature[1], 2) + " " +
         image::ToHex(signature[2], 2);
}

}  // namespace vexilo::avr
