// vexilo-isa-card: runs one card chip on an instruction-set simulator for the simulator's ISA
// card, exchanging timed pin edges over stdin and stdout (the protocol: src/sim/isa/isa_wire.h).
//
//   vexilo-isa-card CORE IO SDA SCL
//     CORE: atmega16 (simavr) or p16f84, p16f876 (gpsim); IO, SDA, SCL: pins such as PB6.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "chip_core.h"
#include "sim/isa/isa_wire.h"

namespace vexilo::isacard {
namespace {

namespace wire = vexilo::sim::isa;

// Buffered reads and writes on a file descriptor; the process ends when the other side has
// gone (nothing is left to simulate for).
class Channel {
 public:
  void Take(void* out, size_t n) {
    auto* p = static_cast<uint8_t*>(out);
    while (n) {
      if (inPos_ == inLen_) Fill();
      const size_t k = std::min(n, inLen_ - inPos_);
      std::memcpy(p, in_ + inPos_, k);
      inPos_ += k;
      p += k;
      n -= k;
    }
  }
  template <typename T>
  T Get() {
    T value;
    Take(&value, sizeof value);
    return value;
  }
  void Put(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), p, p + n);
  }
  template <typename T>
  void Put(T value) {
    Put(&value, sizeof value);
  }
  // The simulator libraries print notes on stdout: the replies go to a copy of it, and stdout
  // itself is pointed at stderr.
  void TakeStdout() {
    outFd_ = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
  }
  void Flush() {
    size_t done = 0;
    while (done < out_.size()) {
      const ssize_t k = write(outFd_, out_.data() + done, out_.size() - done);
      if (k <= 0) _exit(0);
      done += size_t(k);
    }
    out_.clear();
  }

 private:
  void Fill() {
    Flush();  // the other side answers only what it has seen
    const ssize_t k = read(STDIN_FILENO, in_, sizeof in_);
    if (k <= 0) _exit(0);
    inPos_ = 0;
    inLen_ = size_t(k);
  }
  uint8_t in_[65536];
  size_t inPos_ = 0;
  size_t inLen_ = 0;
  std::vector<uint8_t> out_;
  int outFd_ = STDOUT_FILENO;
};

PinName ParsePin(const std::string& text) {
  if (text.size() != 3 || (text[0] != 'P' && text[0] != 'R') || text[1] < 'A' || text[1] > 'E' ||
      text[2] < '0' || text[2] > '7') {
    throw std::invalid_argument("not a port pin: " + text + " (e.g. PB6 or RB7)");
  }
  return {text[1], uint8_t(text[2] - '0')};
}

std::vector<uint8_t> Bytes(Channel& ch) {
  std::vector<uint8_t> bytes(ch.Get<uint32_t>());
  if (!bytes.empty()) ch.Take(bytes.data(), bytes.size());
  return bytes;
}

struct Input {
  uint64_t cycle;
  uint8_t pin;
  uint8_t level;
};

int Serve(ChipCore& core, Channel& ch) {
  std::vector<uint8_t> program, eeprom;
  uint32_t config = wire::kNoConfig;
  std::deque<Input> inputs;
  uint8_t outside = wire::kAllReleased;
  uint8_t drive = wire::kAllReleased;
  std::deque<uint8_t> script;  // the 24Cxx's SDA at the next SCL falls
  bool hold = false;
  auto setOutside = [&](uint8_t pin, bool level) {
    outside = uint8_t(level ? outside | (1u << pin) : outside & ~(1u << pin));
  };
  auto applyDue = [&] {
    while (!inputs.empty() && inputs.front().cycle <= core.Cycle()) {
      const Input in = inputs.front();
      inputs.pop_front();
      outside = uint8_t(in.level ? outside | (1u << in.pin) : outside & ~(1u << in.pin));
      core.SetOutside(outside);
    }
  };
  for (;;) {
    switch (ch.Get<char>()) {
      case wire::msg::kProgram:
        program = Bytes(ch);
        eeprom = Bytes(ch);
        config = ch.Get<uint32_t>();
        break;
      case wire::msg::kSdaScript: {
        script.resize(ch.Get<uint8_t>());
        for (auto& level : script) level = ch.Get<uint8_t>();
        hold = ch.Get<uint8_t>() != 0;
        break;
      }
      case wire::msg::kHold:
        core.Stop();
        inputs.clear();
        script.clear();
        hold = false;
        drive = wire::kAllReleased;
        break;
      case wire::msg::kGo:
        inputs.clear();
        script.clear();
        hold = false;
        core.Start(program, eeprom, config);
        core.SetOutside(outside);
        drive = core.Running() ? core.Drive() : wire::kAllReleased;
        break;
      case wire::msg::kInput: {
        Input in{};
        in.cycle = ch.Get<uint64_t>();
        in.pin = ch.Get<uint8_t>();
        in.level = ch.Get<uint8_t>() ? 1 : 0;
        if (in.pin >= wire::kPinCount) break;
        if (!core.Running()) {
          outside = uint8_t(in.level ? outside | (1u << in.pin) : outside & ~(1u << in.pin));
        } else {
          inputs.push_back(in);
        }
        break;
      }
      case wire::msg::kRun: {
        const uint64_t until = ch.Get<uint64_t>();
        bool edge = false;
        while (core.Running() && core.Cycle() < until) {
          applyDue();
          core.SkipIdle(inputs.empty() ? until : std::min(until, inputs.front().cycle));
          core.Step();
          const uint8_t now = core.Drive();
          if (now != drive) {
            bool stop = wire::StartOrStop(drive, now);
            if (wire::SclFalls(drive, now)) {
              if (!script.empty()) {
                setOutside(wire::kPinSda, script.front() != 0);
                core.SetOutside(outside);
                script.pop_front();
              } else if (!hold) {
                stop = true;
              }
            }
            if (stop) {
              script.clear();
              hold = false;
            }
            drive = now;
            ch.Put(stop ? wire::msg::kEdge : wire::msg::kEdgeOn);
            ch.Put<uint64_t>(core.Cycle());
            ch.Put<uint8_t>(drive);
            if (stop) {
              edge = true;
              break;
            }
          }
        }
        if (!edge) {
          if (core.Running()) applyDue();
          ch.Put(wire::msg::kDone);
          ch.Put<uint64_t>(core.Running() ? core.Cycle() : until);
        }
        break;
      }
      case wire::msg::kQuit:
        ch.Flush();
        return 0;
      default:
        throw std::runtime_error("unknown request");
    }
  }
}

}  // namespace
}  // namespace vexilo::isacard

int main(int argc, char** argv) {
  using namespace vexilo::isacard;
  static Channel ch;
  ch.TakeStdout();
  try {
    if (argc != 5) throw std::invalid_argument("usage: vexilo-isa-card CORE IO SDA SCL");
    const std::string name = argv[1];
    const PinName pins[3] = {ParsePin(argv[2]), ParsePin(argv[3]), ParsePin(argv[4])};
    std::unique_ptr<ChipCore> core =
        name.rfind("p16", 0) == 0 ? MakePicCore(name, pins) : MakeAvrCore(name, pins);
    ch.Put(wire::msg::kHello);
    ch.Put<uint32_t>(wire::kWireVersion);
    ch.Put<uint32_t>(3579545);
    ch.Put<uint32_t>(core->ClocksPerCycle());
    ch.Flush();
    return Serve(*core, ch);
  } catch (const std::exception& e) {
    const std::string text = e.what();
    ch.Put(wire::msg::kError);
    ch.Put<uint32_t>(uint32_t(text.size()));
    ch.Put(text.data(), text.size());
    ch.Flush();
    std::fprintf(stderr, "vexilo-isa-card: %s\n", e.what());
    return 1;
  }
}
