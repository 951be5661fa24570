// Site texts on a terminal. Titles come from web pages anyone can write; a
// control character in one would move the cursor, rewrite earlier lines or
// change the terminal's state, and a tab or line break would split the
// row's columns.
#pragma once

#include <string>
#include <string_view>

namespace cli {

// The text with every control character shown as an escape: \t, \r and \n
// by name, the other C0 characters and DEL as \xHH, the C1 characters
// (U+0080 to U+009F) as \u00HH, and bytes that are not UTF-8 as \xHH.
std::string TerminalText(std::string_view text);

}  // namespace cli
