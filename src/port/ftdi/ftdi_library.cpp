#include "port/ftdi/ftdi_library.h"

#include <ftdi.h>
#include <libusb.h>

#include <cstdio>

namespace vexilo::port {
namespace {

class LibFtdiCalls final : public FtdiCalls {
 public:
  LibFtdiCalls() : ftdi_(ftdi_new()) {}
  ~LibFtdiCalls() override {
    if (ftdi_ == nullptr) return;
    if (open_) ftdi_usb_close(ftdi_);
    ftdi_free(ftdi_);
  }
  LibFtdiCalls(const LibFtdiCalls&) = delete;
  LibFtdiCalls& operator=(const LibFtdiCalls&) = delete;

  int FindAll(std::vector<FtdiDeviceInfo>& devices) override {
    if (ftdi_ == nullptr) return -100;
    // With a vendor ID libftdi matches one product ID exactly: each chip's in turn.
    for (const ftdi::BitBangChip& chip : ftdi::kBitBangChips) {
      Clear();
      ftdi_device_list* list = nullptr;
      const int count = ftdi_usb_find_all(ftdi_, &list, ftdi::kVendorFtdi, chip.product);
      if (count < 0) return count;
      for (ftdi_device_list* d = list; d != nullptr; d = d->next) {
        FtdiDeviceInfo info;
        info.vendor = ftdi::kVendorFtdi;
        info.product = chip.product;
        info.chip = chip.name;
        char manufacturer[128] = "", description[128] = "", serial[128] = "";
        // Without permission the strings cannot be read; the device is still listed.
        if (ftdi_usb_get_strings2(ftdi_, d->dev, manufacturer, sizeof manufacturer, description,
                                  sizeof description, serial, sizeof serial) < 0) {
          manufacturer[0] = description[0] = serial[0] = 0;
        }
        info.manufacturer = manufacturer;
        info.description = description;
        info.serial = serial;
        char path[32];
        std::snprintf(path, sizeof path, "d:%03u/%03u", unsigned{libusb_get_bus_number(d->dev)},
                      unsigned{libusb_get_device_address(d->dev)});
        info.busPath = path;
        devices.push_back(info);
      }
      ftdi_list_free(&list);
    }
    return static_cast<int>(devices.size());
  }

  int OpenString(const std::string& description) override {
    if (ftdi_ == nullptr) return -100;
    Clear();
    ftdi_set_interface(ftdi_, INTERFACE_A);
    const int result = ftdi_usb_open_string(ftdi_, description.c_str());
    open_ = result == 0;
    return result;
  }
  int Close() override {
    if (!open_) return 0;
    open_ = false;
    return ftdi_usb_close(ftdi_);
  }
  int SetBitmode(uint8_t outputs, uint8_t mode) override {
    Clear();
    return ftdi_set_bitmode(ftdi_, outputs, mode);
  }
  int SetBaudrate(int baud) override {
    Clear();
    return ftdi_set_baudrate(ftdi_, baud);
  }
  int SetLatencyTimer(uint8_t ms) override {
    Clear();
    return ftdi_set_latency_timer(ftdi_, ms);
  }
  int SetLineProperty(int bits, int stopBits, int parity, bool breakOn) override {
    Clear();
    return ftdi_set_line_property2(
        ftdi_, static_cast<ftdi_bits_type>(bits), stopBits == 2 ? STOP_BIT_2 : STOP_BIT_1,
        static_cast<ftdi_parity_type>(parity), breakOn ? BREAK_ON : BREAK_OFF);
  }
  int SetDtrRts(bool dtr, bool rts) override {
    Clear();
    return ftdi_setdtr_rts(ftdi_, dtr ? 1 : 0, rts ? 1 : 0);
  }
  int PollModemStatus(uint16_t& status) override {
    unsigned short value = 0;
    Clear();
    const int result = ftdi_poll_modem_status(ftdi_, &value);
    status = value;
    return result;
  }
  int SetReadChunkSize(int bytes) override {
    Clear();
    return ftdi_read_data_set_chunksize(ftdi_, static_cast<unsigned>(bytes));
  }
  int Purge() override {
    Clear();
    return ftdi_tcioflush(ftdi_);
  }
  int PurgeReceived() override {
    Clear();
    return ftdi_tciflush(ftdi_);
  }
  int WriteData(const uint8_t* data, int size) override {
    Clear();
    return ftdi_write_data(ftdi_, data, size);
  }
  int ReadData(uint8_t* data, int size) override {
    Clear();
    return ftdi_read_data(ftdi_, data, size);
  }
  int Exchange(const uint8_t* out, uint8_t* in, int size) override {
    Clear();
    ftdi_transfer_control* read = ftdi_read_data_submit(ftdi_, in, size);
    if (read == nullptr) return -1;
    ftdi_transfer_control* write = ftdi_write_data_submit(ftdi_, const_cast<uint8_t*>(out), size);
    if (write == nullptr) {
      ftdi_transfer_data_cancel(read, nullptr);
      return -1;
    }
    const int written = ftdi_transfer_data_done(write);
    const int got = ftdi_transfer_data_done(read);
    if (written < 0) return written;
    return got;
  }
  std::string ErrorString() const override {
    const char* text = ftdi_ ? ftdi_get_error_string(ftdi_) : "libftdi context not created";
    return text ? text : "";
  }

 private:
  // libftdi sets its error text only where it fails itself and keeps it afterwards: cleared
  // before each call, so that a failure it passes on from libusb is not given an old reason.
  void Clear() {
    if (ftdi_ != nullptr) ftdi_->error_str = nullptr;
  }

  ftdi_context* ftdi_;
  bool open_ = false;
};

}  // namespace

std::unique_ptr<FtdiCalls> MakeLibFtdiCalls() { return std::make_unique<LibFtdiCalls>(); }

}  // namespace vexilo::port
