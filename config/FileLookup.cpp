#include "config/FileLookup.h"

#include <unistd.h>

#include <array>
#include <cstdlib>

namespace pulsedesk::config {
namespace {

constexpr std::string_view kSettingsName = "pulsedesk.cfg";
constexpr std::string_view kMessagesName = "pulsedesk.msg";

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// $variable when it is an absolute path, else $HOME/fallback, else empty; then "/pulsedesk".
std::string UserFolder(const char* variable, std::string_view homeFallback) {
    std::string base = Variable(variable);
    if (base.empty() || base.front() != '/') {
        const std::string home = Variable("HOME");
        if (home.empty()) return {};
        base = home + "/" + std::string(homeFallback);
    }
    return base + "/pulsedesk";
}

std::vector<std::string> Candidates(std::string_view exePath, std::string_view extension,
                                    const std::string& userFolder, const std::string& systemFolder,
                                    std::string_view fileName) {
    std::vector<std::string> candidates{SiblingFileName(exePath, extension)};
    for (const std::string& folder : {userFolder, systemFolder})
        if (!folder.empty()) candidates.push_back(folder + "/" + std::string(fileName));
    return candidates;
}

std::string FolderOf(std::string_view path) {
    return std::string(path.substr(0, path.rfind('/') + 1));
}

bool IsWritableFolder(const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; }

}  // namespace

std::string ProgramFolder() {
    std::array<char, 4096> path{};
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return {};
    const std::string exe(path.data(), static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

LookupRoots RootsFromEnvironment() {
    LookupRoots roots;
    roots.userConfig = UserFolder("XDG_CONFIG_HOME", ".config");
    roots.userData = UserFolder("XDG_DATA_HOME", ".local/share");
    return roots;
}

std::vector<std::string> SettingsFileCandidates(std::string_view exePath,
                                                const LookupRoots& roots) {
    return Candidates(exePath, ".cfg", roots.userConfig, roots.systemConfig, kSettingsName);
}

std::vector<std::string> MessageFileCandidates(std::string_view exePath, const LookupRoots& roots) {
    return Candidates(exePath, ".msg", roots.userData, roots.systemData, kMessagesName);
}

std::string FirstExistingFile(const std::vector<std::string>& candidates) {
    for (const std::string& candidate : candidates)
        if (IsExistingFile(candidate)) return candidate;
    return {};
}

ExactFile ChooseFile(const std::vector<std::string>& candidates) {
    const std::string found = FirstExistingFile(candidates);
    return {found.empty() ? candidates.front() : found};
}

std::string TriedPathsText(std::string_view what, const std::vector<std::string>& candidates) {
    std::string text = "Looked for the " + std::string(what) + " in:";
    for (const std::string& candidate : candidates) text += " " + candidate;
    return text;
}

std::string DefaultWorkFolder(std::string_view exePath, const std::string& settingsFile,
                              const LookupRoots& roots) {
    const std::string programFolder = FolderOf(exePath);
    // Root may write anywhere, so writability alone cannot tell a portable copy from /usr/bin.
    const bool portable = settingsFile == SiblingFileName(exePath, ".cfg");
    if ((portable && IsWritableFolder(programFolder)) || roots.userData.empty())
        return programFolder;
    return roots.userData + "/reports/";
}

}  // namespace pulsedesk::config
