#include "cli/cli_help.h"

#include <sstream>

namespace vexilo::cli {
namespace {

size_t DescriptionColumn(const std::string& line) {
  const size_t indent = line.find_first_not_of(' ');
  if (indent == std::string::npos) return 0;
  const size_t gap = line.find("  ", indent);
  if (gap == std::string::npos) return indent;
  const size_t text = line.find_first_not_of(' ', gap);
  return text == std::string::npos ? indent : text;
}

}  // namespace

std::string WrapHelp(const std::string& text, size_t width) {
  std::istringstream in(text);
  std::string out, line;
  while (std::getline(in, line)) {
    const size_t column = DescriptionColumn(line);
    const std::string hang(column < width / 2 ? column : width / 2, ' ');
    while (line.size() > width) {
      size_t cut = line.rfind(' ', width);
      if (cut == std::string::npos || cut <= hang.size()) cut = line.find(' ', width);
      if (cut == std::string::npos) break;
      std::string head = line.substr(0, cut);
      while (!head.empty() && head.back() == ' ') head.pop_back();
      out += head + '\n';
      line = hang + line.substr(line.find_first_not_of(' ', cut));
    }
    out += line + '\n';
  }
  if (!text.empty() && text.back() != '\n' && !out.empty()) out.pop_back();
  return out;
}

}  // namespace vexilo::cli
