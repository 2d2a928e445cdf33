#pragma once
#include <array>
#include <string>
#include <vector>

namespace vexilo::app {

// The settings of the Setup tab and the chosen card type, as `config.cfg` keeps them.
struct Settings {
  int avrPicCom = 0;             // checked button of " Port Avr/Pic " (com1_ .. com4_), 0 .. 3
  int phoenixCom = 0;            // checked button of " Port Phoenix " (comm1_ .. comm4_), 0 .. 3
  std::string txDelay = "50";    // delay_ext, ms
  std::string atrDelay = "100";  // atr_delay
  std::string picDelay = "10";   // pic_delay, ms
  std::string avrDelay = "5";    // avr_delay, ms
  int picClk = 0;                // pic_clk_, 0 .. 200
  int avrClk = 0;                // avr_clk_, 0 .. 50
  bool autoMode = false;         // auto_mode
  bool verifyEeprom = false;     // ver_eeprom
  // "Fast write": whole ATmega pages and polling instead of the fixed write delays, the
  // PIC16F876's programming-only cycle after a bulk erase. Off: the writes as they always were.
  bool fastWrite = false;
  // Write to whatever chip is in the reader: the signature or device ID that does not fit the
  // card type is logged, but the write goes on. Off: such a write is refused.
  bool writeAnyChip = false;
  std::string language = "lang";
  std::string cardType = "Fun Card - 90S8515 + 24Cxx";

  // How the ports are reached: "sim" (the simulated adapter and card), "io" (x86 port I/O on
  // a 16550) or "tty" (a serial device); and the device of each COM number.
  std::string portBackend = "sim";
  std::array<std::string, 4> comDevices{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
  // The "ftdi" backend: libftdi's description of the device (empty: the only FTDI device on
  // the bus; "sim": the simulator's FT232R model) and which pin carries each line.
  std::string ftdiDevice;
  std::string ftdiPins = "tx=!0 rts=!2 cts=!3 dtr=!4";
  // The simulator's card on the Phoenix reader: "behavioural" (the loader model) or "isa" (the
  // chip's own program on an instruction-set simulator, through the helper vexilo-isa-card).
  std::string simCard = "behavioural";

  bool operator==(const Settings&) const = default;
};

inline constexpr int kPicClkMax = 200;
inline constexpr int kAvrClkMax = 50;

// The settings file in the current directory at the moment of use.
std::string DefaultSettingsPath();

// Reads the file; a missing file or key, or a value a control cannot take, gives that
// control's own default. Never throws. `problems`, when given, gets one line for each value
// that was present but could not be taken (naming the file, section, key and value).
Settings LoadSettings(const std::string& path, std::vector<std::string>* problems = nullptr);
// The same for a file named on purpose: one that cannot be read (missing, a folder, unreadable,
// too large, binary data) throws image::FileError with the reason instead of giving defaults.
Settings LoadSettingsFile(const std::string& path, std::vector<std::string>* problems = nullptr);

// Writes every setting but the card type (written when it changes), keeping the other
// sections and keys of the file. Throws image::FileError when the file cannot be written.
void SaveSettings(const std::string& path, const Settings& settings);
void SaveCardType(const std::string& path, const std::string& cardType);

// The timing presets of the Setup tab.
enum class TimingPreset { Win9x, WinNT };
void ApplyPreset(Settings& settings, TimingPreset preset);

// The files loaded last, newest first, as the load menu lists them: the image they went into
// ("flash", "eeprom-int", "eeprom-ext") and the path. Kept in section "Recent files".
struct RecentFile {
  std::string image;
  std::string path;
  bool operator==(const RecentFile&) const = default;
};
inline constexpr size_t kRecentFilesMax = 5;
// Never throws; entries that are not "image|path" are passed over.
std::vector<RecentFile> LoadRecentFiles(const std::string& path);
// Replaces the section, keeping the rest of the file. Throws image::FileError.
void SaveRecentFiles(const std::string& path, const std::vector<RecentFile>& files);
// `file` at the front of `files`, once, at most kRecentFilesMax entries.
void AddRecentFile(std::vector<RecentFile>& files, const RecentFile& file);

}  // namespace vexilo::app
