#pragma once
#include <string>

namespace vexilo::cli {

// Help text wrapped to `width` columns: a longer line breaks between words, and its rest goes
// on under the line's description column (the text after the first run of two spaces past
// the indent), or under its indent when it has none.
std::string WrapHelp(const std::string& text, size_t width = 80);

}  // namespace vexilo::cli
