// The service's model list: pages, the generateContent filter, failures, and the merge
// into the names the user already has.
#include "service/ModelList.h"
#include "service/RequestBody.h"

#include "FakeModelService.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

class ModelListTest : public ::testing::Test {
protected:
    ModelListing list(const QString& key = u"KEY"_s, int timeoutSeconds = 480) const {
        return ListGenerativeModels(
            {QString::fromStdString(service.baseUrl()), timeoutSeconds * 1000, {}}, key);
    }

    FakeModelService service;
};

TEST_F(ModelListTest, FollowsThePagesAndKeepsTheModelsThatGenerateContent) {
    service.respond([](const FakeRequest& request) {
        if (request.target.find("pageToken=") == std::string::npos)
            return FakeReply::json(R"({"models":[
                {"name":"models/gemini-2.5-pro","supportedGenerationMethods":["generateContent","countTokens"]},
                {"name":"models/text-embedding-004","supportedGenerationMethods":["embedContent"]},
                {"name":"models/gemini-3-flash","supportedGenerationMethods":["countTokens","generateContent"]}
              ],"nextPageToken":"next/page=2"})");
        return FakeReply::json(R"({"models":[
                {"name":"models/imagen-4","supportedGenerationMethods":["predict"]},
                {"name":"models/gemini-2.5-flash-image","supportedGenerationMethods":["generateContent"]},
                {"name":"models/","supportedGenerationMethods":["generateContent"]},
                {"supportedGenerationMethods":["generateContent"]}
              ]})");
    });
    const ModelListing listing = list();
    ASSERT_TRUE(listing.has_value()) << listing.error().Text.toStdString();
    EXPECT_EQ(*listing,
              (QStringList{u"gemini-2.5-pro"_s, u"gemini-3-flash"_s, u"gemini-2.5-flash-image"_s}));

    const std::vector<FakeRequest> requests = service.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/v1beta/models?pageSize=1000");
    EXPECT_EQ(requests[1].target, "/v1beta/models?pageSize=1000&pageToken=next%2Fpage%3D2");
    for (const FakeRequest& request : requests) {
        // The key travels in a header, never in the address.
        EXPECT_EQ(request.headers.find("x-goog-api-key")->second, "KEY");
        EXPECT_EQ(request.target.find("KEY"), std::string::npos);
    }
}

TEST_F(ModelListTest, FailuresSayWhatKindTheyAre) {
    using Kind = ModelListFailure::Kind;
    struct Case {
        FakeReply reply;
        Kind kind;
        QString textStart;
    };
    FakeReply stalled = FakeReply::json("{}");
    stalled.holdBeforeHeaders = true;
    const Case cases[] = {
        {FakeReply::json(R"({"error":{"message":"API key not valid."}})", 400), Kind::KeyRefused,
         u"Ошибка HTTP: HTTP/1.1 400 Bad Request (Код: 400)\r\nОтвет: API key not valid."_s},
        {FakeReply::json(R"({"error":{"message":"denied"}})", 403), Kind::KeyRefused,
         u"Ошибка HTTP: "_s},
        {FakeReply::json("{}", 407), Kind::ProxyRefused, u"Ошибка: прокси-сервер"_s},
        {FakeReply::json("oops", 500), Kind::Failed, u"Ошибка HTTP: "_s},
        {FakeReply::json("not json"), Kind::Failed, u"Ошибка: получен пустой"_s},
        {stalled, Kind::TimedOut, u"Исключение: TimeoutError - "_s},
    };
    for (const Case& c : cases) {
        service.reply(c.reply);
        const ModelListing listing = list(u"KEY"_s, 1);
        ASSERT_FALSE(listing.has_value()) << c.textStart.toStdString();
        EXPECT_EQ(listing.error().What, c.kind) << listing.error().Text.toStdString();
        EXPECT_TRUE(listing.error().Text.startsWith(c.textStart))
            << listing.error().Text.toStdString();
    }
}

TEST_F(ModelListTest, NoServiceIsUnreachable) {
    const std::string gone = std::make_unique<FakeModelService>()->baseUrl();
    const ModelListing listing = ListGenerativeModels(
        {QString::fromStdString(gone), 5000, {ProxyMode::None, {}, {}, {}}}, u"KEY"_s);
    ASSERT_FALSE(listing.has_value());
    EXPECT_EQ(listing.error().What, ModelListFailure::Kind::Unreachable);
    EXPECT_TRUE(listing.error().Text.startsWith(u"Исключение: ConnectionError - "_s));
}

TEST_F(ModelListTest, KeyWithALineBreakIsNotSent) {
    const ModelListing listing = list(u"KEY\r\nX-Other: 1"_s);
    ASSERT_FALSE(listing.has_value());
    EXPECT_EQ(listing.error().What, ModelListFailure::Kind::Failed);
    EXPECT_TRUE(service.requests().empty());
}

TEST_F(ModelListTest, EndlessPagesEndInAFailure) {
    service.reply(FakeReply::json(
        R"({"models":[{"name":"models/m","supportedGenerationMethods":["generateContent"]}],"nextPageToken":"again"})"));
    const ModelListing listing = list();
    ASSERT_FALSE(listing.has_value());
    EXPECT_EQ(listing.error().What, ModelListFailure::Kind::Failed);
    EXPECT_EQ(service.requests().size(), 50u);
}

TEST(MergeModelNamesTest, NewNamesFollowAndTheUsersOwnStay) {
    struct Case {
        QStringList current;
        QStringList listed;
        QStringList merged;
    };
    const Case cases[] = {
        {{u"my-tuned-model"_s, u"GEMINI-2.5-PRO"_s},
         {u"gemini-2.5-pro"_s, u"gemini-3-flash"_s, u"Gemini-3-Flash"_s},
         {u"my-tuned-model"_s, u"GEMINI-2.5-PRO"_s, u"gemini-3-flash"_s}},
        {{}, {u"a"_s, u"b"_s}, {u"a"_s, u"b"_s}},
        {{u"a"_s, u""_s}, {}, {u"a"_s, u""_s}},
        // Only names the service could give go in.
        {{u"a"_s},
         {u"../../../etc/passwd"_s, u"b c"_s, u".."_s, u"tunedModels/mine-1"_s, u"x?y"_s},
         {u"a"_s, u"tunedModels/mine-1"_s}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MergeModelNames(c.current, c.listed), c.merged);

    // A long list merges at once (the check is linear, not pairwise).
    QStringList many;
    for (int i = 0; i < 200000; ++i)
        many.append(u"model-%1"_s.arg(i));
    EXPECT_EQ(MergeModelNames({u"MODEL-7"_s}, many).size(), 200000);
}

TEST(ModelNameTest, OnlyTheServicesOwnNamesAndNeverAnotherPath) {
    const struct {
        const char16_t* name;
        bool valid;
        const char* path;
    } cases[] = {
        {u"gemini-2.5-pro", true, "/v1beta/models/gemini-2.5-pro:generateContent"},
        {u"models/gemini-3-flash", true, "/v1beta/models/gemini-3-flash:generateContent"},
        {u"tunedModels/my_model.v2", true, "/v1beta/tunedModels/my_model.v2:generateContent"},
        {u"../../../etc/passwd", false,
         "/v1beta/models/..%2F..%2F..%2Fetc%2Fpasswd:generateContent"},
        {u"..", false, "/v1beta/models/..:generateContent"},
        {u"name with space", false, "/v1beta/models/name%20with%20space:generateContent"},
        {u"модель", false, "/v1beta/models/%D0%BC%D0%BE%D0%B4%D0%B5%D0%BB%D1%8C:generateContent"},
        {u"a?key=1#x", false, "/v1beta/models/a%3Fkey%3D1%23x:generateContent"},
        {u"", false, "/v1beta/models/:generateContent"},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromUtf16(c.name);
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(IsValidModelName(name), c.valid);
        EXPECT_EQ(RequestUrl(u"http://h"_s, TRequestType::rtGenerateContent, name),
                  QByteArray("http://h") + c.path);
    }
}

} // namespace
