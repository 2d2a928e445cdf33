#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "port/ftdi/ftdi_calls.h"
#include "sim/backend/sim_backend.h"
#include "sim/ftdi/ft232r.h"
#include "sim/ftdi/sim_usb_bus.h"

namespace vexilo::sim {

// The real libftdi on a simulated USB bus: FT232R models, one of them cabled to the simulated
// machine's card adapter, answering libftdi's libusb calls. So the FTDI backend runs, and is
// timed, end to end through libftdi against the simulated cards.
class SimFtdiCalls final : public port::FtdiCalls {
 public:
  explicit SimFtdiCalls(SimBackend& sim, SimFtdiOptions options = {});
  ~SimFtdiCalls() override;

  int FindAll(std::vector<port::FtdiDeviceInfo>& devices) override {
    return library_->FindAll(devices);
  }
  int OpenString(const std::string& description) override {
    return library_->OpenString(description);
  }
  int Close() override { return library_->Close(); }
  int SetBitmode(uint8_t outputs, uint8_t mode) override {
    return library_->SetBitmode(outputs, mode);
  }
  int SetBaudrate(int baud) override { return library_->SetBaudrate(baud); }
  int SetLatencyTimer(uint8_t ms) override { return library_->SetLatencyTimer(ms); }
  int SetLineProperty(int bits, int stopBits, int parity, bool breakOn) override {
    return library_->SetLineProperty(bits, stopBits, parity, breakOn);
  }
  int SetDtrRts(bool dtr, bool rts) override { return library_->SetDtrRts(dtr, rts); }
  int PollModemStatus(uint16_t& status) override { return library_->PollModemStatus(status); }
  int Purge() override { return library_->Purge(); }
  int PurgeReceived() override { return library_->PurgeReceived(); }
  int WriteData(const uint8_t* data, int size) override { return library_->WriteData(data, size); }
  int ReadData(uint8_t* data, int size) override { return library_->ReadData(data, size); }
  int SetReadChunkSize(int bytes) override { return library_->SetReadChunkSize(bytes); }
  int Exchange(const uint8_t* out, uint8_t* in, int size) override {
    ++exchanges_;
    return library_->Exchange(out, in, size);
  }
  std::string ErrorString() const override { return library_->ErrorString(); }

  // The chip of device `index` (in the order of the options).
  Ft232r& Chip(size_t index = 0) { return bus_.Chip(index); }
  // Transfers that reached a device since construction.
  uint64_t Transfers() const { return bus_.Transfers(); }
  // Bit-bang exchanges made since construction.
  uint64_t Exchanges() const { return exchanges_; }
  // Pulls device `index` off the bus now.
  void Unplug(size_t index = 0) { bus_.Unplug(index); }

 private:
  SimUsbBus bus_;
  std::unique_ptr<port::FtdiCalls> library_;
  uint64_t exchanges_ = 0;
};

}  // namespace vexilo::sim
