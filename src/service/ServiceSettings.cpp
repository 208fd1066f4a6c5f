#include "service/ServiceSettings.h"

#include "text/ControlCharacters.h"

#include <QUrl>

namespace {

using namespace Qt::StringLiterals;

// An address with one of the schemes and a host, nothing a URL parser would have to guess.
bool isAddressWithHost(const QString& address, std::initializer_list<QLatin1StringView> schemes) {
    if (HasControlCharacter(address))
        return false;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    for (QLatin1StringView scheme : schemes) {
        if (url.scheme() == scheme)
            return true;
    }
    return false;
}

} // namespace

QString ServiceSettings::PublicServiceAddress() {
    return u"https://generativelanguage.googleapis.com"_s;
}

Expected<void> CheckServiceAddress(const QString& address) {
    if (!isAddressWithHost(address, {"http"_L1, "https"_L1}))
        return Failure(u"Адрес сервиса должен начинаться с http:// или https:// и называть "
                       u"сервер, например https://generativelanguage.googleapis.com."_s);
    return {};
}

Expected<void> CheckProxyAddress(const QString& address) {
    if (!isAddressWithHost(address, {"http"_L1, "https"_L1, "socks5h"_L1}))
        return Failure(u"Адрес прокси должен начинаться с http://, https:// или socks5h:// и "
                       u"называть сервер, например http://127.0.0.1:3128."_s);
    // User and password have fields of their own; in the address they would be shown.
    if (!QUrl(address).userInfo().isEmpty())
        return Failure(u"Имя пользователя и пароль прокси впишите в их поля, "
                       u"а не в адрес."_s);
    return {};
}

Expected<void> CheckServiceSettings(const ServiceSettings& settings) {
    if (Expected<void> address = CheckServiceAddress(settings.BaseUrl); !address)
        return address;
    if (settings.Proxy.Mode == ProxyMode::Manual) {
        if (Expected<void> proxy = CheckProxyAddress(settings.Proxy.Address); !proxy)
            return proxy;
    }
    // Each is one line of the settings file, and the user and password go to the proxy.
    if (HasControlCharacter(settings.Proxy.Address) || HasControlCharacter(settings.Proxy.User) ||
        HasControlCharacter(settings.Proxy.Password))
        return Failure(u"Адрес, имя пользователя и пароль прокси не должны содержать "
                       u"управляющие символы."_s);
    if (settings.TimeoutSeconds < kMinTimeoutSeconds ||
        settings.TimeoutSeconds > kMaxTimeoutSeconds)
        return Failure(
            u"Время ожидания ответа должно быть от %1 до %2 секунд."_s.arg(kMinTimeoutSeconds)
                .arg(kMaxTimeoutSeconds));
    return {};
}
