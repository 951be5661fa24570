// What a transfer has received so far. Some sites keep the connection open
// after the answer, so its end is recognised from its last bytes before the
// transfer completes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "netfetch.h"

// The last `size` bytes received (fewer when fewer arrived).
std::string ReceivedTail(const CDownManager& download, size_t size);

// More than 50 bytes arrived and the last 50, in lower case, hold "</html>".
bool TailHoldsEndTag(const CDownManager& download);

// Every byte received so far, followed by a zero that is not counted in the
// answer's size() - 1.
std::vector<char> CopyReceived(const CDownManager& download);
