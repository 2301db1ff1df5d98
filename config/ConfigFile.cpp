#include "config/ConfigFile.h"

#include <array>

#include "config/SiblingFile.h"

namespace pulsedesk::config {
namespace {

constexpr std::array<std::string_view, 4> kSectionNames = {"CHANNELS", "SYSTEM", "STANDART_MODE",
                                                           "Head_Line"};

}  // namespace

ConfigFile::ConfigFile(std::string_view exePath)
    : ConfigFile(ExactFile{SiblingFileName(exePath, ".cfg")}) {}

ConfigFile::ConfigFile(ExactFile file) : fileName_(std::move(file.path)) {
    if (IsExistingFile(fileName_)) ini_ = std::make_unique<TExtIniFile>(fileName_);
}

std::string ConfigFile::ReadConfigString(ConfigSection section, std::string_view key) const {
    const auto index = static_cast<std::size_t>(section);  // negative indexes wrap out of range
    if (!ini_ || index >= kSectionNames.size()) return {};
    return ini_->ReadString(kSectionNames[index], key, {});
}

}  // namespace pulsedesk::config
