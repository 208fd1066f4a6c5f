#include "chat/SendCheck.h"
#include "service/ModelList.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

const QString kNoKey = QStringLiteral("Пожалуйста, введите API ключ.");
const QString kNoPrompt = QStringLiteral("Пожалуйста, введите текст запроса (или добавьте файл).");
const QString kImageWithFiles =
    QStringLiteral("Генерация изображений не поддерживает одновременную отправку файлов. "
                   "Пожалуйста, отправьте только текстовый запрос.");
const QString kTooLong = QStringLiteral("Длина текста запроса превышает лимит (30020 символов).");

// The checks run in order and the first that fails speaks; an empty message means "go".
TEST(SendCheck, FirstFailingCheckGivesItsMessage) {
    const QString model = QStringLiteral("gemini-2.5-flash");
    const QString imageModel = QStringLiteral("My-IMAGE-model");
    const QStringList file{QStringLiteral("/tmp/a.png")};
    const QString longest(MaxPromptLength, u'x');
    const QString tooLong(MaxPromptLength + 1, u'x');
    const struct {
        const char* name;
        QString key;
        QString model;
        QString prompt;
        QStringList files;
        QString message;
    } cases[] = {
        {"plain send", QStringLiteral("KEY"), model, QStringLiteral("x"), {}, {}},
        {"empty key", QString(), model, QStringLiteral("x"), {}, kNoKey},
        {"a model name that would leave its path", QStringLiteral("KEY"),
         QStringLiteral("../../etc/passwd"), QStringLiteral("x"), {},
         InvalidModelNameMessage(QStringLiteral("../../etc/passwd"))},
        {"blank key before everything else", QStringLiteral(" \t\r\n"), imageModel, tooLong, file,
         kNoKey},
        {"blank prompt, no files",
         QStringLiteral("KEY"),
         model,
         QStringLiteral(" \n\t"),
         {},
         kNoPrompt},
        {"blank prompt with a file", QStringLiteral("KEY"), model, QString(), file, {}},
        {"a no-break space is text",
         QStringLiteral("KEY"),
         model,
         QStringLiteral(" \u00a0 "),
         {},
         {}},
        {"blank prompt before the image model",
         QStringLiteral("KEY"),
         imageModel,
         QString(),
         {},
         kNoPrompt},
        {"image model with a file", QStringLiteral("KEY"), imageModel, QStringLiteral("x"), file,
         kImageWithFiles},
        {"image model with a file before the length", QStringLiteral("KEY"), imageModel, tooLong,
         file, kImageWithFiles},
        {"image model alone", QStringLiteral("KEY"), imageModel, QStringLiteral("x"), {}, {}},
        {"longest prompt", QStringLiteral("KEY"), model, longest, file, {}},
        {"one unit too long", QStringLiteral("KEY"), model, tooLong, {}, kTooLong},
        {"too long for an image model", QStringLiteral("KEY"), imageModel, tooLong, {}, kTooLong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<SendRefusal> refusal = CheckSend(c.key, c.model, c.prompt, c.files);
        EXPECT_EQ(refusal ? refusal->Message : QString(), c.message);
        EXPECT_EQ(refusal && refusal->KeyMissing, c.message == kNoKey);
    }
}

TEST(SendCheck, ImageModelsAreNamedSoInAnyCase) {
    for (const char* name : {"gemini-2.5-flash-image", "IMAGE", "imagen-4", "x-ImAgE-y"})
        EXPECT_TRUE(IsImageModel(QString::fromUtf8(name))) << name;
    for (const char* name : {"gemini-2.5-pro", "", "imag-e", "img"})
        EXPECT_FALSE(IsImageModel(QString::fromUtf8(name))) << name;
}

} // namespace
