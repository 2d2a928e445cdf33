#include "app/language_pack.h"

#include <gtest/gtest.h>

#include "app/text_encoding.h"
#include "support/temp_dir.h"

namespace vexilo::app {
namespace {

std::string FullPack(const std::string& name, const std::string& prefix) {
  std::string text = "[LANG]\r\nNAME=" + name + "\r\n[TXT]\r\n";
  for (int key : kLanguageKeys)
    text += std::to_string(key) + "=" + prefix + std::to_string(key) + "\r\n";
  return text;
}

TEST(LanguagePacks, ScanListsRegularFilesInNameOrder) {
  test::TempDir dir;
  dir.Write("lang/b.ini", FullPack("Beta", "b"));
  dir.Write("lang/a.ini", FullPack("Alpha", "a"));
  dir.Write("lang/c.txt", "[TXT]\n1=x\n");  // no name: not offered, reported
  dir.Write("lang/d.ini", "[LANG]\nNAME=Huge\n" + std::string(kMaxPackBytes, ';'));
  std::filesystem::create_directory(dir.Path("lang/sub"));
  std::vector<std::string> problems;
  auto packs = ScanLanguagePacks(dir.Path("lang"), &problems);
  ASSERT_EQ(packs.size(), 2u);
  EXPECT_EQ(packs[0].displayName, "Alpha");
  EXPECT_EQ(packs[1].displayName, "Beta");
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("c.txt: has no [LANG] NAME"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("d.ini: 1048593 bytes is too large"), std::string::npos);
  EXPECT_TRUE(ScanLanguagePacks(dir.Path("nothing")).empty());
}

TEST(LanguagePacks, MissingKeyTakesTheTextBeforeIt) {
  test::TempDir dir;
  dir.Write("lang/p.ini", "[LANG]\nNAME=Partial\n[TXT]\n8=Load FLASH\n10=Load ext\n");
  auto packs = ScanLanguagePacks(dir.Path("lang"));
  auto texts = LoadLanguagePack(dir.Path("lang"), packs, "Partial");
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->size(), 38u);
  EXPECT_EQ(texts->at(kDetectCardKey), BuiltInTexts().at(kDetectCardKey)) << "the window's own";
  EXPECT_EQ(texts->at(1), "p.ini");  // key 1 falls back to the file name
  EXPECT_EQ(texts->at(7), "p.ini");
  EXPECT_EQ(texts->at(9), "Load FLASH");
  EXPECT_EQ(texts->at(105), "Load ext");
}

TEST(LanguagePacks, LaterPackWinsASharedNameAndNoMatchGivesNothing) {
  test::TempDir dir;
  dir.Write("lang/1.ini", FullPack("Same", "first"));
  dir.Write("lang/2.ini", FullPack("Same", "second"));
  auto packs = ScanLanguagePacks(dir.Path("lang"));
  EXPECT_EQ(LoadLanguagePack(dir.Path("lang"), packs, "Same")->at(100), "second100");
  EXPECT_FALSE(LoadLanguagePack(dir.Path("lang"), packs, "lang"));
}

TEST(LanguagePacks, WindowsEraPacksAreWindows1250) {
  test::TempDir dir;
  // "Zapisz plik źródłowy" in Windows-1250.
  dir.Write("lang/pl.ini",
            "[LANG]\r\nNAME=Polski\r\n[TXT]\r\n103=Zapisz plik \x9F\xF3\x64\xB3owy\r\n");
  auto packs = ScanLanguagePacks(dir.Path("lang"));
  EXPECT_EQ(LoadLanguagePack(dir.Path("lang"), packs, "Polski")->at(103),
            "Zapisz plik \xC5\xBA\xC3\xB3\x64\xC5\x82owy");
}

TEST(TextEncoding, Utf8StaysAndOtherBytesAreWindows1250) {
  EXPECT_EQ(DecodeText("zażółć"), "zażółć");
  EXPECT_EQ(DecodeText("\xA5\xB9\x8C\x9C"), "ĄąŚś");
  EXPECT_EQ(DecodeText("\x80"), "€");
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));      // cut short
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
}

TEST(LanguagePacks, ShippedPacksAreCompleteAndBuiltInsMatchPolish) {
  std::string lang =
      std::string(std::getenv("VEXILO_SOURCE_DIR") ? std::getenv("VEXILO_SOURCE_DIR") : ".") +
      "/lang";
  auto packs = ScanLanguagePacks(lang);
  ASSERT_EQ(packs.size(), 2u);
  LanguageTexts builtIn = BuiltInTexts();
  for (const LanguagePackEntry& pack : packs) {
    auto texts = LoadLanguagePack(lang, packs, pack.displayName);
    ASSERT_TRUE(texts);
    if (pack.displayName != "Polski") {
      EXPECT_NE(texts->at(kDetectCardKey), builtIn.at(kDetectCardKey)) << "the pack's own";
    }
    EXPECT_NE(texts->at(kDetectCardKey).find('&'), std::string::npos) << "an Alt key";
    for (int key : kLanguageKeys) {
      EXPECT_FALSE(texts->at(key).empty()) << pack.fileName << " key " << key;
      // The Polish pack is the window's own captions, its menu items with Alt keys added.
      if (pack.displayName == "Polski" && key <= 27) {
        std::string text = texts->at(key), own = builtIn.at(key);
        std::erase(text, '&');
        std::erase(own, '&');
        EXPECT_EQ(text, own) << "key " << key;
        if (key <= 7) {
          EXPECT_EQ(texts->at(key), builtIn.at(key));
        }
      }
    }
    // No key falls back to its neighbour's text: every text differs from the one before.
    for (size_t i = 1; i < kLanguageKeys.size(); ++i) {
      EXPECT_NE(texts->at(kLanguageKeys[i]), texts->at(kLanguageKeys[i - 1]))
          << pack.fileName << " key " << kLanguageKeys[i];
    }
  }
}

}  // namespace
}  // namespace vexilo::app
