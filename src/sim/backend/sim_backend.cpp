#include "sim/backend/sim_backend.h"

#include <stdexcept>

namespace vexilo::sim {

namespace {

uint16_t BaseFor(int comIndex) {
  if (comIndex < 0 || comIndex >= int(kComBases.size())) {
    throw std::invalid_argument("simulated COM port must be COM1 .. COM4");
  }
  return kComBases[size_t(comIndex)];
}

std::string TtyName(int index) { return "/dev/ttyS" + std::to_string(index); }

}  // namespace

uint8_t SimIo::In(uint16_t port) {
  ++accesses_;
  clock_.Advance(accessNs_);
  const unsigned offset = unsigned(port) - base_;
  return offset < 8 ? uart_.Read(offset, clock_.NowNs()) : 0xFF;
}

void SimIo::Out(uint16_t port, uint8_t value) {
  ++accesses_;
  clock_.Advance(accessNs_);
  const unsigned offset = unsigned(port) - base_;
  if (offset < 8) uart_.Write(offset, value, clock_.NowNs());
}

SimBackend::SimBackend(const SimOptions& options, std::unique_ptr<SimCard> card)
    : clock_(options.yieldNs),
      adapter_(options.mode),
      uart_(&adapter_),
      card_(std::move(card)),
      base_(BaseFor(options.comIndex)),
      io_(clock_, uart_, base_, options.ioAccessNs),
      comm_(clock_, adapter_, TtyName(options.comIndex)) {
  if (!card_) throw std::invalid_argument("simulated backend needs a card");
  adapter_.AttachUart(&uart_);
  adapter_.SetEcho(!options.faults.noEcho);
  SetCardInserted(!options.faults.noCard);
}

SimBackend::~SimBackend() = default;

std::string SimBackend::DeviceForCom(int index) const { return TtyName(index); }

void SimBackend::SetCardInserted(bool inserted) {
  if (inserted) {
    adapter_.InsertCard(card_->Slot(), clock_.NowNs());
  } else {
    adapter_.RemoveCard(clock_.NowNs());
  }
}

}  // namespace vexilo::sim
