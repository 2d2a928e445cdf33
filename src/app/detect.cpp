#include "app/detect.h"

#include <string>

#include "app/chip_check.h"
#include "app/command_frames.h"
#include "app/mode_switch.h"
#include "avr/avr_operations.h"
#include "avr/signature.h"
#include "extee/loader_rows.h"
#include "extee/phoenix_link.h"
#include "image/hex_to_int.h"
#include "pic/device_id.h"
#include "port/forwarding_operator.h"

namespace vexilo::app {
namespace {

constexpr char kPrefix[] = "DETECT";

// Passes everything on but the log lines: a mode that finds no chip is no error of the
// detection.
class QuietOperator final : public port::ForwardingOperator {
 public:
  using ForwardingOperator::ForwardingOperator;
  void Log(const std::string&) override {}
  void LogError(const std::string&) override {}
};

std::string Names(const std::vector<const CardType*>& cards) {
  std::string text;
  for (const CardType* card : cards) text += (text.empty() ? "" : ", ") + std::string(card->text);
  return text;
}

void Found(port::Operator& op, const char* mode, const std::string& what,
           const std::vector<const CardType*>& cards) {
  op.Log(std::string(kPrefix) + " : " + mode + " - " + what + ": " + Names(cards) +
         (cards.size() > 1 ? " (one of these)" : ""));
}

std::vector<const CardType*> TryAvr(Workspace& ws, Rig& rig, port::Operator& op) {
  QuietOperator quiet(op);
  SwitchAdapterMode(AdapterMode::Avr, rig, ws.settings, ws.texts, op);
  port::SessionGuard session(rig.Session(), "avr/pic");
  if (!session.Usable()) return {};
  uint8_t flag = 0;
  port::OperationContext ctx{rig.Session(), quiet, flag};
  if (!avr::AtmelSpiOn(ctx)) return {};
  const avr::Signature signature = avr::ReadSignature(rig.Session());
  avr::AtmelSpiOff(ctx);
  std::vector<const CardType*> cards = CardTypesWithSignature(signature);
  if (!cards.empty()) Found(op, "AVR", DescribeAvrChip(signature), cards);
  return cards;
}

std::vector<const CardType*> TryPic(Workspace& ws, Rig& rig, port::Operator& op) {
  SwitchAdapterMode(AdapterMode::Pic, rig, ws.settings, ws.texts, op);
  port::SessionGuard session(rig.Session(), "avr/pic");
  if (!session.Usable()) return {};
  const pic::PicIdentity identity = pic::ReadPicIdentity(rig.Session());
  std::vector<const CardType*> cards = CardTypesWithPic(identity);
  if (!cards.empty()) {
    std::string what = DescribePicChip(identity);
    if (!pic::IsPic16F876Id(identity.deviceId)) {
      what = "a PIC16F84 (no device ID, configuration word " +
             image::ToHex(identity.configWord, 4) + ")";
    }
    Found(op, "PIC", what, cards);
  }
  return cards;
}

// A card loader answers reset with its mark at byte 0 or 1.
std::vector<const CardType*> TryPhoenix(Workspace& ws, Rig& rig, port::Operator& op) {
  SwitchAdapterMode(AdapterMode::Phoenix, rig, ws.settings, ws.texts, op);
  port::SessionGuard session(rig.Session(), "phoenix");
  if (!session.Usable()) return {};
  extee::PhoenixLink link(rig.Session());
  for (const extee::LoaderFamily family :
       {extee::LoaderFamily::Avr, extee::LoaderFamily::Pic16F876}) {
    const uint8_t mark = extee::LoaderRowFor(family).atrMark;
    link.Drain();
    const extee::PhoenixLink::Atr atr = link.ResetCard(mark);
    if (!atr.recognised) continue;
    std::vector<const CardType*> cards;
    for (const CardType& card : CardTypes()) {
      if (!card.HasExternalEeprom()) continue;
      const std::optional<extee::LoaderFamily> cardFamily = LoaderFamilyOf(card);
      if (cardFamily && extee::LoaderRowFor(*cardFamily).atrMark == mark) cards.push_back(&card);
    }
    Found(op, "Phoenix", "a card loader answers reset with " + image::ToHex(mark, 2), cards);
    return cards;
  }
  return {};
}

}  // namespace

std::vector<const CardType*> DetectCard(Workspace& ws, Rig& rig, port::Operator& op) {
  op.Log(std::string(kPrefix) + " : START");
  std::vector<const CardType*> cards = TryAvr(ws, rig, op);
  if (cards.empty()) cards = TryPic(ws, rig, op);
  if (cards.empty()) cards = TryPhoenix(ws, rig, op);
  if (cards.empty()) {
    op.LogError(std::string(kPrefix) +
                " : ERROR - no card answered in AVR, PIC or Phoenix mode - is the card in the "
                "reader and the adapter in the right mode?");
  }
  op.Log(std::string(kPrefix) + " : STOP");
  return cards;
}

}  // namespace vexilo::app
