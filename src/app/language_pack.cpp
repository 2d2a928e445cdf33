#include "app/language_pack.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/ini_file.h"
#include "app/text_encoding.h"
#include "image/intel_hex.h"

namespace vexilo::app {
namespace {

bool LoadPackIni(CSimpleIniA& ini, const std::string& path) {
  ini.SetUnicode(false);
  try {
    return ini.LoadData(DecodeText(image::ReadWholeFile(path))) >= 0;
  } catch (const image::FileError&) {
    return false;
  }
}

}  // namespace

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
  return texts;
}

std::vector<LanguagePackEntry> ScanLanguagePacks(const std::string& langDir) {
  namespace fs = std::filesystem;
  std::vector<LanguagePackEntry> packs;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(langDir, error)) {
    if (!entry.is_regular_file(error)) continue;
    packs.push_back({entry.path().filename().string(), {}, {}});
  }
  std::sort(packs.begin(), packs.end(),
            [](const auto& a, const auto& b) { return a.fileName < b.fileName; });
  for (LanguagePackEntry& pack : packs) {
    CSimpleIniA ini;
    LoadPackIni(ini, langDir + "/" + pack.fileName);
    pack.displayName = ini.GetValue("LANG", "NAME", pack.fileName.c_str());
    pack.locale = ini.GetValue("LANG", "LOCALE", "");
  }
  return packs;
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
