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

PicturesAndWords SplitImageAnswer(const TContentParts& AParts) {
    PicturesAndWords answer;
    for (const TContentPart& part : AParts) {
        if (part.PartType != TPartType::ptInlineData)
            answer.Words.append(part);
        else if (IsCompletePicture(part))
            answer.Pictures.append(part);
    }
    return answer;
}

ContentCompletionHandler::ContentCompletionHandler(std::shared_ptr<ChatState> AChat,
                                                   qsizetype AUserIndex, ResultCallback ACallback)
    : FChat(std::move(AChat)), FUserIndex(AUserIndex), FCallback(std::move(ACallback)) {}

void ContentCompletionHandler::operator()(const RequestResult& AResult) const {
    // The conversation already holds the answer when the caller sees it. What came before
    // an error the service put in the answer is kept too.
    const ModelAnswer& arrived = WhatArrived(AResult);
    if (HasAnswerContent(arrived.Parts))
        FChat->History.append(ModelMessageFromParts(arrived.Parts, arrived.Facts));
    else if (!AResult)
        FChat->MarkRequestFailed(FUserIndex, AResult.error().Text);
    if (FCallback)
        FCallback(AResult);
}

StreamHandler::StreamHandler(std::shared_ptr<ChatState> AChat, qsizetype AUserIndex,
                             TStreamCallback AStreamCallback)
    : FChat(std::move(AChat)), FUserIndex(AUserIndex),
      FStreamCallback(std::move(AStreamCallback)) {}

void StreamHandler::operator()(const StreamDelivery& ADelivery) {
    if (ADelivery.What == StreamDelivery::Kind::Retrying)
        return;
    const bool isFinal = ADelivery.What == StreamDelivery::Kind::Final;
    // Events that bring no answer text (thoughts, pictures) are not chunks of this text.
    if (!isFinal && ADelivery.Text.isEmpty())
        return;
    // The final delivery's text is empty, or says why the request failed.
    const RequestResult& end = ADelivery.Result;
    const QString text = !isFinal ? ADelivery.Text : end ? QString() : end.error().Text;
    if (FStreamCallback)
        FStreamCallback(text, isFinal);
    AccumulatedResult += text;
    if (!isFinal)
        return;
    if (end && !IsBlank(AccumulatedResult))
        FChat->History.append(ModelMessageFromAnswer(AccumulatedResult, end->Facts.Sources));
    else if (!end)
        FChat->MarkRequestFailed(FUserIndex, end.error().Text);
}
