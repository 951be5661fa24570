// Texts of the core's string table as Qt strings.
#pragma once

#include <QString>
#include <string_view>

namespace ui {

inline QString Text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace ui
