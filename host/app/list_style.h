// The lists' font and colours as the settings record stores them: the font
// as a 60-byte font description, each colour as 0x00BBGGRR.
#pragma once

#include <QColor>
#include <QFont>
#include <cstdint>

#include "global_config.h"

// The chosen font; `fallback` when the record holds none (height 0).
QFont FontFromRecord(const LOGFONT& record, const QFont& fallback);
// The face name is cut to what the record holds without splitting a
// character.
LOGFONT RecordFromFont(const QFont& font);

QColor ColourFromRecord(uint32_t record);
uint32_t RecordFromColour(const QColor& colour);
