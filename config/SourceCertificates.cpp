#include "config/SourceCertificates.h"

#include "config/TExtIniFile.h"

namespace pulsedesk::config {

std::vector<std::string> SourcesFileCandidates(const std::string& programFolder,
                                               const LookupRoots& roots) {
    std::vector<std::string> candidates;
    for (const std::string& folder : {programFolder, roots.userConfig, roots.systemConfig})
        if (!folder.empty())
            candidates.push_back(folder + (folder.back() == '/' ? "" : "/") + "sources.cfg");
    return candidates;
}

std::optional<SourceCertificate> FindSourceCertificate(const std::vector<std::string>& candidates,
                                                       const std::string& name) {
    const std::string file = FirstExistingFile(candidates);
    if (file.empty()) return std::nullopt;
    const TExtIniFile ini(file);
    if (!ini.SectionExists(name)) return std::nullopt;
    const auto value = [&](const char* key) { return ini.ReadString(name, key, ""); };
    return SourceCertificate{file,
                             value("Activity_Bq"),
                             value("Reference"),
                             value("HalfLife"),
                             value("U_percent"),
                             value("Coverage_k")};
}

}  // namespace pulsedesk::config
