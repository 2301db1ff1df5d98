// muxserver: owns one serial line and lets local clients (libmuxclient.so) share it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "endpoint.h"
#include "link/StopSignals.h"
#include "mux_server.h"
#include "shared_line.h"
#include "socket_io.h"

namespace {

using namespace pulsedesk::mux;

constexpr const char* kUsage =
    "Usage: muxserver --port PATH [--listen ADDRESS]\n"
    "\n"
    "Owns the serial line PATH (opened exclusively: 9600 baud, 8N1, raw, no flow control,\n"
    "DTR and RTS inactive) and runs the requests of any number of local clients on it,\n"
    "one exchange at a time, in the order they arrive. One client at a time may take\n"
    "control of the counter; meanwhile the frames of others that change the device are\n"
    "refused, naming the holder (status and identification stay open to all). Control ends\n"
    "when it is given back or after 3 s without a request from its holder.\n"
    "\n"
    "  --port PATH        serial line to own, e.g. /dev/ttyUSB0 (a symlink is opened again\n"
    "                     by its name after the line hangs up)\n"
    "  --listen ADDRESS   tcp:HOST:PORT or unix:/path (default tcp:127.0.0.1:47011)\n"
    "  --help             this text\n"
    "\n"
    "Clients find the server through the environment variable PULSEDESK_MUX, which takes\n"
    "the same ADDRESS forms. SIGINT (Ctrl-C) or SIGTERM stops the server.\n"
    "Exit codes: 0 after a signal, 1 when the line or the address cannot be opened, 2 for a\n"
    "bad option.\n";

struct Options {
    std::string port;
    std::string listen = kDefaultEndpoint;
    bool help = false;
};

// Accepts "--name value" and "--name=value"; nothing, with the reason in error, for anything
// else.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        } else if ((arg == "--port" || arg == "--listen") && i + 1 < argc) {
            value = argv[++i];
        }
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--port" || arg == "--listen") {
            if (value.empty()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            (arg == "--port" ? o.port : o.listen) = value;
        } else {
            error = "unknown option " + std::string(argv[i]);
            return std::nullopt;
        }
    }
    if (!o.help && o.port.empty()) {
        error = "--port PATH is required";
        return std::nullopt;
    }
    return o;
}

void Log(const std::string& line) { std::cerr << "muxserver: " << line << std::endl; }

std::string Summary(const ServerStats& s, const SharedLine& line) {
    return "stopped: " + std::to_string(s.transactions) + " transactions, " +
           std::to_string(s.busy) + " answered busy, " + std::to_string(s.accepted) +
           " connections, " + std::to_string(s.refused) + " refused, " + std::to_string(s.noHello) +
           " without hello, " + std::to_string(s.malformed) + " malformed, " +
           std::to_string(s.timedOut) + " timed out, " + std::to_string(s.vanished) +
           " vanished, " + std::to_string(s.refusedForControl) + " refused for control, " +
           std::to_string(s.falseIdentities) + " false identities, " +
           std::to_string(line.HangUps()) + " line hang-ups, " + std::to_string(line.Reopens()) +
           " reopens";
}

int Serve(const Options& o) {
    const auto endpoint = ParseEndpoint(o.listen);
    if (!endpoint) {
        Log("bad --listen address: " + o.listen + " (want tcp:HOST:PORT or unix:/path)");
        return 2;
    }
    const int stopSignal = pulsedesk::link::InstallStopSignals(true);
    if (stopSignal < 0) {
        Log(std::string("cannot install signal handlers: ") + std::strerror(errno));
        return 1;
    }
    SharedLine line(o.port, Log);
    std::string error;
    if (!line.Open(error)) {
        Log("cannot open the line: " + error);
        return 1;
    }
    UniqueFd listener = Listen(*endpoint, error);
    if (!listener.Valid()) {
        Log("cannot listen: " + error);
        return 1;
    }
    Log("serving " + o.port + " on " + endpoint->Describe());
    MuxServer server(std::move(listener), line, ServerLimits{}, Log);
    server.Run(stopSignal);
    if (endpoint->kind == Endpoint::Kind::Unix) unlink(endpoint->path.c_str());
    Log(Summary(server.Stats(), line));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = ParseOptions(argc, argv, error);
    if (!options) {
        std::cerr << "muxserver: " << error << " (see --help)\n";
        return 2;
    }
    if (options->help) {
        std::cout << kUsage;
        return 0;
    }
    return Serve(*options);
}
