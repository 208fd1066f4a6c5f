#include "page/FailureBlock.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

RequestFailure httpFailure(int status, QString reason = {}, int delay = 0) {
    return {.Text = u"Ошибка HTTP: HTTP/1.1 %1 X (Код: %1)\r\nОтвет: x"_s.arg(status),
            .Cause = FailureCause::HttpStatus,
            .HttpStatus = status,
            .ErrorReason = std::move(reason),
            .RetryDelaySeconds = delay};
}

// The explanation comes from what the request saw, never from the failure text.
TEST(FailureBlock, KnownFailuresAreExplainedInOneLine) {
    const struct {
        const char* name;
        RequestFailure failure;
        const char16_t* explanation;
    } cases[] = {
        {"no connection",
         {u"Исключение: ConnectionError - x"_s, FailureCause::NoConnection},
         u"Нет соединения с сервером: проверьте подключение к интернету или прокси."},
        {"time-out",
         {u"x"_s, FailureCause::TimedOut},
         u"Сервер слишком долго не отвечал: повторите запрос позже."},
        {"bad key", httpFailure(400, u"API_KEY_INVALID"_s),
         u"Ключ API недействителен (400): проверьте его или создайте новый."},
        {"bad request", httpFailure(400),
         u"Сервер не принял запрос (400): проверьте ключ API, имя модели и вложения."},
        {"forbidden", httpFailure(403),
         u"Доступ запрещён (403): ключ не даёт доступа к этой модели или сервису."},
        {"quota with a delay", httpFailure(429, {}, 38),
         u"Исчерпана квота запросов (429): повторите через 38 с."},
        {"quota", httpFailure(429),
         u"Исчерпана квота запросов (429): подождите и повторите позже."},
        {"busy", httpFailure(503),
         u"Сервис перегружен или временно недоступен (503): повторите чуть позже."},
        {"server error", httpFailure(500),
         u"Сервис перегружен или временно недоступен (500): повторите чуть позже."},
        {"other status", httpFailure(418), u""},
        {"a text that looks like a status", {u"Ошибка HTTP: (Код: 429)"_s}, u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailureExplanation(c.failure), QString::fromUtf16(c.explanation)) << c.name;
}

TEST(FailureBlock, BlockHasItsOwnFormAndShowsTheTextAsText) {
    const QDateTime time(QDate(2025, 11, 3), QTime(14, 5, 9));
    RequestFailure proxyPage = httpFailure(503);
    proxyPage.Text = u"Ошибка HTTP: HTTP/1.1 503 (Код: 503)\r\nОтвет: <h1>Busy</h1>"_s;
    EXPECT_EQ(BuildFailureMessageHtml(proxyPage, u"t1"_s, time),
              u"<div class=\"message-wrapper model-message failure-message\">  <div "
              u"class=\"message-header\">    <strong>⚠ Ошибка</strong>    <span "
              u"class=\"timestamp\">14:05:09 - 03.11.2025</span>  </div>  <div "
              u"class=\"message-content\"><p class=\"failure-explanation\">Сервис перегружен или "
              u"временно недоступен (503): повторите чуть позже.</p><details><summary>Подробнее"
              u"</summary><div class=\"failure-text\">Ошибка HTTP: HTTP/1.1 503 (Код: 503)\r\n"
              u"Ответ: &lt;h1&gt;Busy&lt;/h1&gt;</div></details><p class=\"failure-actions\"><a "
              u"class=\"retry-btn\" href=\"#retry-t1\">Повторить</a></p></div></div>"_s);
    // Without an explanation the text is the content; without a token there is no link.
    EXPECT_EQ(BuildFailureMessageHtml({u"Файл \"a<b>.png\" больше 20 МБ"_s}, {}, time),
              u"<div class=\"message-wrapper model-message failure-message\">  <div "
              u"class=\"message-header\">    <strong>⚠ Ошибка</strong>    <span "
              u"class=\"timestamp\">14:05:09 - 03.11.2025</span>  </div>  <div "
              u"class=\"message-content\"><div class=\"failure-text\">Файл &quot;a&lt;b&gt;.png"
              u"&quot; больше 20 МБ</div></div></div>"_s);
}

} // namespace
