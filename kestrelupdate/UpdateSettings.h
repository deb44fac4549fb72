#pragma once
// Where the update wizard looks for the version record and how it gets there:
// the server's base address (a setting of the suite, overridden by
// KESTREL_UPDATE_URL in the environment) and the HTTP proxy the download uses.

#include <QString>
#include <QUrl>

#include <cstdint>
#include <string>

namespace kestrelupdate {

inline constexpr char kUpdateServerEnv[] = "KESTREL_UPDATE_URL";
inline constexpr char kUpdateServerValue[] = "UpdateServer";  // under the maker's key

inline constexpr char kVersionFilePath[] = "/versions/kestrel/version.zip";
inline constexpr char kProductPagePath[] = "/kestrel";

// The server's base address as configured: KESTREL_UPDATE_URL when set and
// not empty, else the "UpdateServer" string under the maker's key, else
// fallback (the maker's site). Not checked here: see ServerUrl.
[[nodiscard]] QString ConfiguredUpdateServer(const std::string& makerKeyPath, const QString& fallback);

// base + path when base is an absolute http or https address with a host
// (a trailing "/" of base is dropped); an invalid QUrl otherwise.
[[nodiscard]] QUrl ServerUrl(const QString& base, const char* path);

enum class ProxyMode : std::uint32_t {
    System = 0,  // the desktop's proxy settings (http_proxy, no_proxy, ...)
    None = 1,    // connect directly
    Manual = 2,  // the HTTP proxy at host:port
};

struct ProxySetting {
    ProxyMode mode = ProxyMode::System;
    QString host;
    std::uint16_t port = 8080;

    friend bool operator==(const ProxySetting&, const ProxySetting&) = default;
};

// The registry values of the proxy setting, in the wizard's key.
inline constexpr char kProxyModeValue[] = "ProxyMode";
inline constexpr char kProxyHostValue[] = "ProxyHost";
inline constexpr char kProxyPortValue[] = "ProxyPort";

// The stored setting; the system's proxy when nothing usable is stored (an
// unknown mode, a manual proxy without host or with port 0).
[[nodiscard]] ProxySetting LoadProxySetting(const std::string& wizardKeyPath);
bool SaveProxySetting(const std::string& wizardKeyPath, const ProxySetting& setting);

} // namespace kestrelupdate
