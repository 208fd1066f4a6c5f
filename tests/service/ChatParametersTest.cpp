// A chat's parameters: how each goes into the request, that the defaults send what was
// always sent, and how they are kept (a chat file's member, settings.ini's defaults).
#include "service/ChatParameters.h"
#include "service/RequestBody.h"
#include "service/SettingsFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace Qt::StringLiterals;

const TChatHistory kHistory{{u"user"_s, {MakeTextPart(u"Hi"_s)}}};

QJsonObject bodyWith(const ChatParameters& parameters, bool thoughts = false) {
    return QJsonDocument::fromJson(BuildContentRequestBody(kHistory, false, thoughts, parameters))
        .object();
}

QJsonValue at(const QJsonObject& body, const QString& path) {
    QJsonValue value = body;
    for (const QString& step : path.split(u'/')) {
        bool isIndex = false;
        const int index = step.toInt(&isIndex);
        value = isIndex ? value.toArray().at(index) : value.toObject().value(step);
    }
    return value;
}

// The body sent before chats had parameters, byte for byte.
TEST(ChatParametersTest, TheDefaultsSendWhatWasAlwaysSent) {
    EXPECT_EQ(BuildContentRequestBody(kHistory, false, false, ChatParameters()),
              QByteArray(R"({"contents":[{"role":"user","parts":[{"text":"Hi"}]}],)"
                         R"("generationConfig":{"temperature":0.2,"topK":1,"topP":1,)"
                         R"("maxOutputTokens":300000,"stopSequences":[]},"safetySettings":[)"
                         R"({"category":"HARM_CATEGORY_HARASSMENT","threshold":"BLOCK_NONE"},)"
                         R"({"category":"HARM_CATEGORY_HATE_SPEECH","threshold":"BLOCK_NONE"},)"
                         R"({"category":"HARM_CATEGORY_SEXUALLY_EXPLICIT","threshold":"BLOCK_NONE"},)"
                         R"({"category":"HARM_CATEGORY_DANGEROUS_CONTENT","threshold":"BLOCK_NONE"}]})"));
    EXPECT_TRUE(ChatParametersToJson(ChatParameters()).isEmpty());
}

TEST(ChatParametersTest, EachParameterGoesWhereTheServiceReadsIt) {
    const struct {
        const char* name;
        std::function<void(ChatParameters&)> set;
        // Where it goes: member names and array indexes, "/" between them.
        QString path;
        QJsonValue expected;
    } cases[] = {
        {"system instruction", [](ChatParameters& p) { p.SystemInstruction = u"Будь краток"_s; },
         u"systemInstruction/parts/0/text"_s,
         u"Будь краток"_s},
        {"temperature", [](ChatParameters& p) { p.Temperature = 1.35; },
         u"generationConfig/temperature"_s, 1.35},
        {"top-p", [](ChatParameters& p) { p.TopP = 0.95; },
         u"generationConfig/topP"_s, 0.95},
        {"top-k", [](ChatParameters& p) { p.TopK = 40; },
         u"generationConfig/topK"_s, 40},
        {"top-k left out", [](ChatParameters& p) { p.TopK.reset(); },
         u"generationConfig/topK"_s, QJsonValue::Undefined},
        {"answer length left out", [](ChatParameters& p) { p.MaxOutputTokens.reset(); },
         u"generationConfig/maxOutputTokens"_s,
         QJsonValue::Undefined},
        {"thinking off", [](ChatParameters& p) { p.Thinking = ThinkingMode::Off; },
         u"generationConfig/thinkingConfig/thinkingBudget"_s,
         0},
        {"thinking budget",
         [](ChatParameters& p) {
             p.Thinking = ThinkingMode::Budget;
             p.ThinkingBudget = 2048;
         },
         u"generationConfig/thinkingConfig/thinkingBudget"_s,
         2048},
        {"thinking level", [](ChatParameters& p) { p.Thinking = ThinkingMode::High; },
         u"generationConfig/thinkingConfig/thinkingLevel"_s,
         u"high"_s},
        {"safety", [](ChatParameters& p) { p.SafetyThresholds[3] = 2; },
         u"safetySettings/3/threshold"_s,
         u"BLOCK_MEDIUM_AND_ABOVE"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChatParameters parameters;
        c.set(parameters);
        const QJsonObject body = bodyWith(parameters);
        EXPECT_EQ(at(body, c.path), c.expected);
        // Kept and read back the same.
        EXPECT_EQ(ChatParametersFromJson(ChatParametersToJson(parameters)), parameters);
    }
    // The instruction comes right after the conversation.
    ChatParameters instructed;
    instructed.SystemInstruction = u"x"_s;
    EXPECT_EQ(bodyWith(instructed).keys(),
              QStringList({u"contents"_s, u"generationConfig"_s, u"safetySettings"_s,
                           u"systemInstruction"_s})); // keys() sorts; order checked below
    const QByteArray text = BuildContentRequestBody(kHistory, false, false, instructed);
    EXPECT_LT(text.indexOf("\"contents\""), text.indexOf("\"systemInstruction\""));
    EXPECT_LT(text.indexOf("\"systemInstruction\""), text.indexOf("\"generationConfig\""));
    // Thought summaries and a budget share one object.
    ChatParameters budget;
    budget.Thinking = ThinkingMode::Off;
    EXPECT_EQ(at(bodyWith(budget, true), u"generationConfig/thinkingConfig"_s).toObject(),
              QJsonObject({{u"includeThoughts"_s, true}, {u"thinkingBudget"_s, 0}}));
}

TEST(ChatParametersTest, ReadingKeepsTheDefaultForWhatIsWrongOrUnknown) {
    const QJsonObject hostile = QJsonDocument::fromJson(
        R"({"temperature":9,"top_p":"x","top_k":0.5,"max_output_tokens":-3,)"
        R"("thinking":"much","safety":{"HARM_CATEGORY_HARASSMENT":"BLOCK_EVERYTHING"},"new":1})")
                                    .object();
    EXPECT_EQ(ChatParametersFromJson(hostile), ChatParameters());
    const QJsonObject notSent =
        QJsonDocument::fromJson(R"({"top_k":null,"max_output_tokens":null})").object();
    const ChatParameters read = ChatParametersFromJson(notSent);
    EXPECT_FALSE(read.TopK.has_value());
    EXPECT_FALSE(read.MaxOutputTokens.has_value());
    EXPECT_TRUE(TakesThinkingLevel(u"gemini-3-pro-preview"_s));
    EXPECT_FALSE(TakesThinkingLevel(u"gemini-2.5-flash"_s));
}

TEST(ChatParametersTest, SettingsKeepTheDefaultsForNewChats) {
    QTemporaryDir folder;
    const QString path = folder.filePath(u"settings.ini"_s);
    SettingsFile file(path);
    ServiceSettings settings;
    settings.ChatDefaults.SystemInstruction = u"Строка один\nстрока два = \"три\""_s;
    settings.ChatDefaults.Temperature = 0.7;
    ASSERT_TRUE(file.Save(settings));
    SettingsFile again(path);
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.Saved(), settings);

    // Saving the defaults again writes no chat section at all.
    ASSERT_TRUE(file.Save(ServiceSettings()));
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_FALSE(written.readAll().contains("[Chats]"));
}

} // namespace
