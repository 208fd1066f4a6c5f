#include "service/ChatParameters.h"

#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace {

using namespace Qt::StringLiterals;

const QString kSystemInstruction = u"system_instruction"_s;
const QString kTemperature = u"temperature"_s;
const QString kTopP = u"top_p"_s;
const QString kTopK = u"top_k"_s;
const QString kMaxOutputTokens = u"max_output_tokens"_s;
const QString kThinking = u"thinking"_s;
const QString kSafety = u"safety"_s;

constexpr std::array kThinkingNames{std::pair{ThinkingMode::Auto, "auto"_L1},
                                    std::pair{ThinkingMode::Off, "off"_L1},
                                    std::pair{ThinkingMode::Low, "low"_L1},
                                    std::pair{ThinkingMode::High, "high"_L1}};

// Null for "not sent".
QJsonValue optionalNumber(const std::optional<int>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

// A whole number in [low, high], nothing for null, or the fallback for anything else.
std::optional<int> readOptional(const QJsonValue& value, int low, int high,
                                std::optional<int> fallback) {
    if (value.isNull())
        return std::nullopt;
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || number != std::floor(number) || number < low || number > high)
        return fallback;
    return int(number);
}

double readFraction(const QJsonValue& value, double high, double fallback) {
    const double number = value.toDouble(fallback);
    return value.isDouble() && number >= 0 && number <= high ? number : fallback;
}

} // namespace

bool TakesThinkingLevel(const QString& modelName) {
    return modelName.startsWith(u"gemini-3"_s, Qt::CaseInsensitive);
}

QJsonObject ChatParametersToJson(const ChatParameters& parameters) {
    const ChatParameters defaults;
    QJsonObject object;
    if (parameters.SystemInstruction != defaults.SystemInstruction)
        object.insert(kSystemInstruction, parameters.SystemInstruction);
    if (parameters.Temperature != defaults.Temperature)
        object.insert(kTemperature, parameters.Temperature);
    if (parameters.TopP != defaults.TopP)
        object.insert(kTopP, parameters.TopP);
    if (parameters.TopK != defaults.TopK)
        object.insert(kTopK, optionalNumber(parameters.TopK));
    if (parameters.MaxOutputTokens != defaults.MaxOutputTokens)
        object.insert(kMaxOutputTokens, optionalNumber(parameters.MaxOutputTokens));
    if (parameters.Thinking == ThinkingMode::Budget) {
        object.insert(kThinking, parameters.ThinkingBudget);
    } else if (parameters.Thinking != defaults.Thinking) {
        for (const auto& [mode, name] : kThinkingNames) {
            if (mode == parameters.Thinking)
                object.insert(kThinking, QString(name));
        }
    }
    if (parameters.SafetyThresholds != defaults.SafetyThresholds) {
        QJsonObject safety;
        for (size_t i = 0; i < kHarmCategories.size(); ++i)
            safety.insert(QString(kHarmCategories[i]),
                          QString(kHarmThresholds[size_t(parameters.SafetyThresholds[i])]));
        object.insert(kSafety, safety);
    }
    return object;
}

ChatParameters ChatParametersFromJson(const QJsonObject& object) {
    ChatParameters parameters;
    if (const QJsonValue text = object.value(kSystemInstruction); text.isString())
        parameters.SystemInstruction = text.toString();
    parameters.Temperature = readFraction(object.value(kTemperature),
                                          ChatParameters::kMaxTemperature, parameters.Temperature);
    parameters.TopP = readFraction(object.value(kTopP), 1, parameters.TopP);
    if (object.contains(kTopK))
        parameters.TopK =
            readOptional(object.value(kTopK), 1, ChatParameters::kMaxTopK, parameters.TopK);
    if (object.contains(kMaxOutputTokens))
        parameters.MaxOutputTokens = readOptional(object.value(kMaxOutputTokens), 1,
                                                  std::numeric_limits<int>::max(),
                                                  parameters.MaxOutputTokens);
    const QJsonValue thinking = object.value(kThinking);
    if (thinking.isString()) {
        for (const auto& [mode, name] : kThinkingNames) {
            if (thinking.toString() == name)
                parameters.Thinking = mode;
        }
    } else if (const std::optional<int> budget =
                   readOptional(thinking, 1, ChatParameters::kMaxThinkingBudget, std::nullopt)) {
        parameters.Thinking = ThinkingMode::Budget;
        parameters.ThinkingBudget = *budget;
    }
    const QJsonObject safety = object.value(kSafety).toObject();
    for (size_t i = 0; i < kHarmCategories.size(); ++i) {
        const QString threshold = safety.value(QString(kHarmCategories[i])).toString();
        const auto known = std::find(kHarmThresholds.begin(), kHarmThresholds.end(), threshold);
        if (known != kHarmThresholds.end())
            parameters.SafetyThresholds[i] = int(known - kHarmThresholds.begin());
    }
    return parameters;
}
