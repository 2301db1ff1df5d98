// pulsesim: the simulated pulse counter on a pseudo-terminal or a real serial port.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "CountingCurve.h"
#include "DeviceModel.h"
#include "FrameRecord.h"
#include "NumberField.h"
#include "PtyDevice.h"
#include "SoakLog.h"
#include "link/StopSignals.h"

using namespace pulsedesk::sim;

namespace {

const char* kHelp = R"(Usage: pulsesim [options]
The simulated pulse counter. It serves the counter's frame protocol on a new pseudo-terminal
(its slave path is printed on the first line of standard output) or on a real serial port.

Options:
  --link PATH       also make PATH a symbolic link to the pseudo-terminal's slave; PATH must
                    not exist or be a symbolic link that points to nothing. The link is
                    removed when the simulator ends.
  --port DEVICE     serve a serial port instead (9600 8N1), e.g. /dev/ttyUSB1 or the slave
                    of a pseudo-terminal; not together with --link
  --record FILE     append every request frame received to FILE, one line of hexadecimal
                    bytes per request ("02 41 01"), written before the reply goes out
  --model 1|2       model digit reported to ReadModel (default 2: QEV-C2)
  --serial N        serial number, 0 to 65535 (default 123)
  --firmware N      firmware version in tenths, 0 to 255 (default 15: 1.5)
  --rate R          mean pulses per second, 0 to 1000000 (default 50)
  --seed S          seed of the random pulse source, 0 to 4294967295 (default 1)
  --log-finished FILE
                    append a line to FILE for every count the device finishes, as it ends:
                    "seq=1 at=2026-12-07T14:05:09.250 mode=1 count=574 elapsed=0:00:08.00
                    threshold=2096 by=time": the threshold in device units, by=limit in
                    mode 3, by=stop when a stop command ended it
  --chaos SEED      misbehave at random from the start (see the command chaos); SEED, 0 to
                    4294967295, fixes the faults, their lengths and the quiet between them
  --chaos-log FILE  append a line to FILE for every fault the chaos puts in:
                    "at=... fault=late duration=1.250 bytes=7"; without it, standard error
  --plateau FROM:TO[,FROM:TO]
                    make the rate depend on the discriminator threshold (the integral
                    counting curve; without it the rate is the same at every threshold):
                    flat from FROM to TO mV, where the rate falls by 1 % per 100 mV and
                    is R in the region's middle; an optional second region above it at
                    half that level; below the first region the rate rises e-fold every
                    25 mV (noise), between the regions it falls log-linearly, above the
                    last it falls e-fold every 25 mV
  --help            this text

Commands on standard input, one per line; each answers with what it set:
  rate R            change the pulse rate (0 to 1000000)
  error N           report device error number N, 0 to 255 (0 clears it)
  blocked on|off    report the blocked bit
  noreply on|off    answer nothing at all
  noreplyb on|off   leave status B unanswered
  wrongcode on|off  answer status A with a wrong reply code
  cut N             drop N bytes from the end of every reply, 0 to 16 (0: off)
  overlong N        append N bytes to every reply without a pause, 0 to 256 (0: off)
  late N            send N stray bytes 120 ms after every reply, 0 to 256 (0: off)
  hangup [MS]       close the line (the panel sees a hang-up); with --link, make a new
                    pseudo-terminal at the same path after MS milliseconds, 0 to 600000
                    (default 500)
  chaos on|off      one fault at a time (noreply, noreplyb, overlong, late, hangup or a
                    device error 1 to 10) for 0.2 to 3 s, then a quiet 1 to 8 s; off ends
                    the fault under way
  key start|stop    press the device's own start or stop key (no frame on the line)
  status            print the device's state, its rate and every active fault
  quit              end

Stopping: the command quit, Ctrl-C (SIGINT) or SIGTERM; the link is removed in each case.
Exit codes: 0 after quit or a signal, 1 when the line cannot be opened or goes away, 2 for a
bad option.
)";

struct Options {
    std::string link, port, record;
    Identity identity;
    double rate = 50;
    std::uint32_t seed = 1;
    SoakHooks::Settings soak;
    std::optional<CountingCurve> curve;
};

const NumberField kSerialField{"--serial", 0, 65535};
const NumberField kFirmwareField{"--firmware", 0, 255};
const NumberField kRateOption{"--rate", 0, 1e6, false};
const NumberField kSeedField{"--seed", 0, 4294967295.0};
const NumberField kChaosField{"--chaos", 0, 4294967295.0};
const NumberField kRateCommand{"rate", 0, 1e6, false};
const NumberField kErrorField{"error", 0, 255};
const NumberField kCutField{"cut", 0, 16};
const NumberField kOverLongField{"overlong", 0, kMaxInjectedBytes};
const NumberField kLateField{"late", 0, kMaxInjectedBytes};
const NumberField kHangUpField{"hangup", 0, 600000};

class OptionParser {
  public:
    OptionParser(int argc, char** argv) : argc(argc), argv(argv) {}

    // The options, or nothing with the reason in error.
    std::optional<Options> Parse(std::string& error) {
        Options o;
        while (++i < argc && error.empty()) Take(argv[i], o, error);
        if (error.empty() && !o.link.empty() && !o.port.empty())
            error = "--link and --port exclude each other: a port is served as it is";
        if (!error.empty()) return std::nullopt;
        return o;
    }

  private:
    void Take(const std::string& name, Options& o, std::string& error) {
        if (name == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        }
        if (name == "--link")
            o.link = Value(name, error);
        else if (name == "--port")
            o.port = Value(name, error);
        else if (name == "--record")
            o.record = Value(name, error);
        else if (name == "--model")
            TakeModel(Value(name, error), o, error);
        else if (name == "--serial")
            o.identity.serial = Number<std::uint16_t>(kSerialField, error);
        else if (name == "--firmware")
            o.identity.firmware = Number<std::uint8_t>(kFirmwareField, error);
        else if (name == "--rate")
            o.rate = Number<double>(kRateOption, error);
        else if (name == "--seed")
            o.seed = Number<std::uint32_t>(kSeedField, error);
        else if (name == "--log-finished")
            o.soak.finishedLog = Value(name, error);
        else if (name == "--chaos")
            o.soak.chaosSeed = Number<std::uint32_t>(kChaosField, error);
        else if (name == "--chaos-log")
            o.soak.faultLog = Value(name, error);
        else if (name == "--plateau")
            TakeCurve(Value(name, error), o, error);
        else
            error = "unknown option " + name;
    }

    std::string Value(const std::string& name, std::string& error) {
        if (i + 1 < argc) return argv[++i];
        if (error.empty()) error = name + " needs a value";
        return {};
    }

    template <class T>
    T Number(const NumberField& field, std::string& error) {
        const std::string text = Value(field.name, error);
        if (!error.empty()) return T{};
        return static_cast<T>(field.Parse(text, error).value_or(0));
    }

    static void TakeCurve(const std::string& text, Options& o, std::string& error) {
        if (!error.empty()) return;
        o.curve = CountingCurve::Parse(text, error);
    }

    static void TakeModel(const std::string& text, Options& o, std::string& error) {
        if (text == "1" || text == "2")
            o.identity.modelDigit = text[0];
        else if (error.empty())
            error = "--model " + text + ": want 1 or 2";
    }

    int argc;
    char** argv;
    int i = 0;
};

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::optional<PtyDevice> OpenLine(const Options& o) {
    std::string error;
    auto line =
        o.port.empty() ? PtyDevice::OpenPty(o.link, error) : PtyDevice::OpenPort(o.port, error);
    if (!line) std::fprintf(stderr, "pulsesim: %s\n", error.c_str());
    return line;
}

std::string Word(std::istream& in) {
    std::string w;
    in >> w;
    return w;
}

struct Session {
    const Options& options;
    DeviceModel& model;
    std::optional<PtyDevice> line;
    FrameRecord* record = nullptr;
    SoakHooks* soak = nullptr;
    std::int64_t reopenAtMs = -1;
    bool quit = false;

    void Command(const std::string& text) {
        std::istringstream in(text);
        const std::string verb = Word(in);
        const std::string argument = Word(in);
        std::string error;
        if (!verb.empty() && !Run(verb, argument, error)) {
            if (error.empty()) error = "unknown command " + verb + " (see --help)";
            std::fprintf(stderr, "pulsesim: %s\n", error.c_str());
        }
        std::fflush(stdout);
    }

    // False with error set when the command is unknown or its value is refused; nothing is
    // changed then.
    bool Run(const std::string& verb, const std::string& argument, std::string& error) {
        Faults& f = model.faults();
        static const std::map<std::string, bool Faults::*> switches{
            {"blocked", &Faults::blocked},
            {"noreply", &Faults::noReply},
            {"noreplyb", &Faults::noReplyB},
            {"wrongcode", &Faults::wrongReplyCode}};
        static const std::map<std::string, std::pair<const NumberField*, int Faults::*>> counts{
            {"cut", {&kCutField, &Faults::cutShort}},
            {"overlong", {&kOverLongField, &Faults::overLong}},
            {"late", {&kLateField, &Faults::lateBytes}}};
        if (auto s = switches.find(verb); s != switches.end()) {
            const auto on = ParseOnOff(verb, argument, error);
            if (on) Acknowledge(verb, (f.*(s->second) = *on) ? "on" : "off");
            return on.has_value();
        }
        if (auto c = counts.find(verb); c != counts.end()) {
            const auto n = c->second.first->Parse(argument, error);
            if (n) Acknowledge(verb, std::to_string(f.*(c->second.second) = static_cast<int>(*n)));
            return n.has_value();
        }
        if (verb == "rate") return SetRate(argument, error);
        if (verb == "error") return SetError(argument, error);
        if (verb == "hangup") return HangUp(argument, error);
        if (verb == "chaos") return soak->Switch(argument, Runner(), error);
        if (verb == "key") return PressKey(argument, error);
        if (verb == "status") {
            model.Advance();
            std::printf("%s%s\n", model.Describe().c_str(), soak->Describe().c_str());
            return true;
        }
        if (verb == "quit") return quit = true;
        return false;
    }

    // Runs a command of the chaos as if it had been typed.
    SoakHooks::Runner Runner() {
        return [this](const std::string& command) { Command(command); };
    }

    static void Acknowledge(const std::string& verb, const std::string& value) {
        std::printf("%s %s\n", verb.c_str(), value.c_str());
    }

    bool SetRate(const std::string& argument, std::string& error) {
        const auto r = kRateCommand.Parse(argument, error);
        if (!r) return false;
        model.SetRate(*r);
        std::printf("rate %g/s\n", *r);
        return true;
    }

    bool PressKey(const std::string& argument, std::string& error) {
        if (argument != "start" && argument != "stop") {
            error = "key " + argument + ": want start or stop";
            return false;
        }
        model.PressKey(argument == "start");
        Acknowledge("key", argument);
        return true;
    }

    bool SetError(const std::string& argument, std::string& error) {
        const auto n = kErrorField.Parse(argument, error);
        if (!n) return false;
        model.faults().errorCode = static_cast<std::uint8_t>(*n);
        Acknowledge("error", std::to_string(model.faults().errorCode));
        return true;
    }

    bool HangUp(const std::string& argument, std::string& error) {
        double ms = 500;
        if (!argument.empty()) {
            const auto n = kHangUpField.Parse(argument, error);
            if (!n) return false;
            ms = *n;
        }
        line.reset();
        reopenAtMs =
            options.port.empty() && !options.link.empty() ? NowMs() + std::int64_t(ms) : -1;
        std::printf("hung up\n");
        return true;
    }

    void ReopenIfDue() {
        if (reopenAtMs < 0 || NowMs() < reopenAtMs) return;
        reopenAtMs = -1;
        line = OpenLine(options);
        if (line) std::printf("%s\n", line->SlavePath().c_str());
        std::fflush(stdout);
    }

    bool Serve() {
        if (!line) return true;
        return line->Serve(model, [this](const std::vector<std::uint8_t>& request) {
            if (record != nullptr) record->Write(request);
        });
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<Options> parsed = OptionParser(argc, argv).Parse(error);
    if (!parsed) {
        std::fprintf(stderr, "pulsesim: %s (see --help)\n", error.c_str());
        return 2;
    }
    const Options& options = *parsed;
    const int stopSignal = pulsedesk::link::InstallStopSignals(false);
    if (stopSignal < 0) {
        std::fprintf(stderr, "pulsesim: cannot install signal handlers: %s\n",
                     std::strerror(errno));
        return 1;
    }
    std::optional<FrameRecord> record;
    if (!options.record.empty()) {
        record = FrameRecord::Open(options.record, error);
        if (!record) {
            std::fprintf(stderr, "pulsesim: %s\n", error.c_str());
            return 1;
        }
    }
    DeviceModel model(options.identity, options.rate, options.seed, NowMs);
    SoakHooks soak(NowMs, options.soak.chaosSeed.value_or(1));
    if (!soak.Open(options.soak, model, error)) {
        std::fprintf(stderr, "pulsesim: %s\n", error.c_str());
        return 1;
    }
    model.SetCurve(options.curve);
    Session s{options, model, OpenLine(options), record ? &*record : nullptr, &soak};
    if (!s.line) return 1;
    std::printf("%s\n", s.line->SlavePath().c_str());
    std::fflush(stdout);

    std::string input;
    bool stdinOpen = true;
    while (!s.quit) {
        pollfd fds[3] = {{STDIN_FILENO, static_cast<short>(stdinOpen ? POLLIN : 0), 0},
                         {s.line ? s.line->Descriptor() : -1, POLLIN, 0},
                         {stopSignal, POLLIN, 0}};
        int timeout = s.line ? s.line->MillisecondsUntilDue() : 20;
        if (s.reopenAtMs >= 0) timeout = 20;
        if (const int due = soak.MillisecondsUntilDue(model); due >= 0)
            timeout = timeout < 0 ? due : std::min(timeout, due);
        if (poll(fds, 3, timeout) < 0 && errno != EINTR) break;
        if (fds[2].revents & POLLIN) break;
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buf[256];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0)
                stdinOpen = false;  // keep serving without a console
            else
                input.append(buf, static_cast<std::size_t>(n));
            for (std::size_t nl; (nl = input.find('\n')) != std::string::npos;
                 input.erase(0, nl + 1))
                s.Command(input.substr(0, nl));
        }
        if (!s.Serve()) {
            std::fprintf(stderr, "pulsesim: the line went away\n");
            return 1;
        }
        s.ReopenIfDue();
        soak.Tick(model, s.Runner());
    }
    return 0;
}
