#include "chat/SendCheck.h"

#include "service/ModelList.h"
#include "text/Blank.h"

bool IsImageModel(const QString& modelName) {
    return modelName.toLower().contains(QLatin1StringView("image"));
}

std::optional<SendRefusal> CheckSend(const QString& apiKey, const QString& modelName,
                                     const QString& prompt, const QStringList& attachments) {
    if (IsBlank(apiKey))
        return SendRefusal{QStringLiteral("Пожалуйста, введите API ключ."), true};
    if (IsBlank(prompt) && attachments.isEmpty())
        return SendRefusal{
            QStringLiteral("Пожалуйста, введите текст запроса (или добавьте файл).")};
    if (!IsValidModelName(modelName))
        return SendRefusal{InvalidModelNameMessage(modelName)};
    if (IsImageModel(modelName) && !attachments.isEmpty())
        return SendRefusal{
            QStringLiteral("Генерация изображений не поддерживает одновременную отправку файлов. "
                           "Пожалуйста, отправьте только текстовый запрос.")};
    if (prompt.size() > MaxPromptLength)
        return SendRefusal{QStringLiteral("Длина текста запроса превышает лимит (%1 символов).")
                               .arg(MaxPromptLength)};
    return std::nullopt;
}
