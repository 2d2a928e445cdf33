#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sim/phoenix/loader_family.h"
#include "sim/phoenix/loader_marker.h"

namespace vexilo::sim {
namespace {

// Reads Intel HEX data records into `image` (erased with `erased`), checking each checksum.
std::vector<uint8_t> ParseHex(const std::string& text, size_t size, uint8_t erased) {
  std::vector<uint8_t> image(size, erased);
  std::istringstream lines(text);
  std::string line;
  bool ended = false;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line[0], ':');
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i + 1 < line.size(); i += 2) {
      bytes.push_back(uint8_t(std::stoi(line.substr(i, 2), nullptr, 16)));
    }
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = uint8_t(sum + b);
    EXPECT_EQ(sum, 0) << line;
    EXPECT_EQ(bytes.size(), bytes[0] + 5u) << line;
    if (bytes[3] == 0x01) ended = true;
    const size_t address = bytes[1] << 8 | bytes[2];
    for (size_t i = 0; i < bytes[0]; ++i) image.at(address + i) = bytes[4 + i];
  }
  EXPECT_TRUE(ended);
  return image;
}

TEST(LoaderImageTest, HexFileCarriesTheMarkerOfItsFamily) {
  for (const auto& spec : LoaderSpecs()) {
    const std::vector<uint8_t> image = MakeSimLoaderImage(spec.family);
    EXPECT_EQ(FindLoaderMarker(image), spec.family) << spec.name;
    const bool pic = spec.family != LoaderFamily::Avr;
    // As an installer reads it: the HEX bytes over an erased program memory.
    std::vector<uint8_t> programmed = ParseHex(MakeSimLoaderHex(spec.family), 2048, 0xFF);
    if (pic) {
      for (size_t i = 1; i < programmed.size(); i += 2) programmed[i] &= 0x3F;  // 14-bit words
    }
    EXPECT_EQ(FindLoaderMarker(programmed), spec.family) << spec.name;
    EXPECT_EQ(image[0], 0xFF);
    EXPECT_EQ(image[1], pic ? 0x3F : 0xFF);
    // Inside the words the smallest installer writes (576 words).
    EXPECT_LE(image.size(), 2u * 576);
  }
}

TEST(LoaderImageTest, OnlyTheWholeMarkerAtItsPlaceCounts) {
  std::vector<uint8_t> image = MakeSimLoaderImage(LoaderFamily::Pic16F84);
  image.resize(4096, 0xFF);
  EXPECT_EQ(FindLoaderMarker(image), LoaderFamily::Pic16F84);

  std::vector<uint8_t> shifted(image.size(), 0xFF);
  std::copy(image.begin(), image.end() - 2, shifted.begin() + 2);  // one word later
  EXPECT_EQ(FindLoaderMarker(shifted), std::nullopt);

  std::vector<uint8_t> unknown = image;
  unknown[2 * (kLoaderMarkerWord + kLoaderMarkerText.size())] = 'x';  // "xic16f84"
  EXPECT_EQ(FindLoaderMarker(unknown), std::nullopt);

  std::vector<uint8_t> wrongWord = image;
  wrongWord[2 * kLoaderMarkerWord + 1] = 0x00;
  EXPECT_EQ(FindLoaderMarker(wrongWord), std::nullopt);

  EXPECT_EQ(FindLoaderMarker(std::vector<uint8_t>(0x90, 0x34)), std::nullopt);  // too short
}

// ISO 7816-3 structure: TS, T0, interface bytes as T0 and each TDi announce them, K historical
// bytes, and TCK when any protocol other than T=0 is indicated (all bytes from T0 XOR to 0).
void ExpectWellFormedAtr(std::span<const uint8_t> atr) {
  ASSERT_GE(atr.size(), 2u);
  EXPECT_EQ(atr[0], 0x3B);  // direct convention
  size_t at = 1;
  uint8_t y = atr[at] >> 4;
  const size_t historical = atr[at] & 0x0F;
  bool needsTck = false;
  for (;;) {
    for (int bit = 0; bit < 3; ++bit) at += (y >> bit) & 1;  // TA, TB, TC
    if (!(y & 0x8)) break;
    ++at;  // TD
    ASSERT_LT(at, atr.size());
    needsTck |= (atr[at] & 0x0F) != 0;
    y = atr[at] >> 4;
  }
  at += historical;
  uint8_t check = 0;
  for (size_t i = 1; i < atr.size(); ++i) check ^= atr[i];
  if (needsTck) {
    EXPECT_EQ(atr.size(), at + 2);
    EXPECT_EQ(check, 0);
  } else {
    EXPECT_EQ(atr.size(), at + 1);
  }
}

TEST(LoaderAtrTest, EveryAtrIsWellFormedAndOnlyTheLoadersCarryTheirMark) {
  for (const auto& spec : LoaderSpecs()) {
    SCOPED_TRACE(spec.name);
    ExpectWellFormedAtr(spec.atr);
    EXPECT_LE(spec.atr.size(), 16u);  // the reader takes at most 16 ATR bytes
    EXPECT_TRUE(spec.atr[0] == spec.atrMark || spec.atr[1] == spec.atrMark);
    const auto foreign = ForeignAtr();
    EXPECT_NE(foreign[0], spec.atrMark);
    EXPECT_NE(foreign[1], spec.atrMark);
  }
  // The foreign card answers in the inverse convention.
  std::vector<uint8_t> decoded;
  for (uint8_t value : ForeignAtr()) decoded.push_back(InverseConvention(value));
  EXPECT_EQ(decoded[0], 0x3F);
  decoded[0] = 0x3B;
  ExpectWellFormedAtr(decoded);
}

}  // namespace
}  // namespace vexilo::sim
