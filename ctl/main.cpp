// pulsectl: the pulse counter from the shell, on the panel's link and report code.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "config/Cp1251.h"
#include "config/FileLookup.h"
#include "config/MessageFile.h"
#include "ctl/CommandLine.h"
#include "ctl/Counter.h"
#include "ctl/QaCommands.h"
#include "ctl/ReportCommands.h"
#include "ctl/Series.h"
#include "ctl/StatusText.h"
#include "ctl/Watch.h"
#include "link/StopSignals.h"
#include "link/commands.h"
#include "link/tser_muxserver.h"
#include "reports/ReportError.h"
#include "reports/ReportStore.h"
#include "version/Version.h"

using namespace pulsedesk;
using namespace pulsedesk::ctl;
using config::ConfigSection;

namespace {

// The panel's own pulsedesk.cfg and pulsedesk.msg, found where the panel finds them: beside this
// program (a portable copy), in the user's folders, then in the system's.
struct PanelFiles {
    std::string besidePanel = link::TSerialMux::ExecutableFolder() + "pulsedesk";
    config::LookupRoots roots = config::RootsFromEnvironment();
    config::ConfigFile config{config::ChooseFile(config::SettingsFileCandidates(besidePanel, roots))};
    config::MessageFile messages{
        config::ChooseFile(config::MessageFileCandidates(besidePanel, roots))};

    std::string ErrorText(std::uint8_t code) const {
        if (code == 0 || !messages.IsOpen()) return {};
        const auto kind = config::MessageKind::Error;
        std::string text;
        if (!messages.TryGetMessage(kind, code, text)) return {};
        return config::Cp1251ToUtf8(text);
    }
    std::int32_t SystemNumber(std::string_view key, std::int32_t fallback) const {
        std::int32_t value = fallback;
        if (!config::ParseIntegerText(config.ReadConfigString(ConfigSection::SYSTEM, key), value))
            value = fallback;
        return value;
    }
};

void PrintStatus(const Counter& counter, const PanelFiles& files, bool json) {
    const link::DeviceStatus& s = counter.Status();
    auto fields = StatusFields(s, files.ErrorText(s.errorCode));
    fields.insert(fields.begin() + 1, FlagsField(s.runFlags));  // the state names one bit only
    std::fputs(json ? (JsonObject(fields) + "\n").c_str() : StatusLines(fields).c_str(), stdout);
}

void PrintIdentity(Counter& counter) {
    const reports::DeviceInfo info = counter.Identify();
    std::printf("model     %s\nfirmware  %u.%u\nserial    %u\n", info.modelName.c_str(),
                info.firmwareVersion / 10u, info.firmwareVersion % 10u, info.serialNumber);
}

// The report store on the folder, identified like the panel's; raises ReportError when another
// program holds the folder.
std::unique_ptr<reports::ReportStore> OpenReports(Counter& counter, const PanelFiles& files,
                                                  const std::string& folder,
                                                  reports::DeviceInfo& info) {
    info = counter.Identify();
    info.warningThreshold = files.SystemNumber(config::keys::kThresholdWarning, 30);
    info.alarmThreshold = files.SystemNumber(config::keys::kThresholdAlarm, 60);
    return std::make_unique<reports::ReportStore>(
        folder, info,
        [&files](const std::string& key) {
            return files.config.ReadConfigString(ConfigSection::Head_Line, key);
        },
        reports::SystemLocalTime);
}

void Measure(Counter& counter, const PanelFiles& files, const MeasureOptions& o) {
    reports::DeviceInfo info;
    std::unique_ptr<reports::ReportStore> store;
    if (!o.reportFolder.empty()) store = OpenReports(counter, files, o.reportFolder, info);
    RunSeries(counter, o, store.get(), config::Utf8ToCp1251(o.description), stdout);
}

// The commands that change a setting; start, stop and threshold are followed by a poll, as on
// the panel.
void Change(Counter& counter, const Invocation& inv) {
    if (inv.command == "mode") return counter.SelectMode(inv.mode);
    if (inv.command == "count-limit") {
        if (inv.countLimit != counter.Status().countLimit)
            counter.Command(SetCountLimitFrame(inv.countLimit), inv.command);
        return;
    }
    counter.Command(*inv.frame, inv.command);
    if (inv.command == "start" || inv.command == "stop" || inv.command == "threshold")
        counter.Poll();
}

// report reads a folder and never opens the device; qa and plateau count through Measure, as
// measure does.
int RunJournal(const Invocation& inv) {
    const PanelFiles files;
    const std::string folder = JournalFolder(inv.journal.reportFolder, files.config,
                                             link::TSerialMux::ExecutableFolder());
    if (inv.command == "report") return RunReport(inv.journal, folder, stdout, stderr);
    link::InstallStopSignals(true);
    Counter counter(OpenLink(inv.link, files.config));
    counter.TakeControl();  // a QA series changes the device: one controller at a time
    if (inv.journal.action == "exclude") {
        const auto write = [&](const std::string& text) {
            reports::DeviceInfo info;
            OpenReports(counter, files, folder, info)->AddRecord(config::Utf8ToCp1251(text));
        };
        return RunExclude(inv.journal, folder, write, stdout, stderr);
    }
    const auto measure = [&](const MeasureOptions& o) { Measure(counter, files, o); };
    return RunQa(counter, inv.journal, folder, measure, stdout, stderr);
}

void Run(const Invocation& inv) {
    const PanelFiles files;
    link::InstallStopSignals(true);
    Counter counter(OpenLink(inv.link, files.config));
    if (inv.command == "status") return PrintStatus(counter, files, inv.json);
    if (inv.command == "identify") return PrintIdentity(counter);
    if (inv.command == "watch") {
        return RunWatch(
            counter, inv.interval, inv.json,
            [&files](std::uint8_t code) { return files.ErrorText(code); }, stdout);
    }
    counter.TakeControl();  // the rest changes the device: one controller at a time
    if (inv.command == "measure") return Measure(counter, files, inv.measure);
    Change(counter, inv);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Invocation inv = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (inv.version && !inv.help) {
            std::printf("pulsectl %s\n", version::kVersionText);
            return 0;
        }
        if (inv.help) {
            std::fputs(HelpText(inv.command).c_str(), stdout);
            return 0;
        }
        if (inv.command == "report" || inv.command == "qa" || inv.command == "plateau")
            return RunJournal(inv);
        Run(inv);
        return 0;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "pulsectl: %s (see pulsectl --help)\n", e.what());
        return 2;
    } catch (const LinkError& e) {
        std::fprintf(stderr, "pulsectl: %s\n", e.what());
        return 1;
    } catch (const reports::ReportError& e) {
        std::fprintf(stderr, "pulsectl: %s\n", e.what());
        return 1;
    } catch (const OutputClosed&) {
        return 0;  // `pulsectl watch | head` has all it wanted
    } catch (const Interrupted& stop) {
        return 128 + stop.signal;
    }
}
