#include "image/intel_hex.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>

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
    : path_(std::move(path)), requireColon_(requireColon), text_(ReadWholeFile(path_)) {
  // A UTF-8 byte-order mark, as some editors write, is not part of the first record.
  if (text_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
}

std::optional<HexFileReader::DataRecord> HexFileReader::Next() {
  std::optional<DataRecord> record = NextRecord();
  if (record) {
    sawData_ = true;
  } else if (!sawData_) {
    throw FileError(path_ + ": no data (not a single Intel HEX data record)");
  }
  return record;
}

std::optional<HexFileReader::DataRecord> HexFileReader::NextRecord() {
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
        if (record_.data.empty()) break;
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

std::string ReadWholeFile(const std::string& path, uint64_t maxBytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw FileError(SystemReason(path, "cannot open"));
  struct FdCloser {
    int fd;
    ~FdCloser() { close(fd); }
  } closer{fd};
  struct stat info {};
  if (fstat(fd, &info) != 0) throw FileError(SystemReason(path, "cannot read"));
  // A folder, a device or a pipe is not an image or settings file: /dev/zero would never end.
  if (!S_ISREG(info.st_mode)) {
    throw FileError(path + ": not a regular file" + (S_ISDIR(info.st_mode) ? " (a folder)" : ""));
  }
  if (static_cast<uint64_t>(info.st_size) > maxBytes) {
    throw FileError(path + ": " + std::to_string(info.st_size) + " bytes is too large (at most " +
                    std::to_string(maxBytes) + ")");
  }
  std::string contents;
  contents.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  while (true) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError(SystemReason(path, "cannot read"));
    if (n == 0) break;
    contents.append(buffer, static_cast<size_t>(n));
    // The file may grow while it is read.
    if (contents.size() > maxBytes) throw FileError(path + ": grew too large while being read");
  }
  return contents;
}

namespace {

// The file a save replaces: a symbolic link is followed to the file it names (which is
// written in its own folder, the link kept), so saving through a link updates its target.
std::string SaveTarget(const std::string& path) {
  std::string target = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return target;
    std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096), '\0');
    ssize_t n = readlink(target.c_str(), link.data(), link.size());
    if (n < 0) throw FileError(SystemReason(path, "cannot follow the link"));
    link.resize(static_cast<size_t>(n));
    if (link.front() != '/') {
      size_t slash = target.rfind('/');
      if (slash != std::string::npos) link = target.substr(0, slash + 1) + link;
    }
    target = link;
  }
  errno = ELOOP;
  throw FileError(SystemReason(path, "cannot follow the link"));
}

// The temporary files of a save are named "<file>.XXXXXX" (mkstemp) and held under an
// exclusive lock while they are written. One whose lock anybody can take again is what a
// save that was killed left behind; it is removed by the next save of the same file. A few
// seconds' age keeps a save that has only just created its file safe from the sweep.
constexpr int kTempSuffix = 6;
constexpr time_t kStaleTempAgeS = 2;

bool IsTempNameOf(const std::string& name, const std::string& base) {
  if (name.size() != base.size() + 1 + kTempSuffix || name.compare(0, base.size(), base) != 0 ||
      name[base.size()] != '.') {
    return false;
  }
  for (size_t i = base.size() + 1; i < name.size(); ++i) {
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

void RemoveStaleTemps(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  DIR* folder = opendir(dir.c_str());
  if (folder == nullptr) return;
  const time_t now = time(nullptr);
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (!IsTempNameOf(name, base)) continue;
    const std::string temp = (slash == std::string::npos ? "" : dir) + name;
    struct stat info {};
    if (lstat(temp.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        now - info.st_mtime < kStaleTempAgeS) {
      continue;
    }
    const int fd = open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) unlink(temp.c_str());
    close(fd);
  }
  closedir(folder);
}

}  // namespace

void WriteFileAtomically(const std::string& requested, std::string_view contents) {
  const std::string path = SaveTarget(requested);
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0) {
    if (!S_ISREG(existing.st_mode)) {
      throw FileError(requested + ": not a regular file" +
                      (S_ISDIR(existing.st_mode) ? " (a folder)" : "") + ", not replaced");
    }
    // A file the user may not write stays as it is, although its folder would let a
    // rename replace it.
    if (access(path.c_str(), W_OK) != 0) throw FileError(SystemReason(requested, "cannot write"));
  }
  RemoveStaleTemps(path);
  std::string temp = path + ".XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw FileError(SystemReason(path, "cannot create"));
  flock(fd, LOCK_EX);  // ours alone: marks the file as being written
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
