#include "service/SettingsFile.h"

#include "text/ControlCharacters.h"
#include "text/RegularFile.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStringDecoder>

#include <array>
#include <optional>
#include <utility>

// The file is written and read here rather than through QSettings: QSettings passes over
// lines it cannot read, so a damaged file would load as if it were fine, and it caches
// files per process, so a write that failed would read back as saved.

namespace {

using namespace Qt::StringLiterals;

const QString kAddressKey = u"Service/Address"_s;
const QString kTimeoutKey = u"Service/TimeoutSeconds"_s;
const QString kProxyModeKey = u"Proxy/Mode"_s;
const QString kProxyAddressKey = u"Proxy/Address"_s;
const QString kProxyUserKey = u"Proxy/User"_s;
const QString kProxyPasswordKey = u"Proxy/Password"_s;
const QString kShowThoughtsKey = u"Answers/ShowThoughts"_s;
const QString kChatDefaultsKey = u"Chats/Defaults"_s;

constexpr std::array kModeNames{std::pair{ProxyMode::None, "none"_L1},
                                std::pair{ProxyMode::Environment, "environment"_L1},
                                std::pair{ProxyMode::Manual, "manual"_L1}};

QLatin1StringView modeName(ProxyMode mode) {
    for (const auto& [value, name] : kModeNames) {
        if (value == mode)
            return name;
    }
    return kModeNames[1].second;
}

std::optional<ProxyMode> modeNamed(const QString& name) {
    for (const auto& [value, known] : kModeNames) {
        if (name == known)
            return value;
    }
    return std::nullopt;
}

QString unreadable(const QString& path, const FileReadFailure& failure) {
    if (failure.Cause == FileRefusal::TooLarge)
        return u"Файл настроек %1 не прочитан: %2. Действуют настройки по умолчанию; файл "
               u"не будет перезаписан, пока он так велик."_s.arg(path, failure.Reason);
    return u"Файл настроек %1 не читается (%2). Действуют настройки по умолчанию."_s.arg(
        path, failure.Reason);
}

QString damaged(const QString& path, const QString& reason) {
    return u"Файл настроек %1 повреждён (%2). Действуют настройки по умолчанию; "
           u"файл будет заменён, когда вы сохраните настройки."_s.arg(path, reason);
}

using Values = QHash<QString, QString>;

// "[Section]" lines and "Name=value" lines below them, each value as it stands to the
// end of its line; blank lines and lines starting with ';' or '#' are comments.
Expected<Values> parseIni(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (utf8.hasError())
        return Failure(u"это не текст UTF-8"_s);
    Values values;
    QString section;
    int lineNumber = 0;
    for (QStringView line : QStringView(text).split(u'\n')) {
        ++lineNumber;
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            section = trimmed.sliced(1, trimmed.size() - 2).trimmed().toString();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || section.isEmpty())
            return Failure(u"строка %1 непонятна"_s.arg(lineNumber));
        values.insert(section + u'/' + line.first(equals).trimmed().toString(),
                      line.sliced(equals + 1).toString());
    }
    return values;
}

QByteArray writeIni(const ServiceSettings& settings) {
    const QString text =
        u"; Tovik-L: the connection to the model service.\n"
        u"; Proxy mode: none, environment (http_proxy, https_proxy, all_proxy) or manual.\n"
        u"[Service]\nAddress=%1\nTimeoutSeconds=%2\n\n"
        u"[Proxy]\nMode=%3\nAddress=%4\nUser=%5\nPassword=%6\n\n"
        u"[Answers]\nShowThoughts=%7\n"_s.arg(
            settings.BaseUrl, QString::number(settings.TimeoutSeconds),
            modeName(settings.Proxy.Mode), settings.Proxy.Address, settings.Proxy.User,
            settings.Proxy.Password, settings.ShowThoughts ? u"true"_s : u"false"_s);
    if (settings.ChatDefaults.IsDefault())
        return text.toUtf8();
    // One line of JSON, the form a chat file keeps its own parameters in.
    const QByteArray defaults =
        QJsonDocument(ChatParametersToJson(settings.ChatDefaults)).toJson(QJsonDocument::Compact);
    return text.toUtf8() + "\n; The parameters new chats start with.\n[Chats]\nDefaults=" +
           defaults + '\n';
}

// A missing file gives the defaults; a value missing from the file keeps its default, one
// that is there must be right.
Expected<ServiceSettings> readSettings(const QString& path) {
    const Expected<QByteArray, FileReadFailure> bytes = ReadRegularFile(path, kMaxSmallFileSize);
    if (!bytes && bytes.error().Cause == FileRefusal::Missing)
        return ServiceSettings();
    if (!bytes)
        return Failure(unreadable(path, bytes.error()));
    const Expected<Values> values = parseIni(*bytes);
    if (!values)
        return Failure(damaged(path, values.error()));

    ServiceSettings settings;
    settings.BaseUrl = values->value(kAddressKey, settings.BaseUrl).trimmed();
    if (values->contains(kTimeoutKey)) {
        bool isNumber = false;
        settings.TimeoutSeconds = values->value(kTimeoutKey).trimmed().toInt(&isNumber);
        if (!isNumber)
            return Failure(damaged(path, u"время ожидания не число"_s));
    }
    if (values->contains(kProxyModeKey)) {
        const std::optional<ProxyMode> mode = modeNamed(values->value(kProxyModeKey).trimmed());
        if (!mode)
            return Failure(damaged(path, u"неизвестный вид прокси"_s));
        settings.Proxy.Mode = *mode;
    }
    if (values->contains(kShowThoughtsKey)) {
        const QString show = values->value(kShowThoughtsKey).trimmed();
        if (show != u"true" && show != u"false")
            return Failure(damaged(path, u"показ размышлений не true и не false"_s));
        settings.ShowThoughts = show == u"true";
    }
    if (values->contains(kChatDefaultsKey)) {
        const QJsonDocument defaults =
            QJsonDocument::fromJson(values->value(kChatDefaultsKey).trimmed().toUtf8());
        if (!defaults.isObject())
            return Failure(damaged(path, u"параметры новых чатов не объект JSON"_s));
        settings.ChatDefaults = ChatParametersFromJson(defaults.object());
    }
    settings.Proxy.Address = values->value(kProxyAddressKey).trimmed();
    settings.Proxy.User = values->value(kProxyUserKey);
    settings.Proxy.Password = values->value(kProxyPasswordKey);
    if (Expected<void> valid = CheckServiceSettings(settings); !valid)
        return Failure(damaged(path, valid.error()));
    return settings;
}

} // namespace

SettingsFile::SettingsFile(QString path) : m_path(std::move(path)) {}

Expected<void> SettingsFile::Load() {
    m_saved = ServiceSettings();
    Expected<ServiceSettings> read = readSettings(m_path);
    if (!read)
        return Failure(read.error());
    m_saved = *read;
    return {};
}

ServiceSettings SettingsFile::Effective() const {
    ServiceSettings effective = m_saved;
    if (!m_baseUrlOverride.isEmpty())
        effective.BaseUrl = m_baseUrlOverride;
    return effective;
}

Expected<void> SettingsFile::Save(const ServiceSettings& settings) {
    if (Expected<void> valid = CheckServiceSettings(settings); !valid)
        return valid;
    {
        // A file too large to read holds nothing known: it is the user's to remove.
        QFile existing(m_path);
        const Expected<void, FileReadFailure> open = OpenRegularFile(existing, kMaxSmallFileSize);
        if (!open && open.error().Cause == FileRefusal::TooLarge)
            return Failure(u"Файл настроек %1 не перезаписан: %2. Уменьшите или удалите его."_s.arg(
                m_path, open.error().Reason));
    }
    QSaveFile file(m_path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         // Before any byte goes in: the file may hold a proxy password.
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(writeIni(settings)) >= 0 && file.commit();
    if (!written)
        return Failure(
            u"Не удалось записать файл настроек %1: %2"_s.arg(m_path, file.errorString()));
    m_saved = settings;
    return {};
}
