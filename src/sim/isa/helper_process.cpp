#include "sim/isa/helper_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace vexilo::sim::isa {

namespace {

constexpr const char* kProgramName = "vexilo-isa-card";

bool Runnable(const std::filesystem::path& path) {
  return !path.empty() && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindHelperProgram() {
  if (const char* set = std::getenv("VEXILO_ISA_CARD"); set && *set) {
    if (Runnable(set)) return set;
    throw HelperError(std::string("VEXILO_ISA_CARD names ") + set +
                      ", which is not a program that can be run");
  }
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    for (const auto& candidate :
         {self.parent_path() / kProgramName,
          self.parent_path() / ".." / "libexec" / "vexilo" / kProgramName}) {
      if (Runnable(candidate)) return candidate.lexically_normal().string();
    }
  }
#ifdef VEXILO_ISA_CARD_INSTALL_PATH
  if (Runnable(VEXILO_ISA_CARD_INSTALL_PATH)) return VEXILO_ISA_CARD_INSTALL_PATH;
#endif
#ifdef VEXILO_ISA_CARD_BUILD_PATH
  if (Runnable(VEXILO_ISA_CARD_BUILD_PATH)) return VEXILO_ISA_CARD_BUILD_PATH;
#endif
  throw HelperError(
      "the ISA card needs the helper program vexilo-isa-card, which runs the card's chip on "
      "simavr and gpsim; it is built when those are installed: apt install libsimavr-dev "
      "gpsim-dev (or run scripts/setup), then build again");
}

HelperProcess::HelperProcess(const std::string& program, const std::vector<std::string>& arguments,
                             std::chrono::milliseconds replyDeadline)
    : deadline_(replyDeadline), program_(program) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    throw HelperError(std::string("cannot start ") + program + ": " + std::strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  // The simulator libraries talk on stderr about what they do; what matters comes back on the
  // pipe.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args{program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  fd_ = fds[0];
  if (rc != 0) {
    close(fd_);
    fd_ = -1;
    pid_ = -1;
    throw HelperError("cannot start " + program + ": " + std::strerror(rc));
  }
  try {
    const char greeting = Get<char>();
    if (greeting == msg::kError) Failed(ErrorText());
    if (greeting != msg::kHello) Failed("it did not greet");
    if (Get<uint32_t>() != kWireVersion) Failed("it speaks another version of the pin protocol");
    clockHz_ = Get<uint32_t>();
    clocksPerCycle_ = Get<uint32_t>();
    if (clockHz_ == 0 || clocksPerCycle_ == 0) Failed("it gave no clock");
  } catch (...) {
    End();  // no destructor runs for an object that was never made
    throw;
  }
  doing_ = "answering";
}

HelperProcess::~HelperProcess() {
  if (fd_ >= 0) {
    out_.clear();
    Put(msg::kQuit);
    (void)send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
  }
  // A helper that does not quit at once (stopped, or hanging) is ended.
  if (pid_ > 0) {
    for (int i = 0; i < 100; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) != 0) {
        pid_ = -1;
        break;
      }
      usleep(20000);
    }
  }
  End();
}

void HelperProcess::End() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
}

void HelperProcess::PutBytes(std::span<const uint8_t> bytes) {
  Put<uint32_t>(uint32_t(bytes.size()));
  out_.insert(out_.end(), bytes.begin(), bytes.end());
}

void HelperProcess::Program(std::span<const uint8_t> program, std::span<const uint8_t> eeprom,
                            uint32_t config) {
  Put(msg::kProgram);
  PutBytes(program);
  PutBytes(eeprom);
  Put<uint32_t>(config);
}

void HelperProcess::Hold() { Put(msg::kHold); }
void HelperProcess::Go() { Put(msg::kGo); }

void HelperProcess::Input(uint64_t cycle, Pin pin, bool level) {
  Put(msg::kInput);
  Put<uint64_t>(cycle);
  Put<uint8_t>(pin);
  Put<uint8_t>(level ? 1 : 0);
}

void HelperProcess::Run(uint64_t cycle) {
  doing_ = "running the card's chip to its cycle " + std::to_string(cycle);
  Put(msg::kRun);
  Put<uint64_t>(cycle);
  Flush();
}

void HelperProcess::SdaScript(const std::vector<bool>& levels, bool hold) {
  Put(msg::kSdaScript);
  Put<uint8_t>(uint8_t(levels.size()));
  for (bool level : levels) Put<uint8_t>(level ? 1 : 0);
  Put<uint8_t>(hold ? 1 : 0);
}

HelperProcess::Event HelperProcess::Next() {
  switch (const char type = Get<char>()) {
    case msg::kEdge:
    case msg::kEdgeOn: {
      Event e{type == msg::kEdge ? Event::kEdge : Event::kEdgeRunning, Get<uint64_t>(), 0};
      e.drive = Get<uint8_t>();
      return e;
    }
    case msg::kDone:
      return {Event::kReached, Get<uint64_t>(), 0};
    case msg::kError:
      Failed(ErrorText());
    default:
      Failed("it answered out of turn");
  }
}

void HelperProcess::Flush() {
  size_t done = 0;
  while (done < out_.size()) {
    const ssize_t n = send(fd_, out_.data() + done, out_.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Failed("it stopped");
    done += size_t(n);
  }
  out_.clear();
}

void HelperProcess::Take(void* data, size_t n) {
  auto* p = static_cast<uint8_t*>(data);
  while (n) {
    if (inPos_ == in_.size()) {
      Flush();
      in_.resize(4096);
      if (!Readable()) {
        in_.clear();
        inPos_ = 0;
        End();
        Failed("it did not answer within " + std::to_string(deadline_.count()) + " ms while " +
               doing_ + "; it was ended");
      }
      ssize_t got = 0;
      do {
        got = recv(fd_, in_.data(), in_.size(), 0);
      } while (got < 0 && errno == EINTR);
      if (got <= 0) {
        in_.clear();
        inPos_ = 0;
        Failed("it stopped");
      }
      in_.resize(size_t(got));
      inPos_ = 0;
    }
    const size_t k = std::min(n, in_.size() - inPos_);
    std::memcpy(p, in_.data() + inPos_, k);
    inPos_ += k;
    p += k;
    n -= k;
  }
}

bool HelperProcess::Readable() {
  if (fd_ < 0) return true;  // recv fails at once and says the helper stopped
  const auto until = std::chrono::steady_clock::now() + deadline_;
  pollfd p{fd_, POLLIN, 0};
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    const int rc = poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return true;  // recv reports what is wrong
  }
}

void HelperProcess::Failed(const std::string& why) {
  throw HelperError("the ISA card's helper " + program_ + ": " + why);
}

std::string HelperProcess::ErrorText() {
  std::string text(Get<uint32_t>(), ' ');
  Take(text.data(), text.size());
  return text;
}

}  // namespace vexilo::sim::isa
