// libFuzzer target: any text, any dialect, safe or not, with or without answer mode and local
// math, must convert without a crash, a sanitizer finding or a hang.
#include "markdown/MarkdownProcessor.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t options = data[0];
    const auto* text = reinterpret_cast<const char*>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    // Raw UTF-16 reaches lone surrogates and the character 0; UTF-8 reaches the usual texts.
    const QString source = options & 8 ? QString(reinterpret_cast<const QChar*>(text), length / 2)
                                       : QString::fromUtf8(text, length);
    const auto converter =
        TMarkdownProcessor::CreateDialect(TMarkdownProcessorDialect(options % 3));
    converter->setAllowUnsafe(options & 4);
    // Bit 4: the chat page's answer mode; bit 5: local math.
    converter->config().setAnswerMode(options & 16);
    if (options & 32)
        converter->config().setMathMode(TConfiguration::MathMode::Local);
    converter->Process(source);
    // A second call on the same converter keeps its definitions and profile.
    converter->Process(source.left(source.size() / 2));
    return 0;
}
