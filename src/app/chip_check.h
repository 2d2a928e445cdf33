#pragma once
#include <string>
#include <vector>

#include "app/card_catalogue.h"
#include "app/commands.h"
#include "app/workspace.h"
#include "avr/signature.h"
#include "pic/device_id.h"
#include "port/operation_log.h"

namespace vexilo::app {

// Whether a command writes to the card's chip (erase, program, set bits): such a command is
// refused when the chip in the reader is not the card type's.
bool CommandWritesChip(Command command);

// The chip in the reader against the card type, once per command, right after programming
// mode is entered: the signature (AVR) or the device ID (PIC) in the log; a chip that is not
// the card's is a warning for a read and, for a write, a red line and the error flag unless
// the "write any chip" setting is on (a locked AT90S8515 hides its signature: the write then
// goes on only when the person says so). False: the command must not write.
bool CheckAvrChip(Workspace& ws, port::OperationContext& ctx);
bool CheckPicChip(Workspace& ws, port::OperationContext& ctx);

// What a signature or a PIC identity says is in the reader: "an ATmega163 (1E 94 02)".
std::string DescribeAvrChip(const avr::Signature& signature);
std::string DescribePicChip(const pic::PicIdentity& identity);

// The card types whose chip has this signature or identity (none: nothing the catalogue
// knows, or no chip at all).
std::vector<const CardType*> CardTypesWithSignature(const avr::Signature& signature);
std::vector<const CardType*> CardTypesWithPic(const pic::PicIdentity& identity);

// "Black Card" from "Black Card - ATMega128".
std::string CardShortName(const CardType& card);

}  // namespace vexilo::app
