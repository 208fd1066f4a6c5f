#include "GenerationHandlers.h"

#include "Blank.h"
#include "Clock.h"
#include "JsonText.h"

#include <QJsonObject>

#include <utility>

namespace {

using namespace Qt::StringLiterals;

// Absent, null and values that are no string all read as empty here.
QString memberText(const QJsonObject& object, QLatin1StringView name) {
    return JsonValueAsString(object.value(name)).value_or(QString());
}

void appendModelMessage(TGeminiDM* dataModule, const QString& answer) {
    // The module may be gone when an answer arrives at the very end of a run.
    if (!dataModule)
        return;
    THistoryItem item = ModelMessageFromAnswer(answer);
    item.Time = Clock::now();
    dataModule->ChatHistory().append(std::move(item));
}

} // namespace

THistoryItem ModelMessageFromAnswer(const QString& AAnswer) {
    TContentPart ModelPart = MakeTextPart(AAnswer);
    const std::optional<QJsonValue> parsed = ParseJsonText(AAnswer.toUtf8());
    if (parsed && parsed->isObject() && parsed->toObject().contains("mime_type"_L1)) {
        const QJsonObject image = parsed->toObject();
        ModelPart = MakeInlinePart(memberText(image, "mime_type"_L1),
                                   memberText(image, "base64_data"_L1).toUtf8());
    }
    return THistoryItem{u"model"_s, {ModelPart}};
}

ContentCompletionHandler::ContentCompletionHandler(TGeminiDM& ADataModule,
                                                   OutcomeCallback ACallback)
    : FDataModule(&ADataModule), FCallback(std::move(ACallback)) {}

void ContentCompletionHandler::operator()(const RequestOutcome& AOutcome) const {
    // The conversation already holds the answer when the caller sees it.
    if (!AOutcome.IsFailure)
        appendModelMessage(FDataModule, AOutcome.Text);
    if (FCallback)
        FCallback(AOutcome);
}

StreamHandler::StreamHandler(TGeminiDM& ADataModule, TStreamCallback AStreamCallback)
    : FDataModule(&ADataModule), FStreamCallback(std::move(AStreamCallback)) {}

void StreamHandler::operator()(const QString& AChunk, bool AIsFinal, bool AIsFailure) {
    if (FStreamCallback)
        FStreamCallback(AChunk, AIsFinal);
    AccumulatedResult += AChunk;
    if (AIsFinal && !AIsFailure && !IsBlank(AccumulatedResult))
        appendModelMessage(FDataModule, AccumulatedResult);
}
