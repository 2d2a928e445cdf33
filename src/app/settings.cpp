#include "app/settings.h"

#include <unistd.h>

#include <climits>
#include <string_view>

#include "app/ini_file.h"
#include "app/settings_check.h"
#include "app/text_encoding.h"
#include "image/hex_to_int.h"
#include "image/intel_hex.h"

namespace vexilo::app {
namespace {

// The two port sections carry each other's group: "port phoenix" holds the " Port Avr/Pic "
// selection and "port avr/pic" the " Port Phoenix " one, as files written before have them.
constexpr char kAvrPicPortSection[] = "port phoenix";
constexpr char kPhoenixPortSection[] = "port avr/pic";
constexpr char kBackendSection[] = "Port backend";
constexpr char kFtdiSection[] = "FTDI";
// Settings of this program's own that the Windows program never had.
constexpr char kFastWriteSection[] = "Fast write";
constexpr char kFastWriteKey[] = "enabled";
constexpr char kCardCheckSection[] = "Card check";
constexpr char kAnyChipKey[] = "write any chip";

// Windows profile files use DOS line ends and no spaces around "=".
void ConfigureIni(CSimpleIniA& ini) {
  ini.SetUnicode(false);
  ini.SetSpaces(false);
}

// The settings files of this program are a few hundred bytes.
constexpr uint64_t kMaxSettingsBytes = 1 << 20;

void LoadIniOrThrow(CSimpleIniA& ini, const std::string& path) {
  ConfigureIni(ini);
  const std::string bytes = image::ReadWholeFile(path, kMaxSettingsBytes);
  if (LooksBinary(bytes)) {
    throw image::FileError(path + ": not a settings file (it holds binary data, not INI text)");
  }
  ini.LoadData(DecodeText(bytes));
}

void LoadIni(CSimpleIniA& ini, const std::string& path) {
  try {
    LoadIniOrThrow(ini, path);
  } catch (const image::FileError&) {
    // A missing or unreadable file reads as empty.
  }
}

void WriteIni(CSimpleIniA& ini, const std::string& path) {
  std::string text;
  ini.Save(text);
  std::string dos;
  dos.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n' && (dos.empty() || dos.back() != '\r')) dos += '\r';
    dos += c;
  }
  image::WriteFileAtomically(path, dos);
}

std::string Text(const CSimpleIniA& ini, const char* section, const char* key,
                 const std::string& fallback) {
  const char* value = ini.GetValue(section, key, nullptr);
  return value ? value : fallback;
}

int ComIndex(const CSimpleIniA& ini, const char* section, int fallback) {
  std::string value = Text(ini, section, "COM", "");
  if (value.size() == 1 && value[0] >= '1' && value[0] <= '4') return value[0] - '1';
  return fallback;
}

int TrackBar(const CSimpleIniA& ini, const char* section, int max, int fallback) {
  try {
    int value = image::DecimalToInt(Text(ini, section, "CLK", ""));
    return value < 0 ? 0 : value > max ? max : value;
  } catch (const image::ConversionError&) {
    return fallback;
  }
}

bool Box(const CSimpleIniA& ini, const char* section, const char* key, bool fallback) {
  const char* value = ini.GetValue(section, key, nullptr);
  return value ? std::string_view(value) == "1" : fallback;
}

}  // namespace

std::string DefaultSettingsPath() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return "config.cfg";
  return std::string(buffer) + "/config.cfg";
}

namespace {

Settings SettingsFromIni(const CSimpleIniA& ini) {
  const Settings d;
  Settings s;
  s.avrPicCom = ComIndex(ini, kAvrPicPortSection, d.avrPicCom);
  s.phoenixCom = ComIndex(ini, kPhoenixPortSection, d.phoenixCom);
  s.txDelay = Text(ini, "PHOENIX", "TXDelay", d.txDelay);
  s.atrDelay = Text(ini, "PHOENIX", "ATRDelay", d.atrDelay);
  s.picDelay = Text(ini, "PIC", "Delay", d.picDelay);
  s.avrDelay = Text(ini, "AVR", "Delay", d.avrDelay);
  s.picClk = TrackBar(ini, "PIC Speed Clock", kPicClkMax, d.picClk);
  s.avrClk = TrackBar(ini, "AVR Speed Clock", kAvrClkMax, d.avrClk);
  s.autoMode = Box(ini, "Auto mode", "mode", d.autoMode);
  s.verifyEeprom = Box(ini, "Veryfi", "eeprom", d.verifyEeprom);
  s.language = Text(ini, "Language", "lang", d.language);
  s.cardType = Text(ini, "TYP", "KARTA", d.cardType);
  s.fastWrite = Box(ini, kFastWriteSection, kFastWriteKey, d.fastWrite);
  s.writeAnyChip = Box(ini, kCardCheckSection, kAnyChipKey, d.writeAnyChip);
  s.portBackend = Text(ini, kBackendSection, "backend", d.portBackend);
  s.simCard = Text(ini, kBackendSection, "sim card", d.simCard);
  if (s.simCard != "isa") s.simCard = d.simCard;
  for (int i = 0; i < 4; ++i) {
    std::string key = "COM" + std::to_string(i + 1);
    s.comDevices[i] = Text(ini, kBackendSection, key.c_str(), d.comDevices[i]);
  }
  s.ftdiDevice = Text(ini, kFtdiSection, "device", d.ftdiDevice);
  s.ftdiPins = Text(ini, kFtdiSection, "pins", d.ftdiPins);
  return s;
}

}  // namespace

Settings LoadSettings(const std::string& path, std::vector<std::string>* problems) {
  CSimpleIniA ini;
  LoadIni(ini, path);
  Settings settings = SettingsFromIni(ini);
  std::vector<std::string> found = CheckSettingValues(ini, path, settings);
  if (problems) *problems = std::move(found);
  return settings;
}

Settings LoadSettingsFile(const std::string& path, std::vector<std::string>* problems) {
  CSimpleIniA ini;
  LoadIniOrThrow(ini, path);
  Settings settings = SettingsFromIni(ini);
  std::vector<std::string> found = CheckSettingValues(ini, path, settings);
  if (problems) *problems = std::move(found);
  return settings;
}

void SaveSettings(const std::string& path, const Settings& s) {
  CSimpleIniA ini;
  LoadIni(ini, path);
  ini.SetValue(kAvrPicPortSection, "COM", std::to_string(s.avrPicCom + 1).c_str());
  ini.SetValue(kPhoenixPortSection, "COM", std::to_string(s.phoenixCom + 1).c_str());
  ini.SetValue("PHOENIX", "TXDelay", s.txDelay.c_str());
  ini.SetValue("PHOENIX", "ATRDelay", s.atrDelay.c_str());
  ini.SetValue("AVR", "Delay", s.avrDelay.c_str());
  ini.SetValue("PIC", "Delay", s.picDelay.c_str());
  ini.SetValue("PIC Speed Clock", "CLK", std::to_string(s.picClk).c_str());
  ini.SetValue("AVR Speed Clock", "CLK", std::to_string(s.avrClk).c_str());
  ini.SetValue("Auto mode", "mode", s.autoMode ? "1" : "0");
  ini.SetValue("Veryfi", "eeprom", s.verifyEeprom ? "1" : "0");
  ini.SetValue("Language", "lang", s.language.c_str());
  ini.SetValue(kFastWriteSection, kFastWriteKey, s.fastWrite ? "1" : "0");
  ini.SetValue(kCardCheckSection, kAnyChipKey, s.writeAnyChip ? "1" : "0");
  ini.SetValue(kBackendSection, "backend", s.portBackend.c_str());
  ini.SetValue(kBackendSection, "sim card", s.simCard.c_str());
  for (int i = 0; i < 4; ++i) {
    std::string key = "COM" + std::to_string(i + 1);
    ini.SetValue(kBackendSection, key.c_str(), s.comDevices[i].c_str());
  }
  ini.SetValue(kFtdiSection, "device", s.ftdiDevice.c_str());
  ini.SetValue(kFtdiSection, "pins", s.ftdiPins.c_str());
  WriteIni(ini, path);
}

void SaveCardType(const std::string& path, const std::string& cardType) {
  CSimpleIniA ini;
  LoadIni(ini, path);
  ini.SetValue("TYP", "KARTA", cardType.c_str());
  WriteIni(ini, path);
}

void ApplyPreset(Settings& s, TimingPreset preset) {
  bool nt = preset == TimingPreset::WinNT;
  s.picDelay = nt ? "15" : "8";
  s.avrDelay = nt ? "10" : "6";
  s.picClk = nt ? 25 : 15;
  s.avrClk = nt ? 15 : 5;
  s.txDelay = nt ? "150" : "80";
  s.atrDelay = nt ? "150" : "100";
}

namespace {
constexpr char kRecentSection[] = "Recent files";
}  // namespace

std::vector<RecentFile> LoadRecentFiles(const std::string& path) {
  CSimpleIniA ini;
  LoadIni(ini, path);
  std::vector<RecentFile> files;
  for (size_t i = 1; i <= kRecentFilesMax; ++i) {
    const std::string entry = Text(ini, kRecentSection, std::to_string(i).c_str(), "");
    const size_t bar = entry.find('|');
    if (bar == std::string::npos || bar == 0 || bar + 1 == entry.size()) continue;
    files.push_back({entry.substr(0, bar), entry.substr(bar + 1)});
  }
  return files;
}

void SaveRecentFiles(const std::string& path, const std::vector<RecentFile>& files) {
  CSimpleIniA ini;
  LoadIni(ini, path);
  ini.Delete(kRecentSection, nullptr);
  for (size_t i = 0; i < files.size() && i < kRecentFilesMax; ++i) {
    const std::string entry = files[i].image + "|" + files[i].path;
    ini.SetValue(kRecentSection, std::to_string(i + 1).c_str(), entry.c_str());
  }
  WriteIni(ini, path);
}

void AddRecentFile(std::vector<RecentFile>& files, const RecentFile& file) {
  std::erase(files, file);
  files.insert(files.begin(), file);
  if (files.size() > kRecentFilesMax) files.resize(kRecentFilesMax);
}

}  // namespace vexilo::app
