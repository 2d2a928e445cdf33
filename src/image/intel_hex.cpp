#include "image/intel_hex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "image/hex_to_int.h"

namespace vexilo::image {
namespace {

uint8_t ByteField(std::string_view line, size_t pos) {
  if (pos + 2 > line.size()) throw std::invalid_argument("the line ends inside the record");
  return static_cast<uint8_t>(HexToInt(line.substr(pos, 2)));
}

std::string_view TrimRight(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.remove_suffix(1);
  }
  return line;
}

std::string SystemReason(const std::string& path, const char* what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

HexRecord ParseHexRecord(std::string_view line) {
  line = TrimRight(line);
  HexRecord record;
  uint8_t count = ByteField(line, 1);
  uint8_t addressHigh = ByteField(line, 3);
  uint8_t addressLow = ByteField(line, 5);
  record.type = ByteField(line, 7);
  record.address = static_cast<uint16_t>(addressHigh << 8 | addressLow);
  unsigned sum = count + addressHigh + addressLow + record.type;
  record.data.resize(count);
  for (unsigned i = 0; i < count; ++i) {
    record.data[i] = ByteField(line, 9 + 2 * i);
    sum += record.data[i];
  }
  uint8_t checksum = ByteField(line, 9 + 2u * count);
  if (((sum + checksum) & 0xFF) != 0) {
    throw std::invalid_argument("checksum " + ToHex(checksum, 2) + " should be " +
                                ToHex((0x100 - (sum & 0xFF)) & 0xFF, 2));
  }
  return record;
}

std::string MakeHexRecord(uint16_t address, uint8_t type, std::span<const uint8_t> data) {
  std::string out =
      ":" + ToHex(static_cast<uint32_t>(data.size()), 2) + ToHex(address, 4) + ToHex(type, 2);
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  for (uint8_t b : data) {
    out += ToHex(b, 2);
    sum += b;
  }
  out += ToHex((0x100 - (sum & 0xFF)) & 0xFF, 2);
  return out;
}

HexFileReader::HexFileReader(std::string path, bool requireColon)
    : path_(std::move(path)), requireColon_(requireColon), text_(ReadWholeFile(path_)) {}

std::optional<HexFileReader::DataRecord> HexFileReader::Next() {
  while (!ended_ && pos_ < text_.size()) {
    size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) end = text_.size();
    std::string_view line = TrimRight(std::string_view(text_).substr(pos_, end - pos_));
    pos_ = end + 1;
    ++lineNumber_;
    if (line.empty() || (requireColon_ && line.front() != ':')) continue;
    try {
      record_ = ParseHexRecord(line);
    } catch (const std::exception& e) {
      throw FileError(path_ + ":" + std::to_string(lineNumber_) + ": " + e.what());
    }
    switch (record_.type) {
      case kHexData:
        return DataRecord{upper_ + record_.address, &record_.data};
      case kHexEndOfFile:
        ended_ = true;
        break;
      case kHexExtendedSegment:
      case kHexExtendedLinear:
        if (record_.data.size() != 2) {
          throw FileError(path_ + ":" + std::to_string(lineNumber_) +
                          ": an extended address record needs 2 data bytes");
        }
        upper_ = static_cast<uint32_t>(record_.data[0] << 8 | record_.data[1]);
        upper_ <<= record_.type == kHexExtendedLinear ? 16 : 4;
        break;
      default:  // start addresses and unknown types carry no image data
        break;
    }
  }
  return std::nullopt;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError(SystemReason(path, "cannot open"));
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) throw FileError(SystemReason(path, "cannot read"));
  return std::move(contents).str();
}

void WriteFileAtomically(const std::string& path, std::string_view contents) {
  std::string temp = path + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) throw FileError(SystemReason(path, "cannot create"));
  mode_t mask = umask(0);
  umask(mask);
  struct stat old {};
  mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~mask);
  bool ok = fchmod(fd, mode) == 0;
  const char* data = contents.data();
  size_t left = contents.size();
  while (ok && left > 0) {
    ssize_t n = write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) {
      data += n;
      left -= static_cast<size_t>(n);
    }
  }
  ok = ok && fsync(fd) == 0;
  int savedErrno = errno;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    if (errno == 0) errno = savedErrno;
    std::string reason = SystemReason(path, "cannot write");
    unlink(temp.c_str());
    throw FileError(reason);
  }
}

}  // namespace vexilo::image
