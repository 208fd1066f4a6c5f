// The connection settings at work: a proxy named by the user or the environment, proxy
// sign-in, and the time-out. The loopback service plays the proxy: asked for a host that
// cannot resolve, it can only have been reached as the proxy.
#include "ModelServiceFixture.h"

#include <QElapsedTimer>

#include <cstdlib>

namespace {

using namespace Qt::StringLiterals;

const QString kUnresolvable = u"http://service.invalid"_s;
const std::string kAnswer = R"({"candidates":[{"content":{"parts":[{"text":"через прокси"}]}}]})";

// Sets an environment variable for one test and puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class ProxyTest : public ModelServiceTest {
protected:
    void useSettings(ProxySettings proxy, const QString& baseUrl = kUnresolvable,
                     int timeoutSeconds = kDefaultTimeoutSeconds) {
        dm.SetServiceSettings({baseUrl, std::move(proxy), timeoutSeconds});
    }

    ProxySettings manualProxy(const QString& user = {}, const QString& password = {}) const {
        return {ProxyMode::Manual, QString::fromStdString(service.baseUrl()), user, password};
    }

    static std::string header(const FakeRequest& request, const std::string& name) {
        const auto found = request.headers.find(name);
        return found == request.headers.end() ? std::string() : found->second;
    }
};

TEST_F(ProxyTest, ManualProxyCarriesTheRequest) {
    service.reply(FakeReply::json(kAnswer));
    useSettings(manualProxy());
    EXPECT_EQ(generate(textParts(u"q"_s)), u"через прокси"_s);
    const FakeRequest request = onlyRequest();
    EXPECT_EQ(request.target, "http://service.invalid/v1beta/models/gemini-test:generateContent");
    EXPECT_EQ(header(request, "x-goog-api-key"), "KEY");
}

TEST_F(ProxyTest, SocksProxyResolvesTheNameAndSignsIn) {
    service.reply(FakeReply::json(kAnswer));
    ProxySettings socks = manualProxy(u"user"_s, u"пароль"_s);
    socks.Address.replace(u"http://"_s, u"socks5h://"_s);
    useSettings(socks);
    EXPECT_EQ(generate(textParts(u"q"_s)), u"через прокси"_s);
    const std::vector<FakeRequest> requests = service.requests();
    ASSERT_EQ(requests.size(), 2u);
    // The name went to the proxy unresolved.
    EXPECT_EQ(requests[0].method, "SOCKS5");
    EXPECT_EQ(requests[0].target, "service.invalid:80");
    EXPECT_EQ(header(requests[0], "user"), "user");
    EXPECT_EQ(header(requests[0], "password"), "пароль");
    EXPECT_EQ(requests[1].target, "/v1beta/models/gemini-test:generateContent");
    EXPECT_EQ(header(requests[1], "x-goog-api-key"), "KEY");
}

TEST_F(ProxyTest, ProxySignInUsesTheUserAndPassword) {
    // The proxy asks for credentials first, as real ones do, and then lets the request by.
    service.respond([](const FakeRequest& request) {
        if (request.headers.count("Proxy-Authorization") == 0) {
            FakeReply ask = FakeReply::json("{}", 407);
            ask.headers = {{"Proxy-Authenticate", R"(Basic realm="test")"}};
            return ask;
        }
        return FakeReply::json(kAnswer);
    });
    useSettings(manualProxy(u"user"_s, u"pass word"_s));
    EXPECT_EQ(generate(textParts(u"q"_s)), u"через прокси"_s);
    const std::vector<FakeRequest> requests = service.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(header(requests.back(), "Proxy-Authorization"),
              "Basic " + QByteArray("user:pass word").toBase64().toStdString());
}

TEST_F(ProxyTest, ProxyRefusingTheSignInHasItsOwnText) {
    FakeReply refuse = FakeReply::json("denied", 407);
    refuse.statusLine = "HTTP/1.1 407 Proxy Authentication Required";
    refuse.headers = {{"Proxy-Authenticate", R"(Basic realm="test")"}};
    service.reply(refuse);
    const QString expected = u"Ошибка: прокси-сервер требует входа и не принял имя "
                             u"пользователя или пароль (HTTP 407). Проверьте их в окне "
                             u"«Настройки»."_s;
    // The request itself for an http:// service, the tunnel for an https:// one.
    for (const QString& baseUrl : {kUnresolvable, u"https://service.invalid"_s}) {
        useSettings(manualProxy(u"user"_s, u"wrong"_s), baseUrl);
        dm.ClearHistory();
        EXPECT_EQ(generate(textParts(u"q"_s)), expected) << baseUrl.toStdString();
    }
    const std::vector<FakeRequest> requests = service.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().method, "CONNECT");
    EXPECT_EQ(requests.back().target, "service.invalid:443");
}

TEST_F(ProxyTest, EnvironmentProxyIsUsedOnlyWhenChosen) {
    service.reply(FakeReply::json(kAnswer));
    const ScopedEnvironment proxy("http_proxy", service.baseUrl());

    useSettings({ProxyMode::Environment, {}, {}, {}});
    EXPECT_EQ(generate(textParts(u"q"_s)), u"через прокси"_s);
    EXPECT_EQ(service.requests().size(), 1u);

    useSettings({ProxyMode::None, {}, {}, {}});
    dm.ClearHistory();
    const QString direct = generate(textParts(u"q"_s));
    EXPECT_TRUE(direct.startsWith(u"Исключение: NameResolutionError - "_s)) << direct.toStdString();
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(ProxyTest, ManualProxyIsUsedEvenForHostsTheEnvironmentExempts) {
    service.reply(FakeReply::json(kAnswer));
    const ScopedEnvironment exempt("no_proxy", "service.invalid,127.0.0.1,localhost");
    useSettings(manualProxy());
    EXPECT_EQ(generate(textParts(u"q"_s)), u"через прокси"_s);
}

TEST_F(ProxyTest, TimeOutSettingEndsAStalledRequestAtTheSetTime) {
    FakeReply stalled = FakeReply::json(kAnswer);
    stalled.holdBeforeHeaders = true;
    service.reply(stalled);
    useSettings({ProxyMode::None, {}, {}, {}}, QString::fromStdString(service.baseUrl()), 1);

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(generate(textParts(u"q"_s)),
              u"Исключение: TimeoutError - no data from the server for 1000 ms"_s);
    // Well before the service's own hold of 30 s would end it.
    EXPECT_GE(elapsed.elapsed(), 1000);
    EXPECT_LT(elapsed.elapsed(), 15000);
}

} // namespace
