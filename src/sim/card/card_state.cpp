#include "sim/card/card_state.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "image/intel_hex.h"

namespace vexilo::sim {

namespace {

constexpr const char* kMagic = "vexilo-card-state 1";
constexpr size_t kBytesPerLine = 32;

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

constexpr const char* kModeNames[] = {"phoenix", "avr", "pic"};

void WriteState(std::ostream& out, SimCard& card, std::optional<AdapterMode> mode) {
  out << "# simulated card state\n" << kMagic << "\n";
  out << "card " << InfoFor(card.Type()).key << "\n";
  out << "24cxx " << card.ExternalEepromBytes() << "\n";
  if (mode) out << "adapter " << kModeNames[static_cast<int>(*mode)] << "\n";
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (const auto& region : card.Regions()) {
    out << "region " << region.name << " " << region.bytes.size() << "\n";
    for (size_t at = 0; at < region.bytes.size(); at += kBytesPerLine) {
      std::string line = Hex(uint32_t(at), 6) + " ";
      const size_t end = std::min(region.bytes.size(), at + kBytesPerLine);
      for (size_t i = at; i < end; ++i) {
        line += kDigits[region.bytes[i] >> 4];
        line += kDigits[region.bytes[i] & 0x0F];
      }
      out << line << "\n";
    }
    out << "end\n";
  }
}

// Reads the lines of a state file, skipping comments, and names each line for messages.
class StateReader {
 public:
  StateReader(std::istream& in, std::string file) : in_(in), file_(std::move(file)) {}

  bool Next(std::string& line) {
    while (std::getline(in_, line)) {
      ++number_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] != '#') return true;
    }
    return false;
  }
  std::string Expect(const char* what) {
    std::string line;
    if (!Next(line)) Fail(std::string("ends where ") + what + " was expected");
    return line;
  }
  // A fault of the file as a whole, found after reading it.
  [[noreturn]] void FailFile(const std::string& why) const {
    throw CardStateError("card state file " + file_ + ": " + why);
  }
  [[noreturn]] void Fail(const std::string& why) const {
    throw CardStateError("card state file " + file_ + ", line " + std::to_string(number_) + ": " +
                         why);
  }

 private:
  std::istream& in_;
  std::string file_;
  int number_ = 0;
};

uint32_t ParseNumber(StateReader& reader, std::string_view text, int base, const char* what) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    reader.Fail(std::string("bad ") + what + " '" + std::string(text) + "'");
  }
  return value;
}

// "<keyword> <value>" with the keyword as given.
std::string Field(StateReader& reader, const std::string& line, const char* keyword) {
  const std::string prefix = std::string(keyword) + " ";
  if (line.rfind(prefix, 0) != 0) reader.Fail(std::string("expected '") + keyword + " ...'");
  return line.substr(prefix.size());
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::vector<uint8_t> ReadRegionData(StateReader& reader, uint32_t size) {
  std::vector<uint8_t> data;
  data.reserve(size);
  while (true) {
    const std::string line = reader.Expect("data or 'end'");
    if (line == "end") break;
    const size_t space = line.find(' ');
    if (space == std::string::npos) reader.Fail("expected 'offset data'");
    const uint32_t offset =
        ParseNumber(reader, std::string_view(line).substr(0, space), 16, "offset");
    if (offset != data.size()) reader.Fail("offset " + Hex(offset, 6) + " out of sequence");
    const std::string_view hex = std::string_view(line).substr(space + 1);
    if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 2 * kBytesPerLine) {
      reader.Fail("bad data length");
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
      const int high = HexDigit(hex[i]);
      const int low = HexDigit(hex[i + 1]);
      if (high < 0 || low < 0) reader.Fail("bad hexadecimal data");
      data.push_back(uint8_t(high * 16 + low));
    }
    if (data.size() > size) reader.Fail("more data than the region's size");
  }
  if (data.size() != size)
    reader.Fail("region has " + std::to_string(data.size()) + " bytes, expected " +
                std::to_string(size));
  return data;
}

std::map<std::string, std::vector<uint8_t>> ReadState(StateReader& reader, SimCard& card,
                                                      std::optional<AdapterMode>& mode) {
  if (reader.Expect("the header") != kMagic) reader.Fail("not a card state file");
  const std::string key = Field(reader, reader.Expect("the card type"), "card");
  const std::string_view expectedKey = InfoFor(card.Type()).key;
  if (key != expectedKey) {
    reader.Fail("saved for card '" + key + "', not '" + std::string(expectedKey) + "'");
  }
  const uint32_t eeprom =
      ParseNumber(reader, Field(reader, reader.Expect("the 24Cxx size"), "24cxx"), 10, "size");
  if (eeprom != card.ExternalEepromBytes()) {
    reader.Fail("saved with a 24Cxx of " + std::to_string(eeprom) + " bytes, the card has " +
                std::to_string(card.ExternalEepromBytes()));
  }
  std::map<std::string, std::vector<uint8_t>> regions;
  std::string line;
  bool more = reader.Next(line);
  // The adapter's mode switch, in files written since it is kept.
  if (more && line.rfind("adapter ", 0) == 0) {
    const std::string name = Field(reader, line, "adapter");
    for (int i = 0; i < 3; ++i) {
      if (name == kModeNames[i]) mode = static_cast<AdapterMode>(i);
    }
    if (!mode) reader.Fail("unknown adapter mode '" + name + "'");
    more = reader.Next(line);
  }
  for (; more; more = reader.Next(line)) {
    const std::string header = Field(reader, line, "region");
    const size_t space = header.find(' ');
    if (space == std::string::npos) reader.Fail("expected 'region NAME SIZE'");
    const std::string name = header.substr(0, space);
    const uint32_t size =
        ParseNumber(reader, std::string_view(header).substr(space + 1), 10, "region size");
    if (regions.count(name)) reader.Fail("region " + name + " appears twice");
    regions[name] = ReadRegionData(reader, size);
  }
  return regions;
}

}  // namespace

std::string CardStateText(SimCard& card, std::optional<AdapterMode> adapterMode) {
  std::ostringstream out;
  WriteState(out, card, adapterMode);
  return out.str();
}

void SaveCardState(SimCard& card, const std::filesystem::path& path,
                   std::optional<AdapterMode> adapterMode) {
  SaveCardStateText(CardStateText(card, adapterMode), path);
}

void SaveCardStateText(const std::string& text, const std::filesystem::path& path) {
  try {
    // A temporary file of a unique name beside the state file, renamed over it; removed
    // again when anything fails, so the old state stays whole.
    image::WriteFileAtomically(path.string(), text);
  } catch (const image::FileError& e) {
    throw CardStateError(std::string("cannot save the card state: ") + e.what());
  }
}

std::optional<AdapterMode> LoadCardState(SimCard& card, const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CardStateError("cannot read card state file " + path.string());
  StateReader reader(in, path.string());
  std::optional<AdapterMode> mode;
  auto saved = ReadState(reader, card, mode);

  // Check everything before changing anything.
  auto regions = card.Regions();
  for (const auto& region : regions) {
    const auto it = saved.find(region.name);
    if (it == saved.end()) reader.FailFile("region " + region.name + " is missing");
    if (it->second.size() != region.bytes.size()) {
      reader.FailFile("region " + region.name + " has " + std::to_string(it->second.size()) +
                      " bytes, the card has " + std::to_string(region.bytes.size()));
    }
  }
  if (saved.size() != regions.size()) {
    for (const auto& [name, data] : saved) {
      const bool known = std::any_of(regions.begin(), regions.end(),
                                     [&](const MemoryRegion& r) { return r.name == name; });
      if (!known) reader.FailFile("region " + name + " does not belong to this card");
    }
  }
  for (auto& region : regions) {
    const auto& data = saved[region.name];
    std::copy(data.begin(), data.end(), region.bytes.begin());
  }
  card.Chip().MemoriesRestored();
  return mode;
}

}  // namespace vexilo::sim
