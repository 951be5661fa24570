// Whether a downloaded body is a torrent file worth keeping. Sites answer
// with error texts, login pages and cut-off transfers as readily as with the
// file, and some of those begin with "d" too.
#pragma once

#include <string_view>

// True exactly when the whole body is one well-formed bencoded dictionary
// that holds an `info` dictionary. Nesting depth is unbounded (checked
// without recursion); dictionary keys need not be sorted.
bool IsWellFormedTorrent(std::string_view bytes);
