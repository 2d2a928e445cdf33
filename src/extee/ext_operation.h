#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "extee/extee_operations.h"
#include "extee/loader_rows.h"
#include "extee/phoenix_link.h"
#include "port/operation_log.h"

namespace vexilo::extee {

// One external EEPROM operation from the question to the closing of its session: the
// opening steps, the log lines, progress and address label, the stop request and the error
// flag. The session closes when the object goes out of scope.
class ExtOperation {
 public:
  ExtOperation(ExtEepromContext& ctx, LoaderFamily loader, Operation operation, uint32_t bytes);
  ExtOperation(const ExtOperation&) = delete;
  ExtOperation& operator=(const ExtOperation&) = delete;

  // Question (when `ask`), mode switch and settling pause, open, START, card reset and ATR.
  // True when the loader answered and the transfer may run.
  bool Open(bool ask);

  const OperationRow& Row() const { return row_; }
  uint32_t Bytes() const { return bytes_; }
  PhoenixLink& Link() { return link_; }

  void Line(const char* state);
  // The pause after each block.
  void PauseAfterBlock();
  // The address label shows the block's last byte, the progress bar the bytes done.
  void BlockDone(uint32_t firstAddress, uint32_t length);

  // Ends the transfer when the person asked for it: the request cleared, "STOPPED" in red.
  bool StopRequested();
  // The red line of a block that failed; every one sets the error flag.
  void BlockFailed(BlockResult result);
  void DifferenceAt(uint32_t address);
  // What closed a read block, checked by the convention of this program's loaders: two status
  // bytes where an ISO 7816 error (SW1 6x other than 61) says the loader could not read its
  // 24Cxx, or the PIC16F876 loader's check byte, the exclusive-or of the data. A loader whose
  // first block follows neither is taken as another's: said once, and not checked. False (red
  // line, error flag): the block is not to be taken.
  bool ReplyFits(uint32_t address, std::span<const uint8_t> data,
                 std::span<const uint8_t> trailing);

  // A cell of the image, 0xFF beyond its end.
  static uint8_t ImageByte(const image::MemoryImage& image, uint32_t address);

 private:
  void Error(const std::string& name, const std::string& state);
  void LogAtr(const PhoenixLink::Atr& atr);

  ExtEepromContext& ctx_;
  port::OperationContext portCtx_;
  const LoaderRow& loader_;
  const OperationRow& row_;
  uint32_t bytes_;
  port::OperationLog log_;
  port::OperationLog reportLog_;  // under the name of the ACK ERROR and ERROR ADR lines
  PhoenixLink link_;
  std::optional<port::SessionGuard> guard_;
  enum class Replies { Unknown, Checked, Unchecked } replies_ = Replies::Unknown;
};

}  // namespace vexilo::extee
