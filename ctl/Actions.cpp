#include "ctl/Actions.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "config/Cp1251.h"
#include "ctl/CommandLine.h"
#include "ctl/QaCommands.h"
#include "ctl/Series.h"
#include "ctl/StatusText.h"
#include "ctl/Watch.h"
#include "journal/ReportCommands.h"
#include "link/PresetChange.h"
#include "link/StopSignals.h"
#include "reports/ReportStore.h"
#include "version/Version.h"

namespace pulsedesk::ctl {

using config::ConfigSection;

std::string PanelFiles::ErrorText(std::uint8_t code) const {
    if (code == 0 || !messages.IsOpen()) return {};
    std::string text;
    if (!messages.TryGetMessage(config::MessageKind::Error, code, text)) return {};
    return config::Cp1251ToUtf8(text);
}

namespace {

// The report store on the folder, identified like the panel's; raises ReportError when another
// program holds the folder. The store keeps info by reference: it must outlive the store.
std::unique_ptr<reports::ReportStore> OpenReports(Counter& counter, const PanelFiles& files,
                                                  const std::string& folder,
                                                  reports::DeviceInfo& info) {
    info = counter.Identify(files.config);
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

// Gives the session what the command's row asks for, then acts.
int Act(const Command& command, const Invocation& inv) {
    const PanelFiles files;
    Session session{files, command.name, nullptr, {}};
    if (command.needs == Needs::Journal || command.needs == Needs::JournalAndControl)
        session.folder =
            journal::JournalFolder(inv.journal.reportFolder, files.config, config::ProgramFolder());
    if (command.needs == Needs::Nothing || command.needs == Needs::Journal)
        return command.act(inv, session);
    link::InstallStopSignals(true);
    Counter counter(OpenLink(inv.link, files.config));
    // A command that changes the device: one controller at a time.
    if (command.needs != Needs::Device) counter.TakeControl();
    session.counter = &counter;
    return command.act(inv, session);
}

int Run(const std::vector<std::string>& args, std::string& command) {
    const Invocation inv = ParseCommandLine(args);
    command = inv.command;
    if (inv.version && !inv.help) {
        std::printf("pulsectl %s\n", version::kVersionText);
        return 0;
    }
    if (inv.help) {
        std::fputs(HelpText(inv.command).c_str(), stdout);
        return 0;
    }
    return Act(*FindCommand(inv.command), inv);
}

}  // namespace

int ActStatus(const StatusOptions& o, Session& s) {
    const link::DeviceStatus& status = s.counter->Status();
    auto fields = StatusFields(status, s.files.ErrorText(status.errorCode));
    fields.insert(fields.begin() + 1, FlagsField(status.runFlags));  // the state names one bit
    std::fputs(o.json ? (JsonObject(fields) + "\n").c_str() : StatusLines(fields).c_str(), stdout);
    return 0;
}

int ActIdentify(const Invocation&, Session& s) {
    const reports::DeviceInfo info = s.counter->Identify(s.files.config);
    std::printf("model     %s\nfirmware  %u.%u\nserial    %u\n", info.modelName.c_str(),
                info.firmwareVersion / 10u, info.firmwareVersion % 10u, info.serialNumber);
    return 0;
}

int ActWatch(const WatchOptions& o, Session& s) {
    const PanelFiles& files = s.files;
    RunWatch(
        *s.counter, o.interval, o.json,
        [&files](std::uint8_t code) { return files.ErrorText(code); }, stdout);
    return 0;
}

int ActMeasure(const MeasureOptions& o, Session& s) {
    Measure(*s.counter, s.files, o);
    return 0;
}

int ActMode(const ModeOptions& o, Session& s) {
    s.counter->SelectMode(o.mode);
    return 0;
}

int ActCountLimit(const CountLimitOptions& o, Session& s) {
    if (link::CountLimitChanges(o.limit, s.counter->Status()))
        s.counter->Command(SetCountLimitFrame(o.limit), s.command);
    return 0;
}

int ActFrame(const FrameOptions& o, Session& s) {
    s.counter->Command(o.frame, s.command);
    return 0;
}

// As on the panel, a poll follows so that the device's new state is read back.
int ActFrameThenPoll(const FrameOptions& o, Session& s) {
    ActFrame(o, s);
    s.counter->Poll();
    return 0;
}

int ActReport(const Invocation& inv, Session& s) {
    return journal::RunReport(inv.journal, s.folder, stdout, stderr);
}

// qa and plateau count through Measure, as measure does.
int ActQa(const Invocation& inv, Session& s) {
    if (inv.journal.action == "exclude") {
        const auto write = [&s](const std::string& text) {
            reports::DeviceInfo info;
            const auto store = OpenReports(*s.counter, s.files, s.folder, info);
            store->AddRecord(config::Utf8ToCp1251(text));
        };
        return journal::RunExclude(inv.journal, s.folder, write, stdout, stderr);
    }
    const auto measure = [&s](const MeasureOptions& o) { Measure(*s.counter, s.files, o); };
    return RunQa(*s.counter, inv.journal, s.folder, measure, stdout, stderr);
}

// A full disk shows only once the output is flushed: output that was lost makes the command a
// failure, not a success. A reader that closed its pipe had all it wanted.
bool OutputWritten() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    if (errno == EPIPE) return true;
    const int error = errno;
    std::fprintf(stderr, "pulsectl: the output could not be written%s%s\n", error ? ": " : "",
                 error ? std::strerror(error) : "");
    return false;
}

int RunPulsectl(const std::vector<std::string>& args) {
    std::string command;
    try {
        const int code = Run(args, command);
        return OutputWritten() || code != 0 ? code : 1;
    } catch (const UsageError& e) {
        const std::string help = e.command.empty() ? command : e.command;
        std::fprintf(stderr, "pulsectl: %s (see pulsectl %s--help)\n", e.what(),
                     help.empty() ? "" : (help + " ").c_str());
        return 2;
    } catch (const OutputClosed&) {
        return 0;  // `pulsectl watch | head` has all it wanted
    } catch (const Interrupted& stop) {
        return 128 + stop.signal;
    } catch (const std::exception& e) {
        // The device, the link, a report, a file or pulseplot failed: the reason says which.
        std::fprintf(stderr, "pulsectl: %s\n", e.what());
        return 1;
    }
}

}  // namespace pulsedesk::ctl
