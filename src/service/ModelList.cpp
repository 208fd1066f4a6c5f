#include "service/ModelList.h"

#include "service/AnswerReading.h"
#include "text/ControlCharacters.h"
#include "service/HttpPost.h"
#include "service/RequestBody.h"
#include "service/ResponseFailure.h"
#include "text/ListFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace {

using namespace Qt::StringLiterals;

// The service lists a few dozen models; a service that keeps handing out pages is broken.
constexpr int kMostPages = 50;

struct ModelPage {
    QStringList models;
    QString nextPageToken;
};

QByteArray pageUrl(const QString& baseUrl, const QString& pageToken) {
    QString base = baseUrl;
    while (base.endsWith(u'/'))
        base.chop(1);
    QByteArray url = base.toUtf8() + "/v1beta/models?pageSize=1000";
    if (!pageToken.isEmpty())
        url += "&pageToken=" + QUrl::toPercentEncoding(pageToken);
    return url;
}

bool canGenerateContent(const QJsonObject& model) {
    return model.value("supportedGenerationMethods"_L1)
        .toArray()
        .contains(QJsonValue(u"generateContent"_s));
}

// A name the model box can hold and a request address can carry.
std::optional<QString> modelName(const QJsonObject& model) {
    QString name = model.value("name"_L1).toString();
    if (name.startsWith("models/"_L1))
        name.remove(0, 7);
    if (name.isEmpty() || HasControlCharacter(name))
        return std::nullopt;
    return name;
}

std::optional<ModelPage> readPage(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject page = document.object();
    ModelPage read;
    for (const QJsonValue& entry : page.value("models"_L1).toArray()) {
        const QJsonObject model = entry.toObject();
        if (!canGenerateContent(model))
            continue;
        if (std::optional<QString> name = modelName(model))
            read.models.append(*name);
    }
    read.nextPageToken = page.value("nextPageToken"_L1).toString();
    return read;
}

ModelListFailure::Kind kindOf(const HttpResponse& response) {
    using Kind = ModelListFailure::Kind;
    if (response.ProxyAuthenticationRequired)
        return Kind::ProxyRefused;
    if (response.Refusal != HttpRefusal::None)
        return Kind::Failed;
    if (response.Failure)
        return response.Failure->Kind == "TimeoutError"_L1 ? Kind::TimedOut : Kind::Unreachable;
    const int code = response.StatusCode;
    return code == 400 || code == 401 || code == 403 ? Kind::KeyRefused : Kind::Failed;
}

Failure<ModelListFailure> failed(ModelListFailure::Kind kind, const QString& text) {
    return Failure(ModelListFailure{kind, text});
}

} // namespace

ModelListing ListGenerativeModels(const ServiceEndpoint& endpoint, const QString& apiKey) {
    using Kind = ModelListFailure::Kind;
    // The key goes into a header line, which a line break would end early.
    if (HasControlCharacter(apiKey))
        return failed(Kind::Failed,
                      u"Ошибка: ключ API содержит управляющие символы, запрос не отправлен."_s);
    HttpOptions options = HttpOptionsOf(endpoint);
    options.Headers.append(ApiKeyHeader(apiKey));

    QStringList models;
    QString pageToken;
    for (int page = 0; page < kMostPages; ++page) {
        const HttpResponse response = GetJson(pageUrl(endpoint.BaseUrl, pageToken), options);
        if (!IsUsable(response))
            return failed(kindOf(response), FailureOf(response).Text);
        const std::optional<ModelPage> read = readPage(response.Body);
        if (!read)
            return failed(Kind::Failed,
                          u"Ошибка: получен пустой или некорректный ответ от сервера."_s);
        models += read->models;
        if (read->nextPageToken.isEmpty())
            return models;
        pageToken = read->nextPageToken;
    }
    return failed(Kind::Failed, u"Ошибка: сервер отдаёт всё новые страницы списка моделей, "
                                u"после %1 страниц список прерван."_s.arg(kMostPages));
}

QStringList MergeModelNames(const QStringList& current, const QStringList& listed) {
    // One look-up per name, so a list of any length merges in linear time.
    QSet<QString> known;
    known.reserve(current.size() + listed.size());
    for (const QString& name : current)
        known.insert(name.toCaseFolded());
    QStringList merged = current;
    for (const QString& name : listed) {
        if (IsValidModelName(name) && !known.contains(name.toCaseFolded())) {
            known.insert(name.toCaseFolded());
            merged.append(name);
        }
    }
    return merged;
}

ModelListAddition NewModelNames(const QStringList& current, const QStringList& listed,
                                TextFormat format) {
    ModelListAddition addition;
    addition.Added = MergeModelNames(current, listed).sliced(current.size());
    addition.Refused = std::count_if(listed.cbegin(), listed.cend(),
                                     [](const QString& name) { return !IsValidModelName(name); });
    const qsizetype fit = ListLinesThatFit(current, addition.Added, format);
    addition.LeftOut = addition.Added.size() - fit;
    addition.Added.resize(fit);
    return addition;
}

bool IsValidModelName(const QString& name) {
    QStringView id(name);
    if (id.startsWith(u"models/"))
        id = id.sliced(7);
    else if (id.startsWith(u"tunedModels/"))
        id = id.sliced(12);
    bool letterOrDigit = false;
    for (const QChar c : id) {
        const bool ascii = c.unicode() < 128;
        if (ascii && c.isLetterOrNumber())
            letterOrDigit = true;
        else if (c != u'.' && c != u'_' && c != u'-')
            return false;
    }
    return letterOrDigit;
}

QString InvalidModelNameMessage(const QString& name) {
    return u"Имя модели «%1» не подходит: в нём могут быть только латинские буквы, цифры, "
           u"точка, подчёркивание и дефис (и приставка models/ или tunedModels/)."_s
        .arg(name.left(100));
}
