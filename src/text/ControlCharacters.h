#pragma once

#include <QStringView>

#include <algorithm>

// Control characters (C0, DEL, C1) have no place in a key or a model name: in a request
// address a NUL cuts it and a line break or tab breaks it.
inline bool HasControlCharacter(QStringView text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}
