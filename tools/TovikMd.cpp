// tovik-md [--dialect 0|1|2] [FILE] | --version: converts UTF-8 Markdown from FILE or
// standard input to HTML on standard output, with the converter the program uses for its answers.
#include "MarkdownProcessor.h"

#include <QFile>
#include <QStringDecoder>

#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>

namespace {

int usage() {
    std::cerr << "usage: tovik-md [--dialect 0|1|2] [FILE] | --version\n"
                 "  converts UTF-8 Markdown from FILE (or standard input) to HTML\n"
                 "  dialect 0 classic, 1 rich (the default, as in the chat), 2 extended\n";
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

} // namespace

int main(int argc, char** argv) {
    TMarkdownProcessorDialect dialect = mdRich;
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
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage();
        } else if (fileName) {
            return usage();
        } else {
            fileName = QString::fromLocal8Bit(argv[i]);
        }
    }
    try {
        const auto converter = TMarkdownProcessor::CreateDialect(dialect);
        QString html;
        if (fileName) {
            html = converter->ProcessFile(*fileName, QStringConverter::Utf8);
        } else {
            QFile input;
            if (!input.open(stdin, QIODevice::ReadOnly))
                throw std::runtime_error("cannot read standard input");
            QStringDecoder decoder(QStringConverter::Utf8);
            const QString text = decoder.decode(input.readAll());
            if (decoder.hasError())
                throw std::runtime_error("standard input is not UTF-8");
            html = converter->Process(text);
        }
        const QByteArray bytes = html.toUtf8();
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "tovik-md: " << error.what() << '\n';
        return 1;
    }
}
