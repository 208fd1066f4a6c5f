#include "GenerationHandlers.h"

#include "Blank.h"
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
    THistoryItem item{u"model"_s, {ModelPart}};
    item.Sources = ASources;
    return item;
}

ContentCompletionHandler::ContentCompletionHandler(TGeminiDM& ADataModule,
                                                   TStringCallback ACallback)
    : FDataModule(&ADataModule), FCallback(std::move(ACallback)) {}

void ContentCompletionHandler::operator()(const RequestOutcome& AOutcome) const {
    // The conversation already holds the answer when the caller sees it.
    if (!AOutcome.IsFailure)
        appendModelMessage(FDataModule, AOutcome.Text, AOutcome.Facts.Sources);
    if (FCallback)
        FCallback(AOutcome.Text);
}

StreamHandler::StreamHandler(TGeminiDM& ADataModule, TStreamCallback AStreamCallback)
    : FDataModule(&ADataModule), FStreamCallback(std::move(AStreamCallback)) {}

void StreamHandler::operator()(const StreamDelivery& ADelivery) {
    if (ADelivery.What == StreamDelivery::Kind::Retrying)
        return;
    const bool isFinal = ADelivery.What == StreamDelivery::Kind::Final;
    if (FStreamCallback)
        FStreamCallback(ADelivery.Text, isFinal);
    AccumulatedResult += ADelivery.Text;
    if (isFinal && !ADelivery.IsFailure && !IsBlank(AccumulatedResult))
        appendModelMessage(FDataModule, AccumulatedResult, ADelivery.Facts.Sources);
}
