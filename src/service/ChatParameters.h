#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>

// How much the model thinks before it answers: as it likes (nothing is sent), not at
// all, a budget of tokens, or, for the models that take a level instead, low or high.
enum class ThinkingMode { Auto, Off, Budget, Low, High };

// The safety categories a request names, in the order they are sent.
inline constexpr std::array<QLatin1StringView, 4> kHarmCategories{
    QLatin1StringView("HARM_CATEGORY_HARASSMENT"),
    QLatin1StringView("HARM_CATEGORY_HATE_SPEECH"),
    QLatin1StringView("HARM_CATEGORY_SEXUALLY_EXPLICIT"),
    QLatin1StringView("HARM_CATEGORY_DANGEROUS_CONTENT"),
};

// The thresholds the service knows, the one sent by default first.
inline constexpr std::array<QLatin1StringView, 5> kHarmThresholds{
    QLatin1StringView("BLOCK_NONE"),
    QLatin1StringView("BLOCK_ONLY_HIGH"),
    QLatin1StringView("BLOCK_MEDIUM_AND_ABOVE"),
    QLatin1StringView("BLOCK_LOW_AND_ABOVE"),
    QLatin1StringView("OFF"),
};

// What a chat asks of the model beside its messages. The defaults are what every request
// sent before a chat had parameters of its own, so a chat that keeps them is sent exactly
// as before.
struct ChatParameters {
    static constexpr double kMaxTemperature = 2;
    static constexpr int kMaxTopK = 1000;
    static constexpr int kMaxThinkingBudget = 32768;

    QString SystemInstruction = {};
    double Temperature = 0.2;
    double TopP = 1;
    // Nothing: not sent.
    std::optional<int> TopK = 1;
    std::optional<int> MaxOutputTokens = 300000;
    ThinkingMode Thinking = ThinkingMode::Auto;
    int ThinkingBudget = 0;
    // One threshold per category of kHarmCategories, by index into kHarmThresholds.
    std::array<int, 4> SafetyThresholds = {0, 0, 0, 0};

    bool operator==(const ChatParameters&) const = default;
    bool IsDefault() const { return *this == ChatParameters(); }
};

// Whether a model is asked for a thinking level rather than a budget (by its name).
bool TakesThinkingLevel(const QString& modelName);

// The parameters as the members of a JSON object, only those that differ from the
// defaults (an empty object for the defaults), and back. Reading passes over what it does
// not know and keeps the default for a value that is out of range or of the wrong type.
QJsonObject ChatParametersToJson(const ChatParameters& parameters);
ChatParameters ChatParametersFromJson(const QJsonObject& object);
