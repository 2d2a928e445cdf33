#include "cli/cli_operator.h"

#include <csignal>
#include <string>

#include "app/progress_estimate.h"

namespace vexilo::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
  interrupted = 1;
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

void InstallStopOnInterrupt() { std::signal(SIGINT, OnInterrupt); }

bool CliOperator::StopRequested() const { return interrupted != 0; }

void CliOperator::ClearStopRequest() { interrupted = 0; }

CliOperator::CliOperator(std::ostream& out, std::ostream& err, std::istream& in,
                         CliOperatorOptions options)
    : out_(out), err_(err), in_(in), options_(options) {}

void CliOperator::ClearProgress() {
  if (!progressShown_) return;
  err_ << "\r\033[K" << std::flush;
  progressShown_ = false;
}

void CliOperator::ShowMessage(const std::string& text) {
  ClearProgress();
  out_.flush();
  err_ << "vexilo-cli: " << text << '\n';
}

void CliOperator::SetStatusPanel(int index, const std::string& text) {
  if (index != 0 && index != 2) return;
  ClearProgress();
  out_.flush();
  err_ << "status: " << text << '\n';
}

void CliOperator::SetTimes(uint64_t elapsedUs, uint64_t remainingUs) {
  times_ =
      " " + app::DurationText(elapsedUs) + " elapsed, " + app::DurationText(remainingUs) + " left";
}

void CliOperator::Log(const std::string& line) {
  ClearProgress();
  out_ << line << '\n';
}

void CliOperator::LogError(const std::string& line) {
  sawError_ = true;
  ClearProgress();
  if (options_.colour) {
    out_ << "\033[31m" << line << "\033[0m\n";
  } else {
    out_ << line << '\n';
  }
}

void CliOperator::SetProgress(uint32_t position, uint32_t maximum) {
  if (position == 0) times_.clear();
  if (!options_.progress || maximum == 0) return;
  auto now = std::chrono::steady_clock::now();
  if (position < maximum && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  constexpr int kWidth = 40;
  int filled = static_cast<int>(uint64_t{position} * kWidth / maximum);
  out_.flush();
  err_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
       << std::string(static_cast<size_t>(kWidth - filled), '.') << "] "
       << uint64_t{position} * 100 / maximum << "%" << times_ << "\033[K" << std::flush;
  progressShown_ = true;
}

bool CliOperator::AskYesNo(const std::string& question) {
  ClearProgress();
  out_.flush();
  if (options_.assumeYes) {
    err_ << question << " yes (--yes)\n";
    return true;
  }
  if (!options_.interactive) {
    err_ << question << " no (no terminal to ask; --yes answers yes)\n";
    return false;
  }
  err_ << question << " [y/N] " << std::flush;
  std::string answer;
  std::getline(in_, answer);
  return !answer.empty() &&
         (answer[0] == 'y' || answer[0] == 'Y' || answer[0] == 't' || answer[0] == 'T');
}

void CliOperator::ShowInfo(const std::string& text) {
  ClearProgress();
  out_.flush();
  if (options_.interactive && !options_.assumeYes) {
    err_ << text << " [Enter] " << std::flush;
    std::string ignored;
    std::getline(in_, ignored);
  } else {
    err_ << text << '\n';
  }
}

}  // namespace vexilo::cli
