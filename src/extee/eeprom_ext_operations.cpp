// Reading, verifying and writing the card's 24Cxx through its card loader, block by block.
#include <algorithm>
#include <vector>

#include "extee/ext_operation.h"
#include "extee/extee_operations.h"

namespace vexilo::extee {
namespace {

constexpr uint8_t kBlankByte = 0xFF;

// The first address from `first` on where the card's bytes differ from the image.
std::optional<uint32_t> FirstDifference(std::span<const uint8_t> card, uint32_t first,
                                        const image::MemoryImage& image) {
  for (uint32_t i = 0; i < card.size(); ++i) {
    if (card[i] != ExtOperation::ImageByte(image, first + i)) return first + i;
  }
  return std::nullopt;
}

std::vector<uint8_t> ImageBlock(const image::MemoryImage& image, uint32_t first, uint32_t length) {
  std::vector<uint8_t> block(length);
  for (uint32_t i = 0; i < length; ++i) block[i] = ExtOperation::ImageByte(image, first + i);
  return block;
}

// Reads blocks into `buffer` from address 0 on; after each block `check` may end the loop
// (it reports why itself). True when every block came in and passed.
template <typename Check>
bool ReadBlocks(ExtOperation& op, const BlockCommand& command, std::span<uint8_t> buffer,
                Check check) {
  std::vector<uint8_t> trailing(command.trailingBytes);
  for (uint32_t address = 0; address < buffer.size(); address += command.dataBytes) {
    if (op.StopRequested()) return false;
    const std::span<uint8_t> block = buffer.subspan(address, command.dataBytes);
    const BlockResult result =
        ReadBlock(op.Link(), command, static_cast<uint16_t>(address), block, trailing);
    if (result != BlockResult::Done) {
      op.BlockFailed(result);
      return false;
    }
    if (!op.ReplyFits(address, block, trailing)) return false;
    if (!check(address, std::span<const uint8_t>(block))) return false;
    op.BlockDone(address, command.dataBytes);
    op.PauseAfterBlock();
  }
  return true;
}

}  // namespace

void ReadEepromExt(ExtEepromContext& ctx, LoaderFamily loader, uint32_t bytes,
                   image::MemoryImage& eepromExt) {
  ExtOperation op(ctx, loader, Operation::Read, bytes);
  if (!op.Open(true)) return;
  std::vector<uint8_t> buffer(op.Bytes(), kBlankByte);
  const bool complete = ReadBlocks(op, op.Row().command, buffer,
                                   [](uint32_t, std::span<const uint8_t>) { return true; });
  // The image changes only once the whole memory is in: a failed or stopped read keeps it.
  if (complete) {
    image::MemoryImage read(image::ImageKind::Eeprom, op.Bytes());
    for (uint32_t address = 0; address < op.Bytes(); ++address) {
      read.SetByte(address, buffer[address]);
    }
    eepromExt = std::move(read);
  }
  op.Line("STOP");
}

void VerifyEepromExt(ExtEepromContext& ctx, LoaderFamily loader, uint32_t bytes,
                     const image::MemoryImage& eepromExt) {
  ExtOperation op(ctx, loader, Operation::Verify, bytes);
  if (!op.Open(true)) return;
  std::vector<uint8_t> buffer(op.Bytes(), kBlankByte);
  const bool perBlock = !op.Row().comparesAfterWholeRead;
  const bool complete = ReadBlocks(
      op, op.Row().command, buffer, [&](uint32_t address, std::span<const uint8_t> block) {
        if (!perBlock) return true;
        const auto difference = FirstDifference(block, address, eepromExt);
        if (difference) op.DifferenceAt(*difference);
        return !difference;
      });
  if (complete && !perBlock) {
    if (const auto difference = FirstDifference(buffer, 0, eepromExt)) op.DifferenceAt(*difference);
  }
  if (ctx.errorFlag == 0) op.Line("OK");
  op.Line("STOP");
}

void WriteEepromExt(ExtEepromContext& ctx, LoaderFamily loader, uint32_t bytes,
                    const image::MemoryImage& eepromExt, bool ask) {
  ExtOperation op(ctx, loader, Operation::Write, bytes);
  if (!op.Open(ask)) return;
  const BlockCommand& command = op.Row().command;
  const bool readsBack = op.Row().readsBack && ctx.ver_eeprom;
  const BlockCommand& readBack = RowFor(loader, Operation::Read).command;
  std::vector<uint8_t> card(readBack.dataBytes);

  bool written = true;
  for (uint32_t address = 0; address < op.Bytes(); address += command.dataBytes) {
    if (op.StopRequested()) {
      written = false;
      break;
    }
    const auto block = ImageBlock(eepromExt, address, command.dataBytes);
    const auto blockAddress = static_cast<uint16_t>(address);
    BlockResult result = WriteBlock(op.Link(), command, blockAddress, block);
    if (result == BlockResult::Done) {
      op.PauseAfterBlock();
      if (readsBack) result = ReadBlock(op.Link(), readBack, blockAddress, card);
    }
    if (result != BlockResult::Done) {
      op.BlockFailed(result);
      written = false;
      break;
    }
    if (readsBack) {
      if (const auto difference = FirstDifference(card, address, eepromExt)) {
        op.DifferenceAt(*difference);
        written = false;
        break;
      }
      op.PauseAfterBlock();
    }
    op.BlockDone(address, command.dataBytes);
  }
  // The PIC16F84 loader's replies to a write are not known to mean anything, so what it
  // wrote is read back (procedure byte checked) and the first difference reported.
  if (written && op.Row().readsAllBackAfterWrite) {
    std::vector<uint8_t> buffer(op.Bytes(), kBlankByte);
    ReadBlocks(op, readBack, buffer, [&](uint32_t address, std::span<const uint8_t> block) {
      const auto difference = FirstDifference(block, address, eepromExt);
      if (difference) op.DifferenceAt(*difference);
      return !difference;
    });
  }
  if (!op.Row().logsResult) return;
  if (ctx.errorFlag == 0) op.Line("OK");
  op.Line("STOP");
}

}  // namespace vexilo::extee
