// The PIC cards' chip on gpsim's library: the PIC16F84 and PIC16F876 cores as gpsim has them.
#include <gpsim/eeprom.h>
#include <gpsim/gpsim_time.h>
#include <gpsim/interface.h>
#include <gpsim/pic-processor.h>
#include <gpsim/stimuli.h>

#include <stdexcept>

#include "chip_core.h"

namespace vexilo::isacard {
namespace {

constexpr double kCardClockHz = 3579545.0;
constexpr unsigned kConfigAddress = 0x2007;
constexpr unsigned kErasedWord = 0x3FFF;

// Package pin of a port pin: PIC16F84 in its 18-pin package, PIC16F876 in its 28-pin one.
unsigned PackagePin(const std::string& processor, PinName pin) {
  if (processor == "p16f84") {
    if (pin.port == 'B') return 6u + pin.bit;
    if (pin.port == 'A' && pin.bit <= 1) return 17u + pin.bit;
    if (pin.port == 'A' && pin.bit <= 4) return pin.bit - 1u;
  } else {
    if (pin.port == 'B') return 21u + pin.bit;
    if (pin.port == 'C') return 11u + pin.bit;
    if (pin.port == 'A' && pin.bit <= 5) return 2u + pin.bit;
  }
  throw std::invalid_argument("the " + processor + " has no pin R" + std::string(1, pin.port) +
                              std::to_string(pin.bit));
}

// The oscillator bits FOSC1:FOSC0 of the configuration word: LP 00, XT 01, HS 10, RC 11. The
// card's 3.58 MHz clock comes in on OSC1 as an external clock, which the XT and HS modes take;
// in RC mode the pin expects a resistor and capacitor and in LP mode an amplifier built for
// 200 kHz crystals: the chip does not run on the card.
bool RunsOnCardClock(uint32_t config) {
  const uint32_t fosc = config & 0x3;
  return fosc == 0x1 || fosc == 0x2;
}

class PicCore final : public ChipCore {
 public:
  PicCore(const std::string& processor, const PinName pins[3]) {
    initialize_gpsim_core();
    ProcessorConstructor* maker = ProcessorConstructorList::findByType(processor.c_str());
    if (!maker) throw std::invalid_argument("gpsim has no processor " + processor);
    cpu_ = dynamic_cast<pic_processor*>(maker->ConstructProcessor("card"));
    if (!cpu_) throw std::invalid_argument("gpsim could not build " + processor);
    cpu_->set_frequency(kCardClockHz);
    for (int i = 0; i < 3; ++i) {
      pins_[i] = cpu_->get_pin(PackagePin(processor, pins[i]));
      if (!pins_[i]) throw std::invalid_argument("gpsim has no such pin on " + processor);
    }
    words_ = cpu_->program_memory_size();
  }

  uint32_t ClocksPerCycle() const override { return 4; }

  void Start(const std::vector<uint8_t>& program, const std::vector<uint8_t>& eeprom,
             uint32_t config) override {
    for (unsigned w = 0; w < words_; ++w) {
      unsigned word = kErasedWord;
      if (2 * w + 1 < program.size()) word = (program[2 * w + 1] << 8 | program[2 * w]) & 0x3FFF;
      cpu_->Processor::init_program_memory(w, word);
    }
    if (EEPROM* ee = cpu_->get_eeprom()) {
      for (unsigned i = 0; i < ee->get_rom_size(); ++i) {
        ee->change_rom(i, i < eeprom.size() ? eeprom[i] : 0xFF);
      }
    }
    const uint32_t word = config == kNoConfigWord ? kErasedWord : config & 0x3FFF;
    cpu_->set_config_word(kConfigAddress, word);
    cpu_->reset(POR_RESET);
    start_ = get_cycles().get();
    running_ = RunsOnCardClock(word);
    fresh_ = true;
  }

  void Stop() override { running_ = false; }
  bool Running() const override { return running_; }
  uint64_t Cycle() const override { return get_cycles().get() - start_; }
  void Step() override {
    cpu_->step(1, false);
    Apply();
  }

  uint8_t Drive() const override {
    uint8_t drive = 0;
    for (int i = 0; i < 3; ++i) {
      const bool low = pins_[i]->getDriving() && !pins_[i]->getDrivingState();
      if (!low) drive |= uint8_t(1u << i);
    }
    return drive;
  }

  void SetOutside(uint8_t levels) override {
    outside_ = levels;
    Apply();
  }

 private:
  // Each pin reads the wired AND of the outside's level and the chip's own drive; gpsim takes
  // a level from outside as a forced driven state. gpsim may recompute a pin's state from its
  // port (after a reset, or when the direction changes), so a level that does not read back is
  // forced again.
  void Apply() {
    const uint8_t drive = Drive();
    const uint8_t levels = outside_ & drive;
    for (int i = 0; i < 3; ++i) {
      const bool level = (levels >> i) & 1;
      if (fresh_ || pins_[i]->getForcedDrivenState() != (level ? '1' : '0') ||
          pins_[i]->getState() != level) {
        pins_[i]->forceDrivenState(level ? '0' : '1');
        pins_[i]->forceDrivenState(level ? '1' : '0');
      }
    }
    applied_ = drive;
    fresh_ = false;
  }

  static constexpr uint32_t kNoConfigWord = 0xFFFFFFFF;
  pic_processor* cpu_ = nullptr;
  IOPIN* pins_[3]{};
  unsigned words_ = 0;
  uint64_t start_ = 0;
  bool running_ = false;
  bool fresh_ = true;
  uint8_t outside_ = 0x07;
  uint8_t applied_ = 0x07;
};

}  // namespace

std::unique_ptr<ChipCore> MakePicCore(const std::string& processor, const PinName pins[3]) {
  if (processor != "p16f84" && processor != "p16f876") {
    throw std::invalid_argument("no PIC core " + processor + " (p16f84, p16f876)");
  }
  return std::make_unique<PicCore>(processor, pins);
}

}  // namespace vexilo::isacard
