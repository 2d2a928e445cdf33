#include "app/chip_check.h"

#include <optional>

#include "avr/chip_table.h"
#include "image/hex_to_int.h"
#include "pic/pic_chip.h"

namespace vexilo::app {
namespace {

std::string_view ChipName(Chip chip) {
  constexpr std::string_view kNames[] = {"AT90S8515", "ATmega8515", "ATmega163",
                                         "ATmega128", "PIC16F84",   "PIC16F876"};
  return kNames[static_cast<int>(chip)];
}

// The AVR chip row of a card chip; null for the PIC chips.
const avr::AvrChipRow* AvrRowOf(Chip chip) {
  for (const avr::AvrChipRow& row : avr::ChipRows()) {
    if (std::string_view(row.name) == ChipName(chip)) return &row;
  }
  return nullptr;
}

std::string WithArticle(const std::string& name) {
  return (name.empty() || name[0] != 'A' ? "a " : "an ") + name;
}

// What the card type says is in its reader: "the Black Card has an ATmega128 (1E 97 02)".
std::string Expected(const CardType& card, const std::string& chip) {
  return "the " + CardShortName(card) + " has " + WithArticle(chip);
}

std::string PicIdText(uint16_t id) {
  return "device ID " + image::ToHex(id, 4) + ", rev. " + std::to_string(pic::DeviceRevision(id));
}

// A chip that does not fit: a warning for a read; for a write the red line and the error flag,
// or with "write any chip" on a line saying the write goes on. False: nothing is written.
bool Mismatch(Workspace& ws, port::OperationContext& ctx, const std::string& prefix,
              const std::string& what, bool noChip = false) {
  const std::string hint =
      noChip ? " - is the card in the reader and the adapter in the right mode?" : "";
  if (!ws.chipCheck.writes) {
    ctx.op.Log(prefix + " : " + what + ": reading on" + hint);
    return true;
  }
  if (ws.settings.writeAnyChip) {
    ctx.op.Log(prefix + " : " + what + ": writing on (\"Write any chip\" is on)" + hint);
    return true;
  }
  ctx.errorFlag = 1;
  ctx.op.LogError(prefix + " : ERROR - " + what + ": nothing written" +
                  (noChip ? hint
                          : " (choose the card type that fits; \"Write any chip\" on the Setup "
                            "tab, or --force, writes anyway)"));
  return false;
}

}  // namespace

bool CommandWritesChip(Command command) {
  switch (command) {
    case Command::ProgramFlash:
    case Command::ProgramEepromInt:
    case Command::ProgramFull:
    case Command::ProgramFlashEepromInt:
    case Command::Erase:
    case Command::SetBits:
      return true;
    default:
      return false;
  }
}

std::string CardShortName(const CardType& card) {
  const std::string_view text = card.text;
  return std::string(text.substr(0, text.find(" - ")));
}

std::string DescribeAvrChip(const avr::Signature& signature) {
  const std::string bytes = " (" + avr::SignatureText(signature) + ")";
  if (signature == avr::kLockedSignature) return "a locked AT90S8515" + bytes;
  if (auto chip = avr::ChipWithSignature(signature)) {
    return WithArticle(avr::ChipRow(*chip).name) + bytes;
  }
  return "a chip with the signature " + avr::SignatureText(signature);
}

std::string DescribePicChip(const pic::PicIdentity& identity) {
  if (pic::IsPic16F876Id(identity.deviceId)) {
    return "a PIC16F876 (" + PicIdText(identity.deviceId) + ")";
  }
  if (!pic::AnswersLikePic(identity)) {
    return "no PIC that answers (device ID " + image::ToHex(identity.deviceId, 4) +
           ", configuration word " + image::ToHex(identity.configWord, 4) + ")";
  }
  return "a PIC with no device ID (0x2006 reads " + image::ToHex(identity.deviceId, 4) +
         ": a PIC16F84?)";
}

std::vector<const CardType*> CardTypesWithSignature(const avr::Signature& signature) {
  std::vector<const CardType*> cards;
  const std::optional<avr::AvrChip> chip = signature == avr::kLockedSignature
                                               ? std::optional(avr::AvrChip::AT90S8515)
                                               : avr::ChipWithSignature(signature);
  if (!chip) return cards;
  for (const CardType& card : CardTypes()) {
    if (ChipName(card.chip) == avr::ChipRow(*chip).name) cards.push_back(&card);
  }
  return cards;
}

std::vector<const CardType*> CardTypesWithPic(const pic::PicIdentity& identity) {
  std::vector<const CardType*> cards;
  if (!pic::AnswersLikePic(identity) && !pic::IsPic16F876Id(identity.deviceId)) return cards;
  const Chip chip = pic::IsPic16F876Id(identity.deviceId) ? Chip::PIC16F876 : Chip::PIC16F84;
  for (const CardType& card : CardTypes()) {
    if (card.chip == chip) cards.push_back(&card);
  }
  return cards;
}

bool CheckAvrChip(Workspace& ws, port::OperationContext& ctx) {
  if (ws.chipCheck.done) return true;
  ws.chipCheck.done = true;
  const CardType& card = *ws.Card();
  const avr::AvrChipRow* row = AvrRowOf(card.chip);
  if (!row) return true;
  const avr::Signature signature = avr::ReadSignature(ctx.session);
  if (ctx.session.LineFailed()) return true;  // the operations report the port themselves
  const std::string prefix = "ATMEL SIGNATURE";
  if (signature == row->signature) {
    ctx.op.Log(prefix + " : " + avr::SignatureText(signature) + " (" + row->name + ")");
    return true;
  }
  const std::string expected =
      Expected(card, std::string(row->name) + " (" + avr::SignatureText(row->signature) + ")");
  // Lock mode 3 hides the AT90S8515's signature; a chip erase clears the lock bits.
  if (signature == avr::kLockedSignature && card.chip == Chip::AT90S8515) {
    const std::string what = "the signature reads 00 01 02, a locked AT90S8515 hides it so";
    if (!ws.chipCheck.writes || ws.settings.writeAnyChip) return Mismatch(ws, ctx, prefix, what);
    if (ctx.op.AskYesNo("The chip reads the signature 00 01 02: a locked AT90S8515 hides its "
                        "signature so. Write to it as the " +
                        CardShortName(card) + "'s AT90S8515?")) {
      ctx.op.Log(prefix + " : " + what + ": writing on");
      return true;
    }
    ctx.errorFlag = 1;
    ctx.op.LogError(prefix + " : ERROR - " + what + ": nothing written");
    return false;
  }
  return Mismatch(ws, ctx, prefix,
                  "the card holds " + DescribeAvrChip(signature) + ", " + expected);
}

bool CheckPicChip(Workspace& ws, port::OperationContext& ctx) {
  if (ws.chipCheck.done) return true;
  ws.chipCheck.done = true;
  const CardType& card = *ws.Card();
  if (card.family != Family::Pic) return true;
  const pic::PicIdentity identity = pic::ReadPicIdentity(ctx.session);
  if (ctx.session.LineFailed()) return true;
  const std::string prefix = "PIC DEVICE ID";
  const bool is876 = pic::IsPic16F876Id(identity.deviceId);
  if (card.chip == Chip::PIC16F876) {
    if (is876) {
      ctx.op.Log(prefix + " : " + image::ToHex(identity.deviceId, 4) + " (PIC16F876 rev. " +
                 std::to_string(pic::DeviceRevision(identity.deviceId)) + ")");
      return true;
    }
    return Mismatch(ws, ctx, prefix,
                    "the card holds " + DescribePicChip(identity) + ", " +
                        Expected(card, "PIC16F876 (device ID 09Ex)"),
                    !pic::AnswersLikePic(identity));
  }
  // The PIC16F84 has no device ID; a PIC16F876's still tells the wrong card.
  if (is876) {
    return Mismatch(ws, ctx, prefix,
                    "the card holds " + DescribePicChip(identity) + ", " +
                        Expected(card, "PIC16F84 (no device ID)"));
  }
  if (!pic::AnswersLikePic(identity) && ws.chipCheck.writes) {
    return Mismatch(
        ws, ctx, prefix,
        "the card holds " + DescribePicChip(identity) + ", " + Expected(card, "PIC16F84"), true);
  }
  return true;
}

}  // namespace vexilo::app
