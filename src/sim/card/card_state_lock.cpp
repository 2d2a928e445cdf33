#include "sim/card/card_state_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "sim/card/card_state.h"

namespace vexilo::sim {
namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(20);

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& why) {
  throw CardStateError("card state file " + path.string() + ": " + why);
}

// A state file is a regular file: a FIFO would block the read for ever, a folder or a
// device is never one.
void CheckKind(const std::filesystem::path& path, const struct stat& st) {
  if (S_ISREG(st.st_mode)) return;
  Fail(path,
       S_ISDIR(st.st_mode) ? "is a folder, not a file (name a file in it)" : "not a regular file");
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

CardStateLock::CardStateLock(std::filesystem::path path, unsigned waitMs) : path_(std::move(path)) {
  Acquire(waitMs);
}

CardStateLock::~CardStateLock() {
  if (fd_ < 0) return;
  // The empty file this lock made, when nothing was saved: removed while still held.
  struct stat held {
  }, named{};
  if (created_ && fstat(fd_, &held) == 0 && held.st_size == 0 && stat(path_.c_str(), &named) == 0 &&
      SameFile(held, named)) {
    unlink(path_.c_str());
  }
  close(fd_);
}

void CardStateLock::Acquire(unsigned waitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (true) {
    struct stat st {};
    if (stat(path_.c_str(), &st) == 0) CheckKind(path_, st);
    // O_NONBLOCK: opening a FIFO that slipped in between must not wait for a writer.
    const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    created_ = false;
    int fd = open(path_.c_str(), flags | O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      created_ = true;
    } else if (errno == EEXIST) {
      fd = open(path_.c_str(), flags | O_RDWR);
      // A file the user may only read still takes a lock; saving it fails later, named.
      if (fd < 0 && errno == EACCES) fd = open(path_.c_str(), flags | O_RDONLY);
      // Removed by the run before us between the two opens: try again.
      if (fd < 0 && errno == ENOENT && std::chrono::steady_clock::now() < deadline) continue;
    }
    if (fd < 0) Fail(path_, std::strerror(errno));
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      CheckKind(path_, st);
      Fail(path_, "not a regular file");
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) {
        const std::string reason = std::strerror(errno);
        close(fd);
        Fail(path_, "cannot lock: " + reason);
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        close(fd);
        Fail(path_, "the card is in use by another run (waited " + std::to_string(waitMs / 1000) +
                        " s); try again when it has ended");
      }
      std::this_thread::sleep_for(kRetryPause);
    }
    // The run before us may have replaced or removed the file while we waited: lock the file
    // that is there now.
    struct stat named {};
    if (stat(path_.c_str(), &named) == 0 && SameFile(st, named)) {
      fd_ = fd;
      return;
    }
    close(fd);
  }
}

bool CardStateLock::HasState() const {
  struct stat st {};
  return fd_ >= 0 && fstat(fd_, &st) == 0 && st.st_size > 0;
}

void CardStateLock::FollowReplacement() {
  const int old = fd_;
  fd_ = -1;
  // Locking the new file before letting go of the old keeps every waiter out.
  Acquire(kWaitMs);
  created_ = false;
  if (old >= 0) close(old);
}

}  // namespace vexilo::sim
