#include "chat/GenerationHandlers.h"

#include "text/Blank.h"
#include "text/Clock.h"
#include "text/JsonText.h"

#include <QJsonObject>

#include <utility>

namespace {

using namespace Qt::StringLiterals;

// Absent, null and values that are no string all read as empty here.
QString memberText(const QJsonObject& object, QLatin1StringView name) {
    return JsonValueAsString(object.value(name)).value_or(QString());
}

// A text that is a JSON object with a "mime_type" member stands for a picture.
std::optional<TContentPart> describedImage(const QString& text) {
    const std::optional<QJsonValue> parsed = ParseJsonText(text.toUtf8());
    if (!parsed || !parsed->isObject() || !parsed->toObject().contains("mime_type"_L1))
        return std::nullopt;
    const QJsonObject image = parsed->toObject();
    return MakeInlinePart(memberText(image, "mime_type"_L1),
                          memberText(image, "base64_data"_L1).toUtf8());
}

void appendModelMessage(TGeminiDM* dataModule, THistoryItem item) {
    // The module may be gone when an answer arrives at the very end of a run.
    if (dataModule)
        dataModule->ChatHistory().append(std::move(item));
}

void markFailed(TGeminiDM* dataModule, qsizetype userIndex, const QString& reason) {
    if (dataModule)
        dataModule->MarkRequestFailed(userIndex, reason);
}

} // namespace

THistoryItem ModelMessageFromAnswer(const QString& AAnswer, const QList<WebSource>& ASources) {
    const TContentPart ModelPart = describedImage(AAnswer).value_or(MakeTextPart(AAnswer));
    THistoryItem item{u"model"_s, {ModelPart}, {}, Clock::now()};
    item.Sources = ASources;
    return item;
}

THistoryItem ModelMessageFromParts(const TContentParts& AParts, const AnswerFacts& AFacts) {
    THistoryItem item{u"model"_s, AParts, {}, Clock::now()};
    if (AParts.size() == 1 && AParts.first().PartType == TPartType::ptText &&
        !AParts.first().Thought && AParts.first().ThoughtSignature.isEmpty()) {
        if (std::optional<TContentPart> image = describedImage(AParts.first().Text))
            item.Parts = {*image};
    }
    item.Sources = AFacts.Sources;
    item.Citations = AFacts.Citations;
    if (AFacts.FinishReason != u"STOP")
        item.FinishReason = AFacts.FinishReason;
    return item;
}

ContentCompletionHandler::ContentCompletionHandler(TGeminiDM& ADataModule, qsizetype AUserIndex,
                                                   OutcomeCallback ACallback)
    : FDataModule(&ADataModule), FUserIndex(AUserIndex), FCallback(std::move(ACallback)) {}

void ContentCompletionHandler::operator()(const RequestOutcome& AOutcome) const {
    // The conversation already holds the answer when the caller sees it. What came before
    // an error the service put in the answer is kept too.
    if (HasAnswerContent(AOutcome.Parts))
        appendModelMessage(FDataModule, ModelMessageFromParts(AOutcome.Parts, AOutcome.Facts));
    else if (AOutcome.IsFailure)
        markFailed(FDataModule, FUserIndex, AOutcome.Text);
    if (FCallback)
        FCallback(AOutcome);
}

StreamHandler::StreamHandler(TGeminiDM& ADataModule, qsizetype AUserIndex,
                             TStreamCallback AStreamCallback)
    : FDataModule(&ADataModule), FUserIndex(AUserIndex),
      FStreamCallback(std::move(AStreamCallback)) {}

void StreamHandler::operator()(const StreamDelivery& ADelivery) {
    if (ADelivery.What == StreamDelivery::Kind::Retrying)
        return;
    const bool isFinal = ADelivery.What == StreamDelivery::Kind::Final;
    // Events that bring no answer text (thoughts, pictures) are not chunks of this text.
    if (!isFinal && ADelivery.Text.isEmpty())
        return;
    // The final delivery's text is empty, or says why the request failed.
    const QString& text = isFinal ? ADelivery.Outcome.Text : ADelivery.Text;
    if (FStreamCallback)
        FStreamCallback(text, isFinal);
    AccumulatedResult += text;
    if (!isFinal)
        return;
    if (!ADelivery.Outcome.IsFailure && !IsBlank(AccumulatedResult))
        appendModelMessage(FDataModule, ModelMessageFromAnswer(AccumulatedResult,
                                                               ADelivery.Outcome.Facts.Sources));
    else if (ADelivery.Outcome.IsFailure)
        markFailed(FDataModule, FUserIndex, ADelivery.Outcome.Text);
}
