#include "config/LinkSetting.h"

namespace pulsedesk::config {

LinkSetting LinkSettingOf(const ConfigFile& settings) {
    if (settings.ReadConfigString(ConfigSection::SYSTEM, keys::kTarlinkSupport) == "1")
        return {LinkSetting::Kind::Mux, {}};
    std::string port = settings.ReadConfigString(ConfigSection::SYSTEM, keys::kComPort);
    if (port.empty()) return {LinkSetting::Kind::NoPort, {}};
    return {LinkSetting::Kind::Port, std::move(port)};
}

std::string EmptyPortText(const ConfigFile& settings) {
    return "COM-Port is empty in the settings file " + settings.FileName();
}

}  // namespace pulsedesk::config
