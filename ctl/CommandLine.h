// pulsectl's command line: the link to use, the command and its values, every value checked
// against the device's range before anything is sent. A bad command line raises UsageError
// (exit code 2).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "journal/Arguments.h"
#include "journal/JournalCommandLine.h"
#include "link/Frames.h"

namespace pulsedesk::ctl {

// The command frames, by name, as the panel sends them.
using namespace link::frames;
using journal::Arguments;
using journal::JournalOptions;
using journal::kMaxRepeat;
using journal::UsageError;

struct LinkChoice {
    enum class Kind { Configured, Port, Mux };
    Kind kind = Kind::Configured;  // the panel's settings file decides
    std::string where;             // the port path or the server's address
};

struct MeasureOptions {
    int mode = 0;  // 1 counts for a time, 3 up to a count limit
    std::optional<ClockTime> time;
    std::optional<std::uint32_t> limit;
    int repeat = 1;
    std::optional<std::int32_t> threshold;  // millivolts
    std::string reportFolder;               // empty: no report is written
    std::string description;                // as typed (UTF-8)
    std::vector<std::int32_t> sweep;        // a threshold (mV) set before each measurement
};

struct StatusOptions {
    bool json = false;
};

struct WatchOptions {
    bool json = false;
    double interval = 1.0;  // seconds between polls
};

// The one frame of start, stop, clear, count-time, threshold, step, sound and defaults.
struct FrameOptions {
    Frame frame;
};

struct ModeOptions {
    int mode = 0;
};

struct CountLimitOptions {
    std::uint32_t limit = 0;
};

// The options of the device's commands, each command its own; the journal commands keep theirs
// in Invocation::journal.
using CommandOptions = std::variant<std::monostate, StatusOptions, WatchOptions, FrameOptions,
                                    ModeOptions, CountLimitOptions, MeasureOptions>;

struct Invocation {
    LinkChoice link;
    std::string command;  // empty with help: the program's own help
    bool help = false;
    bool version = false;    // --version before any command
    CommandOptions options;  // filled by the command's parser, read by its action
    JournalOptions journal;  // report, qa, plateau
};

struct Session;

// A parser that fills only its own command's options, and an action that reads only them:
// another command's fields are out of its reach.
template <class Options>
std::function<void(Arguments&, Invocation&)> Filling(void (*parse)(Arguments&, Options&)) {
    return [parse](Arguments& a, Invocation& inv) { parse(a, inv.options.emplace<Options>()); };
}
template <class Options>
std::function<int(const Invocation&, Session&)> Reading(int (*act)(const Options&, Session&)) {
    return
        [act](const Invocation& inv, Session& s) { return act(std::get<Options>(inv.options), s); };
}

// What a command needs before it can act: the device polled once, control of it taken, the
// journal's folder found.
enum class Needs { Nothing, Device, Control, Journal, JournalAndControl };

// One row of pulsectl's command table; dispatch, help, "did you mean" and the man page's list
// all come from it.
struct Command {
    std::string name;
    std::string synopsis;  // its line in the program's help
    std::string summary;   // one line beside it
    Needs needs;
    std::string help;  // pulsectl NAME --help
    std::function<void(Arguments&, Invocation&)> parse;
    std::function<int(const Invocation&, Session&)> act;
};

const std::vector<Command>& Commands();
const Command* FindCommand(const std::string& name);  // nullptr for an unknown name

// The known command nearest to an unknown one, when it is near enough to be a typo; else empty.
std::string SuggestCommand(const std::string& typed);

// The arguments after the program's name; UsageError names the command whose help tells more.
Invocation ParseCommandLine(const std::vector<std::string>& args);

// The help of one command, or of the program for "" or an unknown command.
std::string HelpText(const std::string& command);

// A time parsed from the command line as the device's frames take it.
ClockTime ClockOf(const journal::ClockTime& time);

}  // namespace pulsedesk::ctl
