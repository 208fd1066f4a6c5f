#include "markdown/MarkdownProcessor.h"

#include "markdown/MarkdownEngine.h"
#include "markdown/MarkdownExtended.h"
#include "markdown/MarkdownRich.h"
#include "markdown/MarkdownSource.h"

#include <QFile>

#include <stdexcept>

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

std::unique_ptr<TMarkdownProcessor> TMarkdownProcessor::CreateForAnswers() {
    std::unique_ptr<TMarkdownProcessor> converter = CreateDialect(mdRich);
    converter->config().setRemoteImagesAsLinks(true);
    converter->config().setMathMode(TConfiguration::MathMode::Local);
    converter->config().setAnswerMode(true);
    return converter;
}

Expected<QString> TMarkdownProcessor::ProcessFile(const QString& AFileName,
                                                  QStringConverter::Encoding AEncoding) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        return Failure(file.errorString());
    // The file is read as text lines and joined with a line break after every line.
    const std::optional<QString> text = AEncoding == QStringConverter::Utf8
                                            ? readUtf8Source(file, true)
                                            : decodeSource(file.readAll(), AEncoding, true);
    if (!text)
        return Failure(QStringLiteral("Cannot decode ") + AFileName);
    return Process(*text);
}
