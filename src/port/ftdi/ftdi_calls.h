#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vexilo::port {

// libftdi's constants that the FTDI backend uses (ftdi.h's values).
namespace ftdi {
constexpr uint16_t kVendorFtdi = 0x0403;
// FTDI's chips with a bit-bang mode, by their product ID.
struct BitBangChip {
  uint16_t product;
  const char* name;
};
inline constexpr BitBangChip kBitBangChips[] = {
    {0x6001, "FT232R/FT245R"}, {0x6010, "FT2232"}, {0x6011, "FT4232H"},
    {0x6014, "FT232H"},        {0x6015, "FT-X"},
};
constexpr uint8_t kBitmodeReset = 0x00;   // BITMODE_RESET: the UART
constexpr uint8_t kBitmodeSyncBb = 0x04;  // BITMODE_SYNCBB: synchronous bit-bang
constexpr int kBits8 = 8;                 // BITS_8
constexpr int kStopBit2 = 2;              // STOP_BIT_2
constexpr int kParityEven = 2;            // EVEN
// ftdi_poll_modem_status: the low byte is the modem status, the high byte the line status.
constexpr uint16_t kModemCts = 0x0010;
constexpr uint16_t kLineDataReady = 0x0100;
constexpr uint16_t kLineTransmitterEmpty = 0x4000;
}  // namespace ftdi

// An FTDI device on the USB bus as a listing shows it.
struct FtdiDeviceInfo {
  uint16_t vendor = 0;
  uint16_t product = 0;
  std::string manufacturer;
  std::string description;
  std::string serial;
  // libftdi's bus-path description of the device, "d:BUS/DEVICE" (ftdi_usb_open_string).
  std::string busPath;
  // The chip type its product ID names ("FT232R/FT245R").
  std::string chip;
};

// The calls of libftdi this program makes, one to one, on one device context. The backend
// runs against the library on a real machine and against a model of the chip in tests and
// in demonstrations. Return values are libftdi's: 0 (or a byte count) on success, negative on
// failure, and ErrorString() says why.
class FtdiCalls {
 public:
  virtual ~FtdiCalls() = default;
  // Every FTDI chip with a bit-bang mode on the bus (ftdi_usb_find_all for each of their
  // product IDs, ftdi_usb_get_strings2).
  virtual int FindAll(std::vector<FtdiDeviceInfo>& devices) = 0;
  // ftdi_usb_open_string: "i:0x0403:0x6001", "s:0x0403:0x6001:SERIAL", "d:BUS/DEVICE" ...
  // Detaches the kernel's ftdi_sio driver from the interface first.
  virtual int OpenString(const std::string& description) = 0;
  virtual int Close() = 0;
  // ftdi_set_bitmode: `outputs` is the mask of pins driven in bit-bang mode.
  virtual int SetBitmode(uint8_t outputs, uint8_t mode) = 0;
  // ftdi_set_baudrate: the UART's rate, or in bit-bang mode the rate pins are updated at.
  virtual int SetBaudrate(int baud) = 0;
  virtual int SetLatencyTimer(uint8_t ms) = 0;
  // ftdi_set_line_property2 (word format and the TX break).
  virtual int SetLineProperty(int bits, int stopBits, int parity, bool breakOn) = 0;
  // ftdi_setdtr_rts: true = asserted.
  virtual int SetDtrRts(bool dtr, bool rts) = 0;
  virtual int PollModemStatus(uint16_t& status) = 0;
  // ftdi_tcioflush: both of the chip's FIFOs and the library's buffer emptied.
  virtual int Purge() = 0;
  // ftdi_tciflush: what the chip received and the library's buffer of it thrown away.
  virtual int PurgeReceived() = 0;
  // ftdi_write_data / ftdi_read_data: UART bytes, or bit-bang bytes written and read back.
  // A read returns what has arrived (possibly 0 bytes) without waiting long.
  virtual int WriteData(const uint8_t* data, int size) = 0;
  virtual int ReadData(uint8_t* data, int size) = 0;
  // ftdi_read_data_set_chunksize: the length of each USB transfer a read asks for. A transfer
  // ends at a short packet (the chip sends one only when its latency timer runs out) or when
  // this many bytes have come, two status bytes in every 64.
  virtual int SetReadChunkSize(int bytes) = 0;
  // Synchronous bit-bang in one go: ftdi_read_data_submit for `size` bytes, then
  // ftdi_write_data_submit of `out`, then ftdi_transfer_data_done on both. The read is on
  // the bus while the bytes go out, so the chip's read-back FIFO never fills and stalls it.
  // `in[k]` holds the pins as they were just before `out[k]` was applied.
  virtual int Exchange(const uint8_t* out, uint8_t* in, int size) = 0;
  // libftdi's error text of the last failed call; empty when the call set none.
  virtual std::string ErrorString() const = 0;
};

}  // namespace vexilo::port
