#include "torrent_check.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view kInfoKey = "info";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

class BencodeReader {
  public:
    explicit BencodeReader(std::string_view bytes) : bytes_(bytes) {}

    bool AtEnd() const { return pos_ >= bytes_.size(); }
    char Peek() const { return bytes_[pos_]; }
    void Skip() { ++pos_; }

    // <length>:<bytes>, the length without leading zeros.
    bool ReadString(std::string_view& out) {
        const size_t start = pos_;
        size_t length = 0;
        while (!AtEnd() && IsDigit(Peek())) {
            // Longer than the body at any rate; stopping here keeps the
            // value from overflowing.
            if (length > bytes_.size() / 10) {
                return false;
            }
            length = length * 10 + static_cast<size_t>(Peek() - '0');
            Skip();
        }
        const size_t digits = pos_ - start;
        if (digits == 0 || (digits > 1 && bytes_[start] == '0') || AtEnd() || Peek() != ':') {
            return false;
        }
        Skip();
        if (length > bytes_.size() - pos_) {
            return false;
        }
        out = bytes_.substr(pos_, length);
        pos_ += length;
        return true;
    }

    // i<integer>e: an optional minus, no leading zeros, no "-0".
    bool ReadInteger() {
        Skip();
        const bool negative = !AtEnd() && Peek() == '-';
        if (negative) {
            Skip();
        }
        const size_t start = pos_;
        while (!AtEnd() && IsDigit(Peek())) {
            Skip();
        }
        const size_t digits = pos_ - start;
        if (digits == 0 || (bytes_[start] == '0' && (digits > 1 || negative)) || AtEnd() ||
            Peek() != 'e') {
            return false;
        }
        Skip();
        return true;
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

struct Container {
    bool dictionary;
    bool wantKey;  // dictionaries: the next item is a key
};

}  // namespace

bool IsWellFormedTorrent(std::string_view bytes) {
    if (bytes.empty() || bytes.front() != 'd') {
        return false;
    }
    BencodeReader reader(bytes);
    std::vector<Container> open;
    bool infoIsDictionary = false;
    bool valueOfInfo = false;  // the next value belongs to the outer "info" key
    // A finished value makes its dictionary expect a key again.
    const auto valueDone = [&open] {
        if (!open.empty() && open.back().dictionary) {
            open.back().wantKey = true;
        }
    };
    do {
        if (reader.AtEnd()) {
            return false;
        }
        if (!open.empty() && reader.Peek() == 'e' &&
            (!open.back().dictionary || open.back().wantKey)) {
            reader.Skip();
            open.pop_back();
            valueDone();
            continue;
        }
        if (!open.empty() && open.back().dictionary && open.back().wantKey) {
            std::string_view key;
            if (!reader.ReadString(key)) {
                return false;
            }
            open.back().wantKey = false;
            valueOfInfo = open.size() == 1 && key == kInfoKey;
            continue;
        }
        const char c = reader.Peek();
        const bool ofInfo = std::exchange(valueOfInfo, false);
        if (c == 'd' || c == 'l') {
            infoIsDictionary = infoIsDictionary || (ofInfo && c == 'd');
            reader.Skip();
            open.push_back({c == 'd', c == 'd'});
        } else if (c == 'i') {
            if (!reader.ReadInteger()) {
                return false;
            }
            valueDone();
        } else {
            std::string_view ignored;
            if (!reader.ReadString(ignored)) {
                return false;
            }
            valueDone();
        }
    } while (!open.empty());
    return reader.AtEnd() && infoIsDictionary;
}
