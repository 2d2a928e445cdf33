#include "image/intel_hex.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/temp_dir.h"

namespace vexilo::image {
namespace {

TEST(HexRecord, MakesAndParsesDataRecords) {
  std::vector<uint8_t> blank(16, 0xFF);
  EXPECT_EQ(MakeHexRecord(0, kHexData, blank), ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00");
  std::vector<uint8_t> config{0x15, 0x3F};
  std::string line = MakeHexRecord(0x400E, kHexData, config);
  EXPECT_EQ(line, ":02400E00153F5C");
  HexRecord record = ParseHexRecord(line + "\r");
  EXPECT_EQ(record.address, 0x400E);
  EXPECT_EQ(record.data, config);
}

TEST(HexRecord, RejectsBadChecksumShortLineAndNonHex) {
  EXPECT_THROW(ParseHexRecord(":02400E00153F5D"), std::invalid_argument);
  EXPECT_THROW(ParseHexRecord(":10000000FFFF"), std::invalid_argument);
  EXPECT_THROW(ParseHexRecord(":02400E0015ZZ5C"), std::runtime_error);
}

std::vector<std::pair<uint32_t, size_t>> DataRecords(const std::string& path, bool colon) {
  std::vector<std::pair<uint32_t, size_t>> out;
  HexFileReader reader(path, colon);
  while (auto r = reader.Next()) out.emplace_back(r->address, r->data->size());
  return out;
}

TEST(HexFileReader, UpperAddressRecordsAndStartAddressesCarryNoData) {
  test::TempDir dir;
  std::string path = dir.Write("a.hex",
                               ":0400000012345678E8\n"
                               ":0400000300001234B3\n"  // start segment address: no data
                               ":0400000500000100F6\n"  // start linear address: no data
                               ":020000040001F9\n"      // upper 16 bits = 1
                               ":020010001122BB\n"
                               ":020000021000EC\n"  // segment 0x1000 -> 0x10000
                               ":0100200033AC\n"
                               ":00000001FF\n"
                               ":01003000448B\n");  // after the end record
  auto records = DataRecords(path, true);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], (std::pair<uint32_t, size_t>{0x0, 4}));
  EXPECT_EQ(records[1], (std::pair<uint32_t, size_t>{0x10010, 2}));
  EXPECT_EQ(records[2], (std::pair<uint32_t, size_t>{0x10020, 1}));
}

TEST(HexFileReader, NamesFileAndLineOfABadRecord) {
  test::TempDir dir;
  std::string path = dir.Write("bad.hex", ":0400000012345678E8\r\n\r\n:04001000123456\r\n");
  try {
    DataRecords(path, true);
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(path + ":3: ", 0), 0u) << e.what();
  }
  EXPECT_THROW(DataRecords(dir.Path("missing.hex"), true), FileError);
}

TEST(HexFileReader, ColonRuleDecidesWhatIsARecord) {
  test::TempDir dir;
  std::string path = dir.Write("c.hex", "; comment\n#0100000011EE\n:0100010022DC\n");
  EXPECT_EQ(DataRecords(path, true).size(), 1u);
  EXPECT_THROW(DataRecords(dir.Write("d.hex", "; comment\n"), false), FileError);
  EXPECT_EQ(DataRecords(dir.Write("e.hex", "#0100000011EE\n"), false).size(), 1u);
}

TEST(WriteFileAtomically, ReplacesTheFileWholeAndLeavesNoTemporary) {
  test::TempDir dir;
  std::string path = dir.Write("out.hex", "old contents");
  WriteFileAtomically(path, "new");
  EXPECT_EQ(dir.Read("out.hex"), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_THROW(WriteFileAtomically(dir.Path("no/such/dir/x.hex"), "x"), FileError);
}

}  // namespace
}  // namespace vexilo::image
