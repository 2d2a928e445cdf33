#pragma once
#include <filesystem>

namespace vexilo::sim {

// One run at a time per card state file: an exclusive lock (flock) on the file for as long as
// the run keeps it. A run that finds the file held waits a bounded time for it, then gives up
// with CardStateError ("... is in use by another run"). The file is created empty where it
// does not exist yet, and removed again at the end when nothing was saved into it.
class CardStateLock {
 public:
  static constexpr unsigned kWaitMs = 5000;

  // Throws CardStateError for a path that is not a regular file (a folder, a FIFO, a device),
  // one that cannot be opened, or a file another run holds for longer than `waitMs`.
  explicit CardStateLock(std::filesystem::path path, unsigned waitMs = kWaitMs);
  ~CardStateLock();
  CardStateLock(const CardStateLock&) = delete;
  CardStateLock& operator=(const CardStateLock&) = delete;

  // The file holds a saved state (it is not the empty file the lock created).
  bool HasState() const;
  // A save replaces the file by renaming a new one over it: the lock moves to the new file.
  void FollowReplacement();

 private:
  void Acquire(unsigned waitMs);

  std::filesystem::path path_;
  int fd_ = -1;
  bool created_ = false;
};

}  // namespace vexilo::sim
