#include "received_text.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t kTailBytes = 50;

}  // namespace

std::string ReceivedTail(const CDownManager& download, size_t size) {
    std::string tail(size, '\0');
    tail.resize(download.CopyTail(tail.data(), size));
    return tail;
}

bool TailHoldsEndTag(const CDownManager& download) {
    if (download.GetDownLength() <= static_cast<int64_t>(kTailBytes)) {
        return false;
    }
    std::string tail = ReceivedTail(download, kTailBytes);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail.find("</html>") != std::string::npos;
}

std::vector<char> CopyReceived(const CDownManager& download) {
    // More bytes may arrive while copying; a copy that fills the buffer may
    // have lost the answer's beginning, so it is taken again with more room.
    size_t room = static_cast<size_t>(std::max<int64_t>(download.GetDownLength(), 0)) + 4096;
    std::vector<char> data;
    for (;;) {
        data.resize(room + 1);
        const size_t copied = download.CopyTail(data.data(), room);
        if (copied < room || room > static_cast<size_t>(CDownManager::kMaxResponseBytes)) {
            data.resize(copied + 1);
            data[copied] = '\0';
            return data;
        }
        room *= 2;
    }
}
