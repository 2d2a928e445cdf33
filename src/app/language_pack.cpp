#include "app/language_pack.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "app/ini_file.h"
#include "app/text_encoding.h"
#include "image/intel_hex.h"

namespace vexilo::app {
namespace {

bool LoadPackIni(CSimpleIniA& ini, const std::string& path) {
  ini.SetUnicode(false);
  try {
    return ini.LoadData(DecodeText(image::ReadWholeFile(path, kMaxPackBytes))) >= 0;
  } catch (const image::FileError&) {
    return false;
  }
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

struct PackHeader {
  std::optional<std::string> name;
  std::string locale;
};

// [LANG] NAME and LOCALE of a pack, read line by line only as far as the [LANG] section goes.
PackHeader ReadPackHeader(std::istream& in) {
  PackHeader header;
  std::string line;
  bool inLang = false;
  bool first = true;
  while (std::getline(in, line)) {
    std::string_view text = line;
    if (first && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    first = false;
    text = Trim(text);
    if (text.starts_with('[')) {
      if (inLang) break;  // the section is over
      const size_t close = text.find(']');
      inLang = close != std::string_view::npos && SameWord(Trim(text.substr(1, close - 1)), "LANG");
      continue;
    }
    const size_t eq = text.find('=');
    if (!inLang || eq == std::string_view::npos) continue;
    const std::string_view key = Trim(text.substr(0, eq));
    const std::string_view value = Trim(text.substr(eq + 1));
    if (SameWord(key, "NAME") && !value.empty()) header.name = DecodeText(value);
    if (SameWord(key, "LOCALE")) header.locale = DecodeText(value);
  }
  return header;
}

}  // namespace

constexpr char kDetectCardCaption[] = "Wykr&yj kartę";

LanguageTexts BuiltInTexts() {
  static const char* const kCaptions[27] = {"&Wczytaj Plik",
                                            "&Zapisz Plik",
                                            "&Odczytaj",
                                            "&Programuj",
                                            "W&eryfikuj",
                                            "&Kasuj",
                                            "&Set BIT",
                                            "Wczytaj FLASH",
                                            "Wczytaj EEPROM int",
                                            "Wczytaj EEPROM ext",
                                            "Zapisz FLASH",
                                            "Zapisz EEPROM int",
                                            "Zapisz EEPROM ext",
                                            "Odczytaj FLASH",
                                            "Odczytaj EEPROM int",
                                            "Odczytaj EEPROM ext",
                                            "Odczytaj FLASH/EEPROM int",
                                            "Odczytaj ustawienia karty",
                                            "Programuj FLASH",
                                            "Programuj EEPROM int",
                                            "Programuj EEPROM ext",
                                            "Programuj Flash/EEp int/EEp ext",
                                            "Programuj Flash/EEp int",
                                            "Weryfikacja FLASH",
                                            "Weryfikacja EEPROM int",
                                            "Weryfikacja EEPROM ext",
                                            "Weryfikacja FLASH/EEPROM int"};
  LanguageTexts texts;
  for (int key : kLanguageKeys) texts[key] = key <= 27 ? kCaptions[key - 1] : "";
  texts[kDetectCardKey] = kDetectCardCaption;
  return texts;
}

std::vector<LanguagePackEntry> ScanLanguagePacks(const std::string& langDir,
                                                 std::vector<std::string>* problems) {
  namespace fs = std::filesystem;
  auto skip = [&](const std::string& file, const std::string& why) {
    if (problems) problems->push_back(langDir + "/" + file + ": " + why + "; not offered");
  };
  std::vector<LanguagePackEntry> packs;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(langDir, error)) {
    if (!entry.is_regular_file(error)) continue;
    packs.push_back({entry.path().filename().string(), {}, {}});
  }
  std::sort(packs.begin(), packs.end(),
            [](const auto& a, const auto& b) { return a.fileName < b.fileName; });
  std::vector<LanguagePackEntry> named;
  for (LanguagePackEntry& pack : packs) {
    const std::string path = langDir + "/" + pack.fileName;
    const uintmax_t size = fs::file_size(path, error);
    if (error) {
      skip(pack.fileName, "cannot be read (" + error.message() + ")");
      continue;
    }
    if (size > kMaxPackBytes) {
      skip(pack.fileName, std::to_string(size) + " bytes is too large for a language pack");
      continue;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      skip(pack.fileName, "cannot be read");
      continue;
    }
    PackHeader header = ReadPackHeader(in);
    if (!header.name) {
      skip(pack.fileName, "has no [LANG] NAME");
      continue;
    }
    pack.displayName = std::move(*header.name);
    pack.locale = std::move(header.locale);
    named.push_back(std::move(pack));
  }
  return named;
}

std::optional<LanguageTexts> LoadLanguagePack(const std::string& langDir,
                                              const std::vector<LanguagePackEntry>& packs,
                                              const std::string& displayName) {
  const LanguagePackEntry* chosen = nullptr;
  for (const LanguagePackEntry& pack : packs) {
    if (pack.displayName == displayName) chosen = &pack;
  }
  CSimpleIniA ini;
  if (!chosen || !LoadPackIni(ini, langDir + "/" + chosen->fileName)) return std::nullopt;
  LanguageTexts texts;
  std::string previous = chosen->fileName;
  for (int key : kLanguageKeys) {
    std::string text = ini.GetValue("TXT", std::to_string(key).c_str(), previous.c_str());
    texts[key] = text;
    previous = std::move(text);
  }
  texts[kDetectCardKey] =
      ini.GetValue("TXT", std::to_string(kDetectCardKey).c_str(), kDetectCardCaption);
  return texts;
}

WindowTexts LoadWindowTexts(const std::string& langDir, const std::vector<LanguagePackEntry>& packs,
                            const std::string& displayName) {
  const LanguagePackEntry* chosen = nullptr;
  for (const LanguagePackEntry& pack : packs) {
    if (pack.displayName == displayName) chosen = &pack;
  }
  CSimpleIniA ini;
  WindowTexts texts;
  if (!chosen || !LoadPackIni(ini, langDir + "/" + chosen->fileName)) return texts;
  CSimpleIniA::TNamesDepend keys;
  ini.GetAllKeys("WINDOW", keys);
  for (const CSimpleIniA::Entry& key : keys) {
    texts[key.pItem] = ini.GetValue("WINDOW", key.pItem, "");
  }
  return texts;
}

std::string PackForLocale(const std::vector<LanguagePackEntry>& packs, const std::string& locale) {
  std::string language = locale.substr(0, locale.find_first_of("_-.@"));
  std::transform(language.begin(), language.end(), language.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const std::string& wanted : {language, std::string("en")}) {
    for (const LanguagePackEntry& pack : packs) {
      if (!wanted.empty() && pack.locale == wanted) return pack.displayName;
    }
  }
  return {};
}

std::string DefaultLanguageDir() {
  std::error_code error;
  return (std::filesystem::current_path(error) / "lang").string();
}

}  // namespace vexilo::app
