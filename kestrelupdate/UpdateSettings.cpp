#include "kestrelupdate/UpdateSettings.h"

#include "platform/Registry.h"

#include <array>

namespace kestrelupdate {

QString ConfiguredUpdateServer(const std::string& makerKeyPath, const QString& fallback)
{
    const QString fromEnvironment = qEnvironmentVariable(kUpdateServerEnv).trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (const auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, makerKeyPath, platform::RegOpen::Read)) {
        const auto value = key->Read(kUpdateServerValue);
        if (value && value->type == platform::RegType::Sz && !value->text.empty())
            return QString::fromStdString(value->text).trimmed();
    }
    return fallback;
}

QUrl ServerUrl(const QString& base, const char* path)
{
    QString address = base.trimmed();
    while (address.endsWith(u'/'))
        address.chop(1);
    const QUrl url(address + QString::fromUtf8(path), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty() || url.hasQuery() ||
        url.hasFragment())
        return {};
    return url;
}

ProxySetting LoadProxySetting(const std::string& wizardKeyPath)
{
    const auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, wizardKeyPath, platform::RegOpen::Read);
    if (!key)
        return {};
    const auto mode = key->Read(kProxyModeValue);
    if (!mode || mode->type != platform::RegType::Dword || mode->number > static_cast<std::uint32_t>(ProxyMode::Manual))
        return {};
    ProxySetting setting;
    setting.mode = static_cast<ProxyMode>(mode->number);
    if (setting.mode != ProxyMode::Manual)
        return setting;
    const auto host = key->Read(kProxyHostValue);
    const auto port = key->Read(kProxyPortValue);
    if (!host || host->type != platform::RegType::Sz || host->text.empty() || !port ||
        port->type != platform::RegType::Dword || port->number == 0 || port->number > 65535)
        return {};
    setting.host = QString::fromStdString(host->text);
    setting.port = static_cast<std::uint16_t>(port->number);
    return setting;
}

bool SaveProxySetting(const std::string& wizardKeyPath, const ProxySetting& setting)
{
    auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, wizardKeyPath, platform::RegOpen::Create);
    if (!key)
        return false;
    const std::array<platform::NamedRegValue, 3> values{{
        {kProxyModeValue, platform::RegValue::Dword(static_cast<std::uint32_t>(setting.mode))},
        {kProxyHostValue, platform::RegValue::String(setting.host.toStdString())},
        {kProxyPortValue, platform::RegValue::Dword(setting.port)},
    }};
    return key->WriteAll(values);
}

} // namespace kestrelupdate
