// tovik-md [--dialect 0|1|2] [--math image|local] [FILE] | --answers [FILE] | --version: converts
// UTF-8 Markdown from FILE or standard input to HTML on standard output with the program's
// converter; --answers exactly as the chat page converts an answer.
#include "markdown/MarkdownProcessor.h"
#include "markdown/MarkdownSource.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace {

int usage() {
    std::cerr << "usage: tovik-md [--dialect 0|1|2] [--math image|local] [FILE]\n"
                 "       tovik-md --answers [FILE]\n"
                 "       tovik-md --version\n"
                 "  converts UTF-8 Markdown from FILE (or standard input) to HTML\n"
                 "  dialect 0 classic, 1 rich (the default), 2 extended\n"
                 "  math image (the default): formulas as images of a remote service;\n"
                 "  local: their TeX source for the page to typeset\n"
                 "  answers: as the chat converts an answer (GitHub's Markdown, local math,\n"
                 "  images from elsewhere as links), before highlighting and typesetting\n";
    return 2;
}

std::optional<TMarkdownProcessorDialect> parseDialect(const char* text) {
    const std::string value(text);
    if (value == "0")
        return mdClassic;
    if (value == "1")
        return mdRich;
    if (value == "2")
        return mdExtended;
    return std::nullopt;
}

// Writes text as UTF-8 a slice at a time, so that the answer is never held twice. A slice
// never ends between the two halves of a surrogate pair, so the bytes are those of the whole.
bool writeUtf8(const QString& text, std::FILE* out) {
    constexpr qsizetype kSlice = 1 << 16;
    for (qsizetype p = 0; p < text.size();) {
        qsizetype n = std::min(kSlice, text.size() - p);
        if (p + n < text.size() && text[p + n - 1].isHighSurrogate())
            --n;
        const QByteArray bytes = QStringView(text).mid(p, n).toUtf8();
        if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out) !=
            std::size_t(bytes.size()))
            return false;
        p += n;
    }
    return std::fflush(out) == 0;
}

// The HTML of FILE, or of standard input when there is no file name.
Expected<QString> convert(std::unique_ptr<TMarkdownProcessor> converter,
                          const std::optional<QString>& fileName) {
    if (fileName)
        return converter->ProcessFile(*fileName, QStringConverter::Utf8);
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return Failure(QStringLiteral("cannot read standard input"));
    const std::optional<QString> text = decodeUtf8Source(input.readAll(), false);
    if (!text)
        return Failure(QStringLiteral("standard input is not UTF-8"));
    return converter->Process(*text);
}

} // namespace

int main(int argc, char** argv) {
    TMarkdownProcessorDialect dialect = mdRich;
    TConfiguration::MathMode math = TConfiguration::MathMode::Image;
    bool answers = false;
    bool dialectOptions = false;
    std::optional<QString> fileName;
    for (int i = 1; i < argc; ++i) {
        const std::string arg(argv[i]);
        if (arg == "--version") {
            std::cout << "tovik-md " << TOVIK_VERSION << '\n';
            return 0;
        }
        if (arg == "--dialect") {
            if (i + 1 >= argc)
                return usage();
            const auto parsed = parseDialect(argv[++i]);
            if (!parsed)
                return usage();
            dialect = *parsed;
            dialectOptions = true;
        } else if (arg == "--answers") {
            answers = true;
        } else if (arg == "--math") {
            dialectOptions = true;
            if (i + 1 >= argc)
                return usage();
            const std::string mode(argv[++i]);
            if (mode == "image")
                math = TConfiguration::MathMode::Image;
            else if (mode == "local")
                math = TConfiguration::MathMode::Local;
            else
                return usage();
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage();
        } else if (fileName) {
            return usage();
        } else {
            fileName = QString::fromLocal8Bit(argv[i]);
        }
    }
    // The answers' converter is the page's own; it takes no dialect or math of its own.
    if (answers && dialectOptions)
        return usage();
    std::unique_ptr<TMarkdownProcessor> converter;
    if (answers) {
        converter = TMarkdownProcessor::CreateForAnswers();
    } else {
        converter = TMarkdownProcessor::CreateDialect(dialect);
        converter->config().setMathMode(math);
    }
    const Expected<QString> html = convert(std::move(converter), fileName);
    if (!html) {
        std::cerr << "tovik-md: " << html.error().toStdString() << '\n';
        return 1;
    }
    if (!writeUtf8(*html, stdout)) {
        std::cerr << "tovik-md: cannot write standard output\n";
        return 1;
    }
    return 0;
}
