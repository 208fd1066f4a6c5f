#include "page/FailureBlock.h"

#include "page/MessageBlocks.h"

namespace {

using namespace Qt::StringLiterals;

QString httpExplanation(const RequestFailure& failure) {
    const int status = failure.HttpStatus;
    switch (status) {
    case 400:
        if (failure.ErrorReason == u"API_KEY_INVALID")
            return u"Ключ API недействителен (400): проверьте его или создайте новый."_s;
        return u"Сервер не принял запрос (400): проверьте ключ API, имя модели и вложения."_s;
    case 401:
    case 403:
        return u"Доступ запрещён (%1): ключ не даёт доступа к этой модели или сервису."_s.arg(
            status);
    case 404:
        return u"Модель не найдена (404): проверьте её имя."_s;
    case 429:
        if (failure.RetryDelaySeconds > 0)
            return u"Исчерпана квота запросов (429): повторите через %1 с."_s.arg(
                failure.RetryDelaySeconds);
        return u"Исчерпана квота запросов (429): подождите и повторите позже."_s;
    case 500:
    case 502:
    case 503:
    case 504:
        return u"Сервис перегружен или временно недоступен (%1): повторите чуть позже."_s.arg(
            status);
    default:
        return {};
    }
}

// Line ends stay line ends: the block shows the text with white space kept.
QString failureText(const QString& text) {
    return u"<div class=\"failure-text\">"_s + EscapeHtml(text) + u"</div>"_s;
}

} // namespace

QString FailureExplanation(const RequestFailure& failure) {
    switch (failure.Cause) {
    case FailureCause::NoConnection:
        return u"Нет соединения с сервером: проверьте подключение к интернету или прокси."_s;
    case FailureCause::TimedOut:
        return u"Сервер слишком долго не отвечал: повторите запрос позже."_s;
    case FailureCause::HttpStatus:
        return httpExplanation(failure);
    case FailureCause::ConnectionLost:
        return u"Соединение оборвалось до конца ответа: повторите запрос."_s;
    case FailureCause::Other:
        break;
    }
    return {};
}

QString BuildFailureMessageHtml(const RequestFailure& failure, const QString& retryToken,
                                const QDateTime& time) {
    QString html = u"<div class=\"message-wrapper model-message failure-message\">  <div "
                   u"class=\"message-header\">    <strong>⚠ Ошибка</strong>    <span "
                   u"class=\"timestamp\">"_s;
    html += EscapeHtml(MessageTimestamp(time));
    html += u"</span>  </div>  <div class=\"message-content\">"_s;
    const QString explanation = FailureExplanation(failure);
    if (explanation.isEmpty()) {
        html += failureText(failure.Text);
    } else {
        html += u"<p class=\"failure-explanation\">"_s + EscapeHtml(explanation) + u"</p>"_s;
        html += u"<details><summary>Подробнее</summary>"_s + failureText(failure.Text) +
                u"</details>"_s;
    }
    if (!retryToken.isEmpty())
        html += u"<p class=\"failure-actions\"><a class=\"retry-btn\" href=\"#"_s +
                kRetryFragmentPrefix.toString() + EscapeHtml(retryToken) +
                u"\">Повторить</a></p>"_s;
    html += u"</div></div>"_s;
    return html;
}
