#pragma once
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "sim/adapter/mode_burst.h"
#include "sim/card/sim_card.h"

namespace vexilo::sim {

// The card state file keeps every memory of a simulated card between runs. It is text:
//
//   # any number of comment lines starting with '#'
//   vexilo-card-state 1
//   card fun                      card type key (see CardTypeFromName)
//   24cxx 8192                    bytes of the external EEPROM, 0 for none
//   adapter pic                   the adapter's mode switch: phoenix, avr or pic (optional)
//   region chip/flash 8192        one section per memory: name and size in bytes,
//   000000 0C9445000C94...        then lines of "offset data": a six-digit hexadecimal
//   000020 ...                    offset and up to 32 bytes as upper-case hex pairs,
//   end                           offsets running on from 0 without gaps
//   region phoenix/24cxx 8192
//   ...
//   end
//
// A file is loaded only if it names the same card type and 24Cxx size and holds exactly the
// card's regions with their sizes and complete data; otherwise nothing is changed.
class CardStateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes the state, and the adapter's mode when given, to a temporary file beside `path` and
// renames it over `path`.
void SaveCardState(SimCard& card, const std::filesystem::path& path,
                   std::optional<AdapterMode> adapterMode = std::nullopt);
// The text SaveCardState writes, and the writing of such a text.
std::string CardStateText(SimCard& card, std::optional<AdapterMode> adapterMode = std::nullopt);
void SaveCardStateText(const std::string& text, const std::filesystem::path& path);
// Throws CardStateError for a file that cannot be read or does not fit the card. Gives the
// adapter's mode when the file keeps one.
std::optional<AdapterMode> LoadCardState(SimCard& card, const std::filesystem::path& path);

}  // namespace vexilo::sim
