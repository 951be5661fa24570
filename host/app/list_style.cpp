#include "list_style.h"

#include <QFontInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kNormalWeight = 400;

}  // namespace

QFont FontFromRecord(const LOGFONT& record, const QFont& fallback) {
    if (record.lfHeight == 0) {
        return fallback;
    }
    QFont font(fallback);
    const size_t nameLength = strnlen(record.lfFaceName, sizeof record.lfFaceName);
    if (nameLength > 0) {
        font.setFamily(QString::fromUtf8(record.lfFaceName, static_cast<qsizetype>(nameLength)));
    }
    // A negative height is the characters' own height, a positive one the
    // cell's; the lists need no finer distinction than pixels.
    font.setPixelSize(std::abs(record.lfHeight));
    const int weight = record.lfWeight > 0 ? record.lfWeight : kNormalWeight;
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    font.setItalic(record.lfItalic != 0);
    font.setUnderline(record.lfUnderline != 0);
    font.setStrikeOut(record.lfStrikeOut != 0);
    return font;
}

LOGFONT RecordFromFont(const QFont& font) {
    LOGFONT record{};
    const int pixels = QFontInfo(font).pixelSize();
    record.lfHeight = -(pixels > 0 ? pixels : 1);
    record.lfWeight = font.weight();
    record.lfItalic = font.italic() ? 1 : 0;
    record.lfUnderline = font.underline() ? 1 : 0;
    record.lfStrikeOut = font.strikeOut() ? 1 : 0;
    const QByteArray name = font.family().toUtf8();
    size_t length = std::min(static_cast<size_t>(name.size()), sizeof record.lfFaceName - 1);
    // Back up over continuation bytes so the cut falls between characters.
    while (length > 0 && length < static_cast<size_t>(name.size()) &&
           (static_cast<unsigned char>(name[static_cast<qsizetype>(length)]) & 0xC0) == 0x80) {
        --length;
    }
    std::memcpy(record.lfFaceName, name.constData(), length);
    return record;
}

QColor ColourFromRecord(uint32_t record) {
    return QColor(static_cast<int>(record & 0xFF), static_cast<int>((record >> 8) & 0xFF),
                  static_cast<int>((record >> 16) & 0xFF));
}

uint32_t RecordFromColour(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return static_cast<uint32_t>(rgb.red()) | static_cast<uint32_t>(rgb.green()) << 8 |
           static_cast<uint32_t>(rgb.blue()) << 16;
}
