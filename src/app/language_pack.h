#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vexilo::app {

// A language pack: an INI file in the `lang` folder with [LANG] NAME (the display name) and
// [TXT] keys 1 .. 31 and 100 .. 105.
struct LanguagePackEntry {
  std::string fileName;
  std::string displayName;
  std::string locale;  // [LANG] "LOCALE", the language code of the pack ("pl", "en"), or empty
};

// The 37 replaceable texts, by key: 1 .. 7 tool buttons, 8 .. 27 menu items, 28 the question
// before an external EEPROM operation, 29 .. 31 the requests to switch the adapter by hand,
// 100 .. 102 the load dialog titles, 103 .. 105 the save dialog titles.
using LanguageTexts = std::map<int, std::string>;

inline constexpr std::array<int, 37> kLanguageKeys{
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,  14,  15,  16,  17,  18, 19,
    20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 100, 101, 102, 103, 104, 105};

// The caption of the "Detect card" tool button, [TXT] key 32 of the packs of this program; a
// pack without it leaves the window's own caption.
inline constexpr int kDetectCardKey = 32;

// The window's own texts (its Polish captions, and the Detect card caption); 28 .. 31 and
// 100 .. 105 are empty.
LanguageTexts BuiltInTexts();

// A pack holds 37 short texts; a larger file is no pack.
inline constexpr uint64_t kMaxPackBytes = 1 << 20;

// The regular files of `langDir` in name order, with their display names. Each is read only
// as far as its [LANG] NAME. A file that cannot be read, is larger than kMaxPackBytes or has no
// name is not offered; `problems`, when given, gets one line for each. No folder: no packs.
std::vector<LanguagePackEntry> ScanLanguagePacks(const std::string& langDir,
                                                 std::vector<std::string>* problems = nullptr);

// The texts of the pack whose display name equals `displayName` (the last one listed, when two
// share it). A key missing from the pack takes the text of the key before it (key 1: the pack's
// file name). Nothing when no pack has that name.
std::optional<LanguageTexts> LoadLanguagePack(const std::string& langDir,
                                              const std::vector<LanguagePackEntry>& packs,
                                              const std::string& displayName);

// The window's texts beyond the 37 (its questions, messages and the items of its edit and help
// menus), by name, from the pack's [WINDOW] section. A name the pack lacks is left out: the
// window then uses its own English text. Empty when no pack has that name.
using WindowTexts = std::map<std::string, std::string>;
WindowTexts LoadWindowTexts(const std::string& langDir, const std::vector<LanguagePackEntry>& packs,
                            const std::string& displayName);

// The display name of the pack for a locale name such as "pl_PL.UTF-8": the pack of that
// language, else the English one; empty when there is neither.
std::string PackForLocale(const std::vector<LanguagePackEntry>& packs, const std::string& locale);

// The `lang` folder below the current directory.
std::string DefaultLanguageDir();

}  // namespace vexilo::app
