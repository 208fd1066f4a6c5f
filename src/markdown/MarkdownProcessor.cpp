#include "MarkdownProcessor.h"

#include "MarkdownEngine.h"
#include "MarkdownExtended.h"
#include "MarkdownRich.h"

#include <QFile>
#include <QStringDecoder>

#include <stdexcept>

using namespace Qt::StringLiterals;

TMarkdownProcessor::TMarkdownProcessor() : FConfig(std::make_unique<TConfiguration>(true)) {}

TMarkdownProcessor::~TMarkdownProcessor() = default;

std::unique_ptr<TMarkdownProcessor>
TMarkdownProcessor::CreateDialect(TMarkdownProcessorDialect dialect) {
    switch (dialect) {
    case mdClassic:
        return std::make_unique<TMarkdownEngine>();
    case mdRich:
        return std::make_unique<TMarkdownRich>();
    case mdExtended:
        return std::make_unique<TMarkdownExtended>();
    }
    throw std::invalid_argument("Unknown Markdown dialect");
}

QString TMarkdownProcessor::ProcessFile(const QString& AFileName,
                                        QStringConverter::Encoding AEncoding) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    QStringDecoder decoder(AEncoding);
    QString text = decoder.decode(file.readAll());
    if (decoder.hasError())
        throw std::runtime_error("Cannot decode " + AFileName.toStdString());
    // The file is read as text lines and joined with a line break after every line.
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        text += u'\n';
    return Process(text);
}
