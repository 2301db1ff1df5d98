#include "ctl/CommandLine.h"

#include <algorithm>
#include <cstdlib>

#include "ctl/Actions.h"
#include "link/DeviceRanges.h"
#include "link/MuxAddress.h"
#include "link/protocol.h"

namespace pulsedesk::ctl {

namespace {

// The program's help around its list of commands.
constexpr const char* kProgramHelpHead =
    "Usage: pulsectl [--port PATH | --mux ADDRESS] COMMAND [ARGUMENTS]\n"
    "       pulsectl --help | --version\n"
    "The pulse counter from the shell, on the same link code as the panel.\n"
    "\n"
    "  --port PATH      the counter's serial port (a path, or a name such as COM1 or ttyUSB0)\n"
    "  --mux ADDRESS    through the shared-port server: tcp:HOST:PORT or unix:/path\n"
    "Without either, the panel's settings decide: pulsedesk.cfg found as the panel finds it\n"
    "(beside this program, ~/.config/pulsedesk, /etc/pulsedesk), key TarlinkSupport (1: the\n"
    "shared-port server named by PULSEDESK_MUX) or COM-Port.\n"
    "\n"
    "Commands (pulsectl COMMAND --help tells more):\n";
constexpr const char* kProgramHelpTail =
    "\n"
    "Values out of the device's range are refused before anything is sent.\n"
    "Exit codes: 0 done, 1 the device or the link failed (the reason on standard error),\n"
    "2 a usage error, 3 and 4 a QA run failed or asks for a recount (see qa --help),\n"
    "130 interrupted (Ctrl-C).\n";

using journal::ParseThreshold;
using journal::ParseWhole;
using journal::Refuse;

double ParseInterval(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos || *end != '\0')
        Refuse("--interval " + text + ": not a number of seconds (0.05 to 3600)");
    if (value < 0.05 || value > 3600)
        Refuse("--interval " + text + ": out of range (0.05 to 3600)");
    return value;
}

bool ParseChoice(const std::string& what, const std::string& text, const std::string& yes,
                 const std::string& no) {
    if (text == yes) return true;
    if (text == no) return false;
    Refuse(what + " " + text + ": want " + yes + " or " + no);
}

std::uint32_t ParseCountLimit(const std::string& what, const std::string& text) {
    return static_cast<std::uint32_t>(ParseWhole(what, text, 0, link::kMaxCountLimit));
}

Step ParseStepWhat(const std::string& text) {
    if (text == "count-time") return Step::CountTime;
    if (text == "count-limit") return Step::CountLimit;
    if (text == "threshold") return Step::Threshold;
    Refuse("step " + text + ": want count-time, count-limit or threshold");
}

void ParseStatus(Arguments& a, StatusOptions& o) {
    for (std::string option; a.NextOption(option);) {
        if (option != "--json") a.RefuseOption(option);
        o.json = true;
    }
}

void ParseWatch(Arguments& a, WatchOptions& o) {
    for (std::string option; a.NextOption(option);) {
        if (option == "--json")
            o.json = true;
        else if (option == "--interval")
            o.interval = ParseInterval(a.Value(option));
        else
            a.RefuseOption(option);
    }
}

void TakeMeasureOption(Arguments& a, const std::string& option, MeasureOptions& m) {
    if (option == "--mode") {
        m.mode = static_cast<int>(ParseWhole(option, a.Value(option), 1, 3));
        if (m.mode == 2) Refuse("--mode 2: a series runs in mode 1 or 3");
    } else if (option == "--time") {
        m.time = ClockOf(journal::ParseCountTime(option, a.Value(option)));
    } else if (option == "--limit") {
        m.limit = ParseCountLimit(option, a.Value(option));
    } else if (option == "--repeat") {
        m.repeat = static_cast<int>(ParseWhole(option, a.Value(option), 1, kMaxRepeat));
    } else if (option == "--threshold") {
        m.threshold = ParseThreshold(option, a.Value(option));
    } else if (option == "--report-folder") {
        m.reportFolder = journal::ParseFolder(option, a.Value(option));
    } else if (option == "--description") {
        m.description = a.Value(option);
    } else {
        a.RefuseOption(option);
    }
}

void ParseMeasure(Arguments& a, MeasureOptions& m) {
    for (std::string option; a.NextOption(option);) TakeMeasureOption(a, option, m);
    const bool described = a.Seen("--description");
    if (m.mode == 0) Refuse("measure: --mode 1 or --mode 3 is needed");
    if (m.mode == 1 && m.limit) Refuse("measure: mode 1 takes --time, not --limit");
    if (m.mode == 3 && m.time) Refuse("measure: mode 3 takes --limit, not --time");
    if (m.mode == 1 && !m.time) Refuse("measure: --time is missing (mode 1 counts for a time)");
    if (m.mode == 3 && !m.limit) Refuse("measure: --limit is missing (mode 3 counts up to it)");
    // A count up to 0 would end before it starts: nothing to measure.
    if (m.mode == 3 && *m.limit == 0)
        Refuse("measure: --limit 0: a count up to 0 measures nothing");
    if (m.reportFolder.empty() != !described)
        Refuse("measure: --report-folder and --description go together");
}

std::function<void(Arguments&, Invocation&)> FrameWithoutArguments(Frame frame) {
    return [frame](Arguments& a, Invocation& inv) {
        a.ExpectEnd();
        inv.options = FrameOptions{frame};
    };
}

void NoArguments(Arguments& a, Invocation&) { a.ExpectEnd(); }

// The program's help lines up the commands' summaries in one column.
constexpr std::size_t kSynopsisWidth = 32;
// An unknown command this close to a known one (letters added, dropped or changed) was a typo.
constexpr std::size_t kMaxSuggestedDistance = 2;

std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string JournalHelp(const char* command) { return journal::JournalHelpText(command); }

}  // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands{
        {"status", "status [--json]", "the device's status", Needs::Device,
         "Usage: pulsectl status [--json]\n"
         "Polls the counter once and prints its status: run state (idle, counting, finished,\n"
         "reset, blocked, error), every flag set among those words (finished blocked, say), mode,\n"
         "count, count limit, count time, elapsed time, threshold in mV and the error number\n"
         "with its text from pulsedesk.msg when that file is found.\n"
         "--json prints one JSON object with the keys state, flags (an array of words), mode,\n"
         "count, count_limit, count_time, elapsed, threshold_mv, error and error_text.\n",
         Filling(ParseStatus), Reading(ActStatus)},
        {"identify", "identify", "model, firmware version, serial number", Needs::Device,
         "Usage: pulsectl identify\n"
         "Prints the model (QEV-C1, QEV-C2 or System is undefined), the firmware version and\n"
         "the serial number (65535 when the device does not report one).\n",
         NoArguments, ActIdentify},
        {"mode", "mode N", "operating mode 0 to 3", Needs::Control,
         "Usage: pulsectl mode N\n"
         "Sets operating mode N: 0 free, 1 count for the count time, 2 periodic, 3 count up to\n"
         "the count limit. As on the panel, a finished count is cleared first, and the mode is\n"
         "sent only when it differs; the device refuses a change while it counts (exit 1).\n",
         Filling<ModeOptions>([](Arguments& a, ModeOptions& o) {
             o.mode = static_cast<int>(ParseWhole("mode", a.Word("N"), 0, 3));
             a.ExpectEnd();
         }),
         Reading(ActMode)},
        {"start", "start", "start counting", Needs::Control,
         "Usage: pulsectl start\nStarts counting.\n", FrameWithoutArguments(StartStopFrame(true)),
         Reading(ActFrameThenPoll)},
        {"stop", "stop", "stop counting", Needs::Control, "Usage: pulsectl stop\nStops counting.\n",
         FrameWithoutArguments(StartStopFrame(false)), Reading(ActFrameThenPoll)},
        {"clear", "clear", "clear the finished state", Needs::Control,
         "Usage: pulsectl clear\nClears the finished state of the last count.\n",
         FrameWithoutArguments(ClearFinishedFrame()), Reading(ActFrame)},
        {"count-time", "count-time H:MM:SS", "preset count time, up to 99:59:59", Needs::Control,
         "Usage: pulsectl count-time H:MM:SS\n"
         "Sets the preset count time of modes 1 and 2, 0:00:00 to 99:59:59.\n",
         Filling<FrameOptions>([](Arguments& a, FrameOptions& o) {
             o.frame = SetCountTimeFrame(
                 ClockOf(journal::ParseClockTime("count-time", a.Word("H:MM:SS"))));
             a.ExpectEnd();
         }),
         Reading(ActFrame)},
        {"count-limit", "count-limit N", "preset count limit, 0 to 16777215", Needs::Control,
         "Usage: pulsectl count-limit N\n"
         "Sets the preset count limit of mode 3, 0 to 16777215; nothing is sent when the\n"
         "device already has it.\n",
         Filling<CountLimitOptions>([](Arguments& a, CountLimitOptions& o) {
             o.limit = ParseCountLimit("count-limit", a.Word("N"));
             a.ExpectEnd();
         }),
         Reading(ActCountLimit)},
        {"threshold", "threshold MV", "discriminator threshold, -4600 to 4600 mV", Needs::Control,
         "Usage: pulsectl threshold MV\n"
         "Sets the discriminator threshold, -4600 to 4600 mV (steps of 2.5 mV, cut toward 0).\n",
         Filling<FrameOptions>([](Arguments& a, FrameOptions& o) {
             o.frame = SetThresholdFrame(ParseThreshold("threshold", a.Word("MV")));
             a.ExpectEnd();
         }),
         Reading(ActFrameThenPoll)},
        {"step", "step count-time|count-limit|threshold up|down", "one step, as the panel's arrows",
         Needs::Control,
         "Usage: pulsectl step count-time|count-limit|threshold up|down\n"
         "Moves the value one step, as the panel's arrow buttons do.\n",
         Filling<FrameOptions>([](Arguments& a, FrameOptions& o) {
             const Step what = ParseStepWhat(a.Word("what to step"));
             o.frame = StepFrame(what, ParseChoice("step", a.Word("up or down"), "up", "down"));
             a.ExpectEnd();
         }),
         Reading(ActFrame)},
        {"sound", "sound signal|end on|off", "sound at each pulse, or at the end of a count",
         Needs::Control,
         "Usage: pulsectl sound signal|end on|off\n"
         "Switches the sound at each arriving pulse (signal) or at the end of a count (end).\n",
         Filling<FrameOptions>([](Arguments& a, FrameOptions& o) {
             const Sound which = ParseChoice("sound", a.Word("signal or end"), "signal", "end")
                                     ? Sound::Signal
                                     : Sound::End;
             o.frame = SoundFrame(which, ParseChoice("sound", a.Word("on or off"), "on", "off"));
             a.ExpectEnd();
         }),
         Reading(ActFrame)},
        {"defaults", "defaults", "the device's default settings", Needs::Control,
         "Usage: pulsectl defaults\nRestores the device's default settings.\n",
         FrameWithoutArguments(RestoreDefaultsFrame()), Reading(ActFrame)},
        {"watch", "watch [--interval S] [--json]", "one line per poll until interrupted",
         Needs::Device,
         "Usage: pulsectl watch [--interval S] [--json]\n"
         "Polls every S seconds (default 1, 0.05 to 3600) and prints one line per poll: CSV with\n"
         "a header line, or with --json one JSON object per line. A lost link prints a line\n"
         "saying so; the lines go on when the link returns. Polls keep their period (a late one\n"
         "is skipped, not made up for). Times are local ISO 8601 with milliseconds, e.g.\n"
         "2026-12-07T14:05:09.042+01:00. Runs until Ctrl-C or SIGTERM, or until the reader of\n"
         "its lines goes (pulsectl watch | head -3 ends with exit 0).\n",
         Filling(ParseWatch), Reading(ActWatch)},
        {"measure", "measure ...", "a series of measurements, optionally into the reports",
         Needs::Control,
         "Usage: pulsectl measure --mode 1|3 (--time H:MM:SS | --limit N) [--repeat N]\n"
         "                        [--threshold MV] [--report-folder DIR --description TEXT]\n"
         "Runs a series of measurements as the panel's start button with its repeat count does:\n"
         "mode 1 counts for --time, mode 3 up to --limit (1 or more); --repeat measurements (1 to "
         "100000,\n"
         "default 1), one second apart. Prints one line per finished measurement:\n"
         "  1/3 count=512 time=00:00:10.00 rate=51.200/s sigma=2.263/s\n"
         "with the rate N/t and its Poisson standard uncertainty sqrt(N)/t.\n"
         "With --report-folder, DIR is the work folder of the panel's reports: a record with\n"
         "the description is opened and every finished measurement is written into the\n"
         "month's report in the panel's format. A folder whose reports another program holds\n"
         "(the panel) is refused before the device is touched.\n"
         "Ctrl-C or SIGTERM stops the device's count; the unfinished measurement is not written\n"
         "(exit 130 after Ctrl-C). A link lost for more than 2 seconds ends the series (exit 1).\n",
         Filling(ParseMeasure), Reading(ActMeasure)},
        {"report", "report list|export|stats|qc|result|results|plot|html ...",
         "the report folder as data and pictures (never the device)", Needs::Journal,
         JournalHelp("report"),
         [](Arguments& a, Invocation& inv) { inv.journal = journal::ParseReport(a); }, ActReport},
        {"qa", "qa chi-square|background|source|exclude ...", "quality-control runs, judged",
         Needs::JournalAndControl, JournalHelp("qa"),
         [](Arguments& a, Invocation& inv) { inv.journal = journal::ParseQa(a); }, ActQa},
        {"plateau", "plateau ...", "the discriminator's counting curve and its plateau",
         Needs::JournalAndControl, JournalHelp("plateau"),
         [](Arguments& a, Invocation& inv) { inv.journal = journal::ParsePlateau(a); }, ActQa},
    };
    return commands;
}

namespace {

// --port and --mux before the command; the index of the command.
std::size_t ParseLinkOptions(const std::vector<std::string>& args, Invocation& inv) {
    std::size_t i = 0;
    for (; i < args.size() && args[i].rfind("-", 0) == 0; ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h" || option == "--version") {
            (option == "--version" ? inv.version : inv.help) = true;
            continue;
        }
        if (option != "--port" && option != "--mux") Refuse("unknown option " + option);
        if (inv.link.kind != LinkChoice::Kind::Configured) Refuse("give --port or --mux, not both");
        if (i + 1 >= args.size() || args[i + 1].empty()) Refuse(option + " needs a value");
        inv.link = {option == "--port" ? LinkChoice::Kind::Port : LinkChoice::Kind::Mux, args[++i]};
        if (option == "--mux" && !link::ParseMuxAddress(inv.link.where))
            Refuse("--mux " + inv.link.where + ": want tcp:HOST:PORT or unix:/path");
    }
    return i;
}

}  // namespace

ClockTime ClockOf(const journal::ClockTime& t) { return {t.hours, t.minutes, t.seconds}; }

const Command* FindCommand(const std::string& name) {
    for (const Command& c : Commands())
        if (c.name == name) return &c;
    return nullptr;
}

std::string SuggestCommand(const std::string& typed) {
    // A short word is near anything: it may differ in half of its letters at most.
    std::string best;
    std::size_t bestDistance = std::min(kMaxSuggestedDistance, typed.size() / 2) + 1;
    for (const Command& c : Commands()) {
        const std::size_t d = c.name.rfind(typed, 0) == 0 ? 1 : EditDistance(typed, c.name);
        if (d < bestDistance) {
            best = c.name;
            bestDistance = d;
        }
    }
    return best;
}

Invocation ParseCommandLine(const std::vector<std::string>& args) {
    Invocation inv;
    const std::size_t at = ParseLinkOptions(args, inv);
    if (at == args.size()) {
        if (inv.help || inv.version) return inv;
        Refuse("a command is needed");
    }
    const Command* command = FindCommand(args[at]);
    if (command == nullptr) {
        const std::string near = SuggestCommand(args[at]);
        Refuse("unknown command " + args[at] +
               (near.empty() ? "" : " (did you mean " + near + "?)"));
    }
    inv.command = command->name;
    Arguments a(inv.command, std::vector<std::string>(args.begin() + at + 1, args.end()));
    if (inv.help || a.AsksHelp()) {
        inv.help = true;
        return inv;
    }
    try {
        command->parse(a, inv);
    } catch (UsageError& e) {
        e.command = command->name;
        throw;
    }
    return inv;
}

std::string HelpText(const std::string& command) {
    if (const Command* c = FindCommand(command)) return c->help;
    std::string text = kProgramHelpHead;
    for (const Command& c : Commands()) {
        const std::string summary =
            c.synopsis.size() < kSynopsisWidth
                ? c.synopsis + std::string(kSynopsisWidth - c.synopsis.size(), ' ')
                : c.synopsis + "\n" + std::string(kSynopsisWidth + 2, ' ');
        text += "  " + summary + c.summary + "\n";
    }
    return text + kProgramHelpTail;
}

}  // namespace pulsedesk::ctl
