#pragma once

#include "markdown/MarkdownProcessor.h"

#include <QString>

#include <ostream>

// One conversion with a fresh converter, as the chat page does it.
inline QString convert(TMarkdownProcessorDialect dialect, const QString& markdown) {
    return TMarkdownProcessor::CreateDialect(dialect)->Process(markdown);
}

struct ConversionCase {
    TMarkdownProcessorDialect dialect;
    const char16_t* markdown;
    const char16_t* html;
};

inline std::ostream& operator<<(std::ostream& out, const ConversionCase& c) {
    return out << "dialect " << int(c.dialect) << ": "
               << QString::fromUtf16(c.markdown).toStdString();
}

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << text.toStdString();
}
