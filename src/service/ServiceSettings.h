#pragma once

#include "service/ChatParameters.h"
#include "text/Expected.h"

#include <QString>

// How requests reach the service: directly, through the proxy named in the usual
// environment variables (http_proxy, https_proxy, all_proxy, no_proxy), or through one
// the user names. User and password are used only for a proxy the user names.
enum class ProxyMode { None, Environment, Manual };

struct ProxySettings {
    ProxyMode Mode = ProxyMode::Environment;
    // http://, https:// or socks5h:// with a host, and a port when needed.
    QString Address;
    QString User;
    QString Password;

    bool operator==(const ProxySettings&) const = default;
};

inline constexpr int kDefaultTimeoutSeconds = 480;
inline constexpr int kMinTimeoutSeconds = 1;
inline constexpr int kMaxTimeoutSeconds = 24 * 60 * 60;

// What the user sets for the connection to the model service.
struct ServiceSettings {
    QString BaseUrl = PublicServiceAddress();
    ProxySettings Proxy;
    int TimeoutSeconds = kDefaultTimeoutSeconds;
    // Thinking models are asked for summaries of their thoughts, shown folded above answers.
    bool ShowThoughts = false;
    // The parameters a new chat starts with.
    ChatParameters ChatDefaults = {};

    static QString PublicServiceAddress();
    bool operator==(const ServiceSettings&) const = default;
};

// The checks, each with a message for the user naming what is wrong.
Expected<void> CheckServiceAddress(const QString& address);
Expected<void> CheckProxyAddress(const QString& address);
Expected<void> CheckServiceSettings(const ServiceSettings& settings);
