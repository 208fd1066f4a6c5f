#pragma once

#include <QStringView>

#include <algorithm>

// Text that holds nothing but spaces and control characters (code units up to U+0020)
// says nothing: a blank key, prompt or message.
inline bool IsBlank(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0x20; });
}
