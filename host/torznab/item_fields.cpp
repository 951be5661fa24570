#include "item_fields.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace torznab {
namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when none starts there.
// Overlong forms, surrogates and values beyond U+10FFFF are not valid.
size_t SequenceLength(std::string_view text, size_t i, char32_t& code) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t length = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool XmlAllows(char32_t code) {
    return code == 0x09 || code == 0x0A || code == 0x0D ||
           (code >= 0x20 && code != 0xFFFE && code != 0xFFFF);
}

std::optional<int> UnitPower(std::string unit) {
    for (char& c : unit) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    static constexpr std::array<std::string_view, 5> kLetters = {"B", "K", "M", "G", "T"};
    for (size_t power = 0; power < kLetters.size(); ++power) {
        const std::string_view letter = kLetters[power];
        if (unit == letter || (power > 0 && (unit == std::string(letter) + "B" ||
                                             unit == std::string(letter) + "IB"))) {
            return static_cast<int>(power);
        }
    }
    return unit.empty() || unit == "BYTES" ? std::optional<int>(0) : std::nullopt;
}

}  // namespace

std::optional<int64_t> ParseSizeText(std::string_view text) {
    size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
    };
    const auto isDigit = [&](size_t k) {
        return k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]));
    };
    skipBlanks();
    std::string number;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            number += c;
        } else if (c == ',' && !point && !number.empty() && isDigit(i + 1) && isDigit(i + 2) &&
                   isDigit(i + 3) && !isDigit(i + 4)) {
            continue;  // a thousands separator
        } else if ((c == '.' || c == ',') && !point && !number.empty() && isDigit(i + 1)) {
            number += '.';
            point = true;
        } else {
            break;
        }
    }
    if (number.empty()) {
        return std::nullopt;
    }
    skipBlanks();
    std::string unit(text.substr(i));
    while (!unit.empty() && std::isspace(static_cast<unsigned char>(unit.back()))) {
        unit.pop_back();
    }
    const std::optional<int> power = UnitPower(unit);
    if (!power) {
        return std::nullopt;
    }
    const long double bytes = std::strtold(number.c_str(), nullptr) * std::pow(1024.0L, *power);
    if (!(bytes < static_cast<long double>(std::numeric_limits<int64_t>::max()))) {
        return std::nullopt;
    }
    return static_cast<int64_t>(std::llround(bytes));
}

std::string FormatRfc822(const OleDate& date) {
    const time_t seconds = date.ToUnixTime();
    std::tm local{};
    if (!date.IsValid() || seconds == -1 || localtime_r(&seconds, &local) == nullptr) {
        return {};
    }
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char out[48];
    std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+',
                  absolute / 60, absolute % 60);
    return out;
}

bool IsValidUtf8(std::string_view text) {
    char32_t code = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = SequenceLength(text, i, code);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string XmlSafeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char32_t code = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = SequenceLength(text, i, code);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (XmlAllows(code)) {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

}  // namespace torznab
