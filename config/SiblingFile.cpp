#include "config/SiblingFile.h"

#include <filesystem>
#include <system_error>

namespace pulsedesk::config {

std::string SiblingFileName(std::string_view exePath, std::string_view extension) {
    const std::size_t slash = exePath.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = exePath.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot > nameStart;
    return std::string(exePath.substr(0, hasExtension ? dot : exePath.size())) +
           std::string(extension);
}

bool IsExistingFile(const std::string& fileName) {
    std::error_code error;
    const auto status = std::filesystem::status(fileName, error);
    return !error && std::filesystem::is_regular_file(status);
}

}  // namespace pulsedesk::config
