// pulsesim: the simulated pulse counter on a pseudo-terminal or a real serial port.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "DeviceModel.h"
#include "PtyDevice.h"

using namespace pulsedesk::sim;

namespace {

const char* kHelp = R"(Usage: pulsesim [options]
The simulated pulse counter. It serves the counter's frame protocol on a new pseudo-terminal
(its slave path is printed on the first line of standard output) or on a real serial port.

Options:
  --link PATH       also make PATH a symbolic link to the pseudo-terminal's slave
  --port DEVICE     serve a real serial port instead (9600 8N1), e.g. /dev/ttyUSB1
  --model 1|2       model digit reported to ReadModel (default 2: QEV-C2)
  --serial N        serial number, 0..65535 (default 123)
  --firmware N      firmware version in tenths, 0..255 (default 15: 1.5)
  --rate R          mean pulses per second (default 50)
  --seed S          seed of the random pulse source (default 1)
  --help            this text

Commands on standard input, one per line:
  rate R            change the pulse rate
  error N           report device error number N (0 clears it)
  blocked on|off    report the blocked bit
  noreply on|off    answer nothing at all
  noreplyb on|off   leave status B unanswered
  wrongcode on|off  answer status A with a wrong reply code
  cut N             drop N bytes from the end of every reply (0: off)
  overlong N        append N bytes to every reply without a pause (0: off)
  late N            send N stray bytes 120 ms after every reply (0: off)
  hangup [MS]       close the line (the panel sees a hang-up); with --link, make a new
                    pseudo-terminal at the same path after MS milliseconds (default 500)
  status            print the device's state
  quit              end
)";

struct Options {
    std::string link, port;
    Identity identity;
    double rate = 50;
    std::uint32_t seed = 1;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (a == "--link" && (v = next())) {
            o.link = v;
        } else if (a == "--port" && (v = next())) {
            o.port = v;
        } else if (a == "--model" && (v = next()) && (v[0] == '1' || v[0] == '2') && !v[1]) {
            o.identity.modelDigit = v[0];
        } else if (a == "--serial" && (v = next())) {
            o.identity.serial = static_cast<std::uint16_t>(std::strtoul(v, nullptr, 10));
        } else if (a == "--firmware" && (v = next())) {
            o.identity.firmware = static_cast<std::uint8_t>(std::strtoul(v, nullptr, 10));
        } else if (a == "--rate" && (v = next())) {
            o.rate = std::strtod(v, nullptr);
        } else if (a == "--seed" && (v = next())) {
            o.seed = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
        } else {
            std::fprintf(stderr, "pulsesim: bad option %s (see --help)\n", a.c_str());
            return false;
        }
    }
    return true;
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::optional<PtyDevice> OpenLine(const Options& o) {
    std::string error;
    auto line = o.port.empty() ? PtyDevice::OpenPty(o.link, error) : PtyDevice::OpenPort(o.port, error);
    if (!line) std::fprintf(stderr, "pulsesim: %s\n", error.c_str());
    return line;
}

bool OnOff(std::istream& in) {
    std::string w;
    in >> w;
    return w == "on" || w == "1";
}

struct Session {
    const Options& options;
    DeviceModel& model;
    std::optional<PtyDevice> line;
    std::int64_t reopenAtMs = -1;
    bool quit = false;

    void Command(const std::string& text) {
        std::istringstream in(text);
        std::string verb;
        in >> verb;
        Faults& f = model.faults();
        int n = 0;
        if (verb == "rate") { double r = 0; in >> r; model.SetRate(r); }
        else if (verb == "error") { in >> n; f.errorCode = static_cast<std::uint8_t>(n); }
        else if (verb == "blocked") f.blocked = OnOff(in);
        else if (verb == "noreply") f.noReply = OnOff(in);
        else if (verb == "noreplyb") f.noReplyB = OnOff(in);
        else if (verb == "wrongcode") f.wrongReplyCode = OnOff(in);
        else if (verb == "cut") in >> f.cutShort;
        else if (verb == "overlong") in >> f.overLong;
        else if (verb == "late") in >> f.lateBytes;
        else if (verb == "hangup") HangUp(in);
        else if (verb == "status") { model.Advance(); std::printf("%s\n", model.Describe().c_str()); }
        else if (verb == "quit") quit = true;
        else if (!verb.empty()) std::fprintf(stderr, "pulsesim: unknown command %s\n", verb.c_str());
        std::fflush(stdout);
    }

    void HangUp(std::istream& in) {
        int ms = 500;
        in >> ms;
        line.reset();
        reopenAtMs = options.port.empty() && !options.link.empty() ? NowMs() + ms : -1;
        std::printf("hung up\n");
    }

    void ReopenIfDue() {
        if (reopenAtMs < 0 || NowMs() < reopenAtMs) return;
        reopenAtMs = -1;
        line = OpenLine(options);
        if (line) std::printf("%s\n", line->SlavePath().c_str());
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;
    signal(SIGPIPE, SIG_IGN);
    DeviceModel model(options.identity, options.rate, options.seed, NowMs);
    Session s{options, model, OpenLine(options)};
    if (!s.line) return 1;
    std::printf("%s\n", s.line->SlavePath().c_str());
    std::fflush(stdout);

    std::string input;
    bool stdinOpen = true;
    while (!s.quit) {
        pollfd fds[2] = {{STDIN_FILENO, static_cast<short>(stdinOpen ? POLLIN : 0), 0},
                         {s.line ? s.line->Descriptor() : -1, POLLIN, 0}};
        int timeout = s.line ? s.line->MillisecondsUntilDue() : 20;
        if (s.reopenAtMs >= 0) timeout = 20;
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) break;
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buf[256];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) stdinOpen = false;  // keep serving without a console
            else input.append(buf, static_cast<std::size_t>(n));
            for (std::size_t nl; (nl = input.find('\n')) != std::string::npos; input.erase(0, nl + 1))
                s.Command(input.substr(0, nl));
        }
        if (s.line && !s.line->Serve(model)) {
            std::fprintf(stderr, "pulsesim: the line went away\n");
            return 1;
        }
        s.ReopenIfDue();
    }
    return 0;
}
