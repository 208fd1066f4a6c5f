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

void appendModelMessage(TGeminiDM* dataModule, const QString& answer,
                        const QList<WebSource>& sources) {
    // The module may be gone when an answer arrives at the very end of a run.
    if (dataModule)
        dataModule->ChatHistory().append(ModelMessageFromAnswer(answer, sources));
}

} // namespace

std::optional<TContentPart> ImageFromDescription(const QString& ADescription) {
    const std::optional<QJsonValue> parsed = ParseJsonText(ADescription.toUtf8());
    if (!parsed || !parsed->isObject())
        return std::nullopt;
    const QJsonObject image = parsed->toObject();
    const QString mimeType = memberText(image, "mime_type"_L1);
    const QString data = memberText(image, "base64_data"_L1);
    if (mimeType.isEmpty() || data.isEmpty())
        return std::nullopt;
    return MakeInlinePart(mimeType, data.toLatin1());
}

THistoryItem ModelMessageFromAnswer(const QString& AAnswer, const QList<WebSource>& ASources) {
    TContentPart ModelPart = MakeTextPart(AAnswer);
    const std::optional<QJsonValue> parsed = ParseJsonText(AAnswer.toUtf8());
    if (parsed && parsed->isObject() && parsed->toObject().contains("mime_type"_L1)) {
        const QJsonObject image = parsed->toObject();
        ModelPart = MakeInlinePart(memberText(image, "mime_type"_L1),
                                   memberText(image, "base64_data"_L1).toUtf8());
    }
    THistoryItem item{u"model"_s, {ModelPart}, {}, Clock::now()};
    item.Sources = ASources;
    return item;
}

ContentCompletionHandler::ContentCompletionHandler(TGeminiDM& ADataModule,
                                                   OutcomeCallback ACallback)
    : FDataModule(&ADataModule), FCallback(std::move(ACallback)) {}

void ContentCompletionHandler::operator()(const RequestOutcome& AOutcome) const {
    // The conversation already holds the answer when the caller sees it.
    if (!AOutcome.IsFailure)
        appendModelMessage(FDataModule, AOutcome.Text, AOutcome.Facts.Sources);
    if (FCallback)
        FCallback(AOutcome);
}

StreamHandler::StreamHandler(TGeminiDM& ADataModule, TStreamCallback AStreamCallback)
    : FDataModule(&ADataModule), FStreamCallback(std::move(AStreamCallback)) {}

void StreamHandler::operator()(const StreamDelivery& ADelivery) {
    if (ADelivery.What == StreamDelivery::Kind::Retrying)
        return;
    const bool isFinal = ADelivery.What == StreamDelivery::Kind::Final;
    // The final delivery's text is empty, or says why the request failed.
    const QString& text = isFinal ? ADelivery.Outcome.Text : ADelivery.Text;
    if (FStreamCallback)
        FStreamCallback(text, isFinal);
    AccumulatedResult += text;
    if (isFinal && !ADelivery.Outcome.IsFailure && !IsBlank(AccumulatedResult))
        appendModelMessage(FDataModule, AccumulatedResult, ADelivery.Outcome.Facts.Sources);
}
