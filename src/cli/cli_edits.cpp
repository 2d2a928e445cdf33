#include "cli/cli_edits.h"

#include "image/hex_to_int.h"
#include "image/image_edit.h"

namespace vexilo::cli {
namespace {

app::ImageId ImageOf(const std::string& name) {
  if (name == "flash") return app::ImageId::Flash;
  if (name == "eeprom-int") return app::ImageId::EepromInt;
  return app::ImageId::EepromExt;
}

// "LEFT=RIGHT" split at the first "=".
std::pair<std::string, std::string> Split(const std::string& word, const char* form) {
  const size_t eq = word.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == word.size()) {
    throw image::EditError("\"" + image::ShortenForMessage(word) + "\" is not " + form);
  }
  return {word.substr(0, eq), word.substr(eq + 1)};
}

}  // namespace

bool RunImageEdit(app::Workspace& ws, const Action& action, std::ostream& out) {
  const std::string& verb = action.verb;
  if (verb != "set-bytes" && verb != "fill" && verb != "checksum") return false;
  image::MemoryImage& image = ws.Image(ImageOf(action.args[0]));
  if (verb == "checksum") {
    out << image::ChecksumLine(image) << '\n';
    return true;
  }
  if (verb == "set-bytes") {
    const auto [address, bytes] = Split(action.args[1], "ADDR=BYTES (e.g. 1F0=DEADBEEF)");
    image::MemoryImage changed = image;
    image::SetBytes(changed, image::ParseCellAddress(image, address), image::ParseHexBytes(bytes));
    image = std::move(changed);
    return true;
  }
  const auto [range, value] = Split(action.args[1], "FROM-TO=BYTE (e.g. 0-FFF=FF)");
  const std::vector<uint8_t> byte = image::ParseHexBytes(value);
  if (byte.size() != 1) throw image::EditError("fill takes one byte, not \"" + value + "\"");
  const auto [from, to] = image::ParseCellRange(image, range);
  image::Fill(image, from, to, byte[0]);
  return true;
}

}  // namespace vexilo::cli
