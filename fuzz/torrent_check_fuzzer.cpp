// The torrent check: arbitrary bytes, compared with a plain recursive
// reading of bencode (integers and lengths without leading zeros, no "-0",
// keys in any order, "info" counted in the outer dictionary only).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "torrent_check.h"

namespace {

class ReferenceReader {
  public:
    explicit ReferenceReader(std::string_view bytes) : bytes_(bytes) {}

    // One dictionary and nothing after it, holding "info" as a dictionary;
    // nothing when the nesting is too deep for this recursive reading.
    std::optional<bool> IsTorrent() {
        bool hasInfo = false;
        const bool read = Peek() == 'd' && Dictionary(1, &hasInfo);
        if (tooDeep_) {
            return std::nullopt;
        }
        return read && pos_ == bytes_.size() && hasInfo;
    }

  private:
    char Peek() const { return pos_ < bytes_.size() ? bytes_[pos_] : '\0'; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    // Digits without a leading zero (a lone "0" aside), as their value;
    // false when there are none or they run past any length the text can hold.
    bool Digits(size_t& value) {
        const size_t start = pos_;
        value = 0;
        while (IsDigit(Peek())) {
            if (value > bytes_.size()) {
                return false;
            }
            value = value * 10 + static_cast<size_t>(Peek() - '0');
            ++pos_;
        }
        const size_t count = pos_ - start;
        return count == 1 || (count > 1 && bytes_[start] != '0');
    }

    bool Integer() {
        ++pos_;  // 'i'
        const bool negative = Peek() == '-';
        if (negative) {
            ++pos_;
        }
        const size_t start = pos_;
        while (IsDigit(Peek())) {
            ++pos_;
        }
        const size_t count = pos_ - start;
        if (count == 0 || (count > 1 && bytes_[start] == '0') ||
            (negative && bytes_[start] == '0') || Peek() != 'e') {
            return false;
        }
        ++pos_;
        return true;
    }

    bool String(std::string_view* text) {
        size_t length = 0;
        if (!Digits(length) || Peek() != ':' || bytes_.size() - pos_ - 1 < length) {
            return false;
        }
        ++pos_;
        if (text != nullptr) {
            *text = bytes_.substr(pos_, length);
        }
        pos_ += length;
        return true;
    }

    bool Value(int depth, bool* isDictionary) {
        if (depth > kMaxDepth) {
            tooDeep_ = true;
            return false;
        }
        switch (Peek()) {
            case 'i':
                return Integer();
            case 'l':
                ++pos_;
                while (Peek() != 'e') {
                    if (!Value(depth + 1, nullptr)) {
                        return false;
                    }
                }
                ++pos_;
                return true;
            case 'd':
                if (isDictionary != nullptr) {
                    *isDictionary = true;
                }
                return Dictionary(depth, nullptr);
            default:
                return IsDigit(Peek()) && String(nullptr);
        }
    }

    bool Dictionary(int depth, bool* hasInfo) {
        ++pos_;  // 'd'
        while (Peek() != 'e') {
            std::string_view key;
            if (!IsDigit(Peek()) || !String(&key)) {
                return false;
            }
            bool isDictionary = false;
            if (!Value(depth + 1, &isDictionary)) {
                return false;
            }
            if (hasInfo != nullptr && key == "info" && isDictionary) {
                *hasInfo = true;
            }
        }
        ++pos_;
        return true;
    }

    static constexpr int kMaxDepth = 2000;
    std::string_view bytes_;
    size_t pos_ = 0;
    bool tooDeep_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool accepted = IsWellFormedTorrent(bytes);
    const std::optional<bool> expected = ReferenceReader(bytes).IsTorrent();
    if (expected && accepted != *expected) {
        std::abort();
    }
    return 0;
}
