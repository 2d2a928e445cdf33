#include "sim/pic/pic_serial_chip.h"

#include <cctype>

#include "sim/pic/pic_commands.h"

namespace vexilo::sim {

using namespace pic_command;

PicSerialChip::PicSerialChip(const PicChipTraits& traits, const ChipFaults& faults)
    : traits_(traits),
      timeFactor_(faults.writeTimeFactor > 0 ? faults.writeTimeFactor : 1.0),
      memory_(traits, faults) {}

void PicSerialChip::SetPins(bool control, bool clock, bool data, SimTime now) {
  if (cycle_.kind != CycleKind::kNone && now >= cycle_.doneAt) FinishCycle();
  if (control != mclr_) ChangeMclr(control, clock, data);
  if (inMode_ && clock != clock_) {
    if (clock) {
      shifter_.ClockRise();
    } else {
      switch (shifter_.ClockFall(data)) {
        case PicFrameShifter::Event::kCommand:
          Execute(shifter_.Command(), now);
          break;
        case PicFrameShifter::Event::kDataLoaded:
          latch_ = shifter_.LoadedWord() & kPicWordMask;
          lastLoad_ = frameLoad_;
          break;
        case PicFrameShifter::Event::kNone:
          break;
      }
    }
  }
  clock_ = clock;
  data_ = data;
}

bool PicSerialChip::DataOut(SimTime /*now*/) {
  return shifter_.Driving() ? shifter_.DriveLevel() : data_;
}

std::vector<MemoryRegion> PicSerialChip::Regions() {
  return {{"flash", memory_.Flash()}, {"eeprom", memory_.Eeprom()}, {"config", memory_.Config()}};
}

std::string PicSerialChip::FirmwareFamily() const {
  std::string name = traits_.name;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

bool PicSerialChip::RunsOnCardClock() const {
  // FOSC 01 (XT) or 10 (HS) take the card's clock; LP is too slow for it and RC ignores it.
  // A running watchdog resets a loader that does not clear it.
  const uint16_t config = memory_.ConfigurationWordValue();
  const unsigned oscillator = config & 3u;
  const bool watchdog = (config & 4u) != 0;
  return (oscillator == 1 || oscillator == 2) && !watchdog;
}

void PicSerialChip::ChangeMclr(bool high, bool clock, bool data) {
  mclr_ = high;
  if (!high) {
    LeaveMode();
    return;
  }
  // Program/verify mode is entered by raising MCLR to Vihh while RB6 and RB7 are held low;
  // otherwise the chip starts running its program and ignores RB6/RB7 until MCLR falls.
  inMode_ = !clock && !data;
  address_ = 0;
}

void PicSerialChip::LeaveMode() {
  // Taking MCLR away ends the programming voltage: a running cycle is abandoned and the old
  // contents stay.
  inMode_ = false;
  shifter_.Reset();
  cycle_ = {};
  address_ = 0;
  latch_ = kPicWordMask;
  lastLoad_ = Load::kNone;
  setup_ = Setup::kIdle;
  armedBulkErase_ = 0;
}

void PicSerialChip::Execute(uint8_t command, SimTime now) {
  if ((traits_.commands & Bit(command)) == 0) return;  // not implemented: ignored
  TrackSetupSequence(command);
  switch (command) {
    case kLoadConfiguration:
      address_ = kPicConfigSpace;
      frameLoad_ = Load::kConfig;
      shifter_.ExpectLoad();
      break;
    case kLoadProgramData:
      frameLoad_ = Load::kProgram;
      shifter_.ExpectLoad();
      break;
    case kLoadDataMemory:
      frameLoad_ = Load::kData;
      shifter_.ExpectLoad();
      break;
    case kReadProgramData:
      // Until a running cycle completes, reads return the old contents.
      shifter_.StartRead(memory_.ReadProgramSpace(address_));
      break;
    case kReadDataMemory:
      shifter_.StartRead(memory_.ReadData(address_));
      break;
    case kIncrementAddress:
      // Once in configuration memory the counter stays there until programming mode is left.
      address_ = address_ >= kPicConfigSpace
                     ? static_cast<uint16_t>(kPicConfigSpace | ((address_ + 1) & 0x1FFF))
                     : static_cast<uint16_t>((address_ + 1) & kPicAddressMask);
      break;
    case kBeginEraseProgramming:
      Begin(PicWriteMode::kEraseProgram, now);
      break;
    case kBeginProgrammingOnly:
      Begin(PicWriteMode::kProgramOnly, now);
      break;
    case kBulkEraseProgramMemory:
    case kBulkEraseDataMemory:
      armedBulkErase_ = command;
      break;
    default:
      break;
  }
}

void PicSerialChip::TrackSetupSequence(uint8_t command) {
  // Setup1, Setup2 arm an erase for the next Begin; the Setup1, Setup2 pair sent after the
  // erase time closes the sequence.
  switch (command) {
    case kBulkEraseSetup1:
      setup_ = setup_ == Setup::kRunning ? Setup::kClosing1 : Setup::kSetup1;
      break;
    case kBulkEraseSetup2:
      setup_ = setup_ == Setup::kSetup1 ? Setup::kArmed : Setup::kIdle;
      break;
    case kBeginEraseProgramming:
    case kBeginProgrammingOnly:
      break;
    default:
      if (setup_ == Setup::kSetup1 || setup_ == Setup::kArmed) setup_ = Setup::kIdle;
      if (setup_ == Setup::kClosing1) setup_ = Setup::kRunning;
      break;
  }
}

void PicSerialChip::Begin(PicWriteMode mode, SimTime now) {
  if (cycle_.kind != CycleKind::kNone) return;  // busy with the previous cycle
  if (setup_ == Setup::kArmed) {
    setup_ = Setup::kRunning;
    StartCycle(SetupErase(), traits_.bulkEraseTime, now);
    return;
  }
  if (armedBulkErase_ != 0) {
    const CycleKind kind = ArmedErase();
    armedBulkErase_ = 0;
    StartCycle(kind, traits_.bulkEraseTime, now);
    return;
  }
  cycle_.address = address_;
  cycle_.value = latch_;
  cycle_.mode = mode;
  StartCycle(
      lastLoad_ == Load::kData ? CycleKind::kDataByte : CycleKind::kProgramWord,
      mode == PicWriteMode::kEraseProgram ? traits_.eraseProgramTime : traits_.programOnlyTime,
      now);
}

PicSerialChip::CycleKind PicSerialChip::SetupErase() const {
  // After a Load Data for Data Memory this erases the data EEPROM; with the address counter
  // in configuration memory it is the chip erase that also clears the code protection;
  // otherwise it erases program memory. The bulk erases do not work on a protected device.
  // The chip erase of the programming specifications runs with the counter at the
  // configuration word, 0x2007.
  if (lastLoad_ != Load::kData && address_ == kPicConfigSpace + kPicConfigWordIndex) {
    return CycleKind::kChipErase;
  }
  if (memory_.Protected()) return CycleKind::kNone;
  return lastLoad_ == Load::kData ? CycleKind::kEraseData : CycleKind::kEraseProgram;
}

PicSerialChip::CycleKind PicSerialChip::ArmedErase() const {
  // The bulk erase commands do not work on a code-protected device.
  if (memory_.Protected()) return CycleKind::kNone;
  if (armedBulkErase_ == kBulkEraseDataMemory) return CycleKind::kEraseData;
  // Pointing into configuration memory, the program erase takes the ID locations and the
  // configuration word with it.
  return address_ >= kPicConfigSpace ? CycleKind::kEraseProgramAndConfig : CycleKind::kEraseProgram;
}

void PicSerialChip::StartCycle(CycleKind kind, SimTime duration, SimTime now) {
  if (kind == CycleKind::kNone) return;
  cycle_.kind = kind;
  cycle_.doneAt = now + static_cast<SimTime>(static_cast<double>(duration) * timeFactor_);
}

void PicSerialChip::FinishCycle() {
  ApplyCycle();
  cycle_ = {};
}

void PicSerialChip::ApplyCycle() {
  switch (cycle_.kind) {
    case CycleKind::kProgramWord:
      memory_.WriteProgramSpace(cycle_.address, cycle_.value, cycle_.mode);
      break;
    case CycleKind::kDataByte:
      memory_.WriteData(cycle_.address, static_cast<uint8_t>(cycle_.value), cycle_.mode);
      break;
    case CycleKind::kEraseProgramAndConfig:
      memory_.EraseConfig();
      [[fallthrough]];
    case CycleKind::kEraseProgram:
      memory_.EraseProgram();
      break;
    case CycleKind::kEraseData:
      memory_.EraseData();
      break;
    case CycleKind::kChipErase:
      memory_.EraseProgram();
      memory_.EraseData();
      memory_.EraseConfig();
      break;
    case CycleKind::kNone:
      break;
  }
}

}  // namespace vexilo::sim
