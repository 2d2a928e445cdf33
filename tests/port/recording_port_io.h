#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "port/port_io.h"
#include "port/virtual_clock.h"

namespace vexilo::port::testing {

// A PortIo that records every access and answers reads from a script: queued values per
// port first, then a fixed value per port (0 if none given).
class RecordingPortIo final : public PortIo {
 public:
  struct Access {
    bool out;
    uint16_t port;
    uint8_t value;
    bool operator==(const Access&) const = default;
  };

  uint8_t In(uint16_t port) override {
    ++reads[port];
    if (clock != nullptr) clock->Advance(nsPerRead);
    uint8_t value = fixed.count(port) != 0 ? fixed[port] : 0;
    auto queued = script.find(port);
    if (queued != script.end() && !queued->second.empty()) {
      value = queued->second.front();
      queued->second.pop_front();
    }
    if (record) log.push_back({false, port, value});
    return value;
  }
  void Out(uint16_t port, uint8_t value) override {
    if (record) log.push_back({true, port, value});
  }

  std::vector<Access> Outs() const {
    std::vector<Access> outs;
    for (const Access& a : log) {
      if (a.out) outs.push_back(a);
    }
    return outs;
  }

  std::map<uint16_t, std::deque<uint8_t>> script;
  std::map<uint16_t, uint8_t> fixed;
  std::map<uint16_t, unsigned> reads;
  std::vector<Access> log;
  bool record = true;
  VirtualClock* clock = nullptr;  // moved on by every read when set
  uint64_t nsPerRead = 1000;
};

inline RecordingPortIo::Access In(uint16_t port, uint8_t value) { return {false, port, value}; }
inline RecordingPortIo::Access Out(uint16_t port, uint8_t value) { return {true, port, value}; }

}  // namespace vexilo::port::testing
