#pragma once
#include <cstdint>
#include <optional>

#include "extee/extee_operations.h"

namespace vexilo::extee {

enum class Operation { Read, Verify, Write };

// One loader command as it goes over the IO line: the header 0xC1, INS, address high,
// address low, P3; the procedure byte from the card; the data (to the card for a write,
// from it for a read); then what the card sends to close the command.
struct BlockCommand {
  uint8_t ins;
  uint8_t p3;
  uint8_t dataBytes;
  bool ackChecked;                // the procedure byte must be INS
  unsigned ackPauseMs;            // after the procedure byte, before the data goes out
  bool checkByte;                 // the exclusive-or of the data follows it to the card
  uint8_t trailingBytes;          // read and discarded
  std::optional<uint8_t> status;  // one status byte that must have this value
};

// One of the nine operations (three per loader family): what differs between them.
struct OperationRow {
  LoaderFamily loader;
  Operation operation;
  const char* name;        // the log prefix, "ATMEL READ EEPROM EXT"
  const char* reportName;  // the name its ACK ERROR and ERROR ADR lines carry
  unsigned askPauseMs;     // after the mode switch that follows the question
  unsigned startPauseMs;   // after the START line
  unsigned atrPauseMs;     // after the loader's ATR was recognised
  bool clearsErrorFlag;    // just before the transfer
  BlockCommand command;
  std::optional<unsigned> blockPauseMs;  // after each block; none: TxDelay
  bool comparesAfterWholeRead;           // a verify that reads everything before comparing
  bool logsResult;                       // a write that ends with its OK and STOP lines
  bool readsBack;                        // a write that honours ver_eeprom
  // A write whose replies tell nothing: the whole memory is read back after it with the
  // family's read command and compared.
  bool readsAllBackAfterWrite = false;
};

struct LoaderRow {
  LoaderFamily loader;
  uint8_t atrMark;      // expected at ATR byte 0 or 1
  uint32_t fixedBytes;  // a 24Cxx size the loader always moves; 0: the size buttons decide
};

const LoaderRow& LoaderRowFor(LoaderFamily loader);
const OperationRow& RowFor(LoaderFamily loader, Operation operation);

// The bytes an operation moves for the size buttons' `bytes`; throws std::invalid_argument
// for a size the family does not serve.
uint32_t TransferBytes(LoaderFamily loader, uint32_t bytes);

}  // namespace vexilo::extee
