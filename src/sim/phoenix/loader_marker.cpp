#include "sim/phoenix/loader_marker.h"

#include <algorithm>
#include <cstdio>

namespace vexilo::sim {

namespace {

constexpr size_t kMaxNameLength = 16;

std::string MarkerText(LoaderFamily family) {
  std::string text(kLoaderMarkerText);
  text += SpecFor(family).name;
  text += '\0';
  return text;
}

bool IsPic(LoaderFamily family) { return family != LoaderFamily::Avr; }

std::string HexRecord(uint16_t address, std::span<const uint8_t> data, uint8_t type) {
  std::string line = ":";
  char field[16];
  uint8_t sum = uint8_t(data.size()) + uint8_t(address >> 8) + uint8_t(address) + type;
  std::snprintf(field, sizeof field, "%02X%04X%02X", unsigned(data.size()), unsigned(address),
                unsigned(type));
  line += field;
  for (uint8_t value : data) {
    std::snprintf(field, sizeof field, "%02X", unsigned(value));
    line += field;
    sum = uint8_t(sum + value);
  }
  std::snprintf(field, sizeof field, "%02X\n", unsigned(uint8_t(-sum)));
  return line + field;
}

}  // namespace

std::optional<LoaderFamily> FindLoaderMarker(std::span<const uint8_t> programMemory) {
  const size_t maxWords = kLoaderMarkerText.size() + kMaxNameLength + 1;
  std::string text;
  for (size_t i = 0; i < maxWords; ++i) {
    const size_t at = 2 * (kLoaderMarkerWord + i);
    if (at + 1 >= programMemory.size()) return std::nullopt;
    if (programMemory[at + 1] != kLoaderMarkerHighByte) return std::nullopt;
    const char c = char(programMemory[at]);
    if (c == '\0') break;
    text += c;
  }
  if (!text.starts_with(kLoaderMarkerText)) return std::nullopt;
  return LoaderFamilyFromName(std::string_view(text).substr(kLoaderMarkerText.size()));
}

std::vector<uint8_t> MakeSimLoaderImage(LoaderFamily family) {
  const std::string text = MarkerText(family);
  std::vector<uint8_t> image(2 * (kLoaderMarkerWord + text.size()));
  for (size_t w = 0; w < image.size() / 2; ++w) {
    image[2 * w] = 0xFF;
    image[2 * w + 1] = IsPic(family) ? 0x3F : 0xFF;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    image[2 * (kLoaderMarkerWord + i)] = uint8_t(text[i]);
    image[2 * (kLoaderMarkerWord + i) + 1] = kLoaderMarkerHighByte;
  }
  return image;
}

std::string MakeSimLoaderHex(LoaderFamily family) {
  const std::vector<uint8_t> image = MakeSimLoaderImage(family);
  std::string hex;
  for (size_t at = 2 * kLoaderMarkerWord; at < image.size(); at += 16) {
    const size_t count = std::min<size_t>(16, image.size() - at);
    hex += HexRecord(uint16_t(at), std::span(image).subspan(at, count), 0x00);
  }
  return hex + HexRecord(0, {}, 0x01);
}

}  // namespace vexilo::sim
