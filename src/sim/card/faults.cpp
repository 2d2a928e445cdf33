#include "sim/card/faults.h"

#include <charconv>
#include <limits>
#include <vector>

namespace vexilo::sim {

namespace {

constexpr const char* kKnown =
    "no-card, no-echo, silent-after=N, slow-chip, stuck-bit=ADDR:BIT[:VALUE], chip-clock=HZ, "
    "no-loader, wrong-atr, loader-replies=memory-failure|bad-check|foreign";

[[noreturn]] void Fail(std::string_view entry, const std::string& why) {
  throw FaultError("fault '" + std::string(entry) + "': " + why);
}

// A decimal or 0x-prefixed hexadecimal number no larger than `max`.
uint32_t Number(std::string_view text, uint32_t max, std::string_view entry, const char* what) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    Fail(entry, std::string(what) + " is not a number");
  }
  if (value > max) Fail(entry, std::string(what) + " is too large");
  return uint32_t(value);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

void AddStuckBit(SimFaults& faults, std::string_view value, std::string_view entry) {
  const auto parts = Split(value, ':');
  if (parts.size() < 2 || parts.size() > 3) Fail(entry, "expected ADDR:BIT or ADDR:BIT:VALUE");
  ChipFaults::StuckBit stuck{};
  stuck.byteAddress = Number(parts[0], std::numeric_limits<uint32_t>::max(), entry, "address");
  stuck.bit = uint8_t(Number(parts[1], 7, entry, "bit"));
  stuck.stuckValue = parts.size() == 3 && Number(parts[2], 1, entry, "value") == 1;
  faults.chip.stuck = stuck;
}

}  // namespace

void AddFault(SimFaults& faults, std::string_view entry) {
  const size_t eq = entry.find('=');
  const std::string_view name = entry.substr(0, eq);
  const bool hasValue = eq != std::string_view::npos;
  const std::string_view value = hasValue ? entry.substr(eq + 1) : std::string_view{};
  const bool wantsValue = name == "silent-after" || name == "stuck-bit" || name == "chip-clock" ||
                          name == "loader-replies";
  if (wantsValue && !hasValue) Fail(entry, "needs a value");
  if (!wantsValue && hasValue) Fail(entry, "takes no value");

  if (name == "no-card") {
    faults.noCard = true;
  } else if (name == "no-echo") {
    faults.noEcho = true;
  } else if (name == "silent-after") {
    faults.phoenix.silentAfter =
        Number(value, std::numeric_limits<uint32_t>::max(), entry, "character count");
  } else if (name == "slow-chip") {
    faults.chip.writeTimeFactor = kSlowChipFactor;
  } else if (name == "stuck-bit") {
    AddStuckBit(faults, value, entry);
  } else if (name == "chip-clock") {
    faults.chip.avrClockHz = Number(value, 100000000, entry, "clock");
    if (faults.chip.avrClockHz == 0) Fail(entry, "the clock must be above 0 Hz");
  } else if (name == "no-loader") {
    faults.phoenix.noLoader = true;
  } else if (name == "wrong-atr") {
    faults.phoenix.wrongAtr = true;
  } else if (name == "loader-replies") {
    if (value == "memory-failure") {
      faults.phoenix.readReplies = ReadReplies::MemoryFailure;
    } else if (value == "bad-check") {
      faults.phoenix.readReplies = ReadReplies::BadCheck;
    } else if (value == "foreign") {
      faults.phoenix.readReplies = ReadReplies::Foreign;
    } else {
      Fail(entry, "expected memory-failure, bad-check or foreign");
    }
  } else {
    throw FaultError("unknown fault '" + std::string(entry) + "' (known: " + kKnown + ")");
  }
}

SimFaults ParseFaults(std::span<const std::string> entries) {
  SimFaults faults;
  for (const auto& entry : entries) AddFault(faults, entry);
  return faults;
}

SimFaults ParseFaultList(std::string_view list) {
  SimFaults faults;
  if (list.empty()) return faults;
  for (auto entry : Split(list, ',')) {
    if (entry.empty()) throw FaultError("empty fault name in '" + std::string(list) + "'");
    AddFault(faults, entry);
  }
  return faults;
}

}  // namespace vexilo::sim
