#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vexilo::image {

// A file that could not be read or written, or that holds something other than what it should.
// The message names the file and, where a line was at fault, the line number.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Intel HEX record types.
enum HexRecordType : uint8_t {
  kHexData = 0x00,
  kHexEndOfFile = 0x01,
  kHexExtendedSegment = 0x02,
  kHexStartSegment = 0x03,
  kHexExtendedLinear = 0x04,
  kHexStartLinear = 0x05,
};

inline constexpr std::string_view kHexEndRecord = ":00000001FF";

struct HexRecord {
  uint16_t address = 0;
  uint8_t type = 0;
  std::vector<uint8_t> data;
};

// Parses one record: ":" count(2) address(4) type(2) data(2 * count) checksum(2). The first
// character is not examined. Trailing white space (a CR of a DOS line end) is ignored. Throws
// ConversionError for a field that is not hexadecimal, std::invalid_argument for a line that
// ends inside the record or a wrong checksum.
HexRecord ParseHexRecord(std::string_view line);

// ":" + count + address + type + data + checksum, in upper case, without a line end.
std::string MakeHexRecord(uint16_t address, uint8_t type, std::span<const uint8_t> data);

// The data records of an Intel HEX file with their full addresses: records 02 and 04 set the
// upper address, record 01 ends the data, 03 and 05 (start addresses) carry none.
class HexFileReader {
 public:
  // `requireColon`: lines that do not begin with ":" are skipped; otherwise every non-empty line
  // is taken as a record.
  HexFileReader(std::string path, bool requireColon);

  struct DataRecord {
    uint32_t address;
    const std::vector<uint8_t>* data;
  };
  // The next data record that carries bytes, or nothing at the end of the data (the end
  // record or the end of the file; what follows an end record is not read). Throws FileError
  // naming the file and the line for a malformed record, and "no data" for a file without a
  // single data byte. A UTF-8 byte-order mark at the start is skipped.
  std::optional<DataRecord> Next();

 private:
  std::optional<DataRecord> NextRecord();

  std::string path_;
  bool requireColon_;
  std::string text_;
  size_t pos_ = 0;
  unsigned lineNumber_ = 0;
  uint32_t upper_ = 0;
  bool ended_ = false;
  bool sawData_ = false;
  HexRecord record_;
};

// The largest file the readers take: an Intel HEX text of the largest image is under 400 KB.
inline constexpr uint64_t kMaxReadBytes = 64ull << 20;

// Reads a whole regular file of at most `maxBytes`; throws FileError with the system's reason,
// or naming what is wrong: a folder, a device or another file that is not a regular file, a
// file that is too large.
std::string ReadWholeFile(const std::string& path, uint64_t maxBytes = kMaxReadBytes);

// Writes `contents` to a temporary file beside `path` and renames it over `path`, so a failed
// write leaves the old file whole; temporary files that an earlier, killed save of `path` left
// are removed. Throws FileError with the system's reason.
void WriteFileAtomically(const std::string& path, std::string_view contents);

}  // namespace vexilo::image
