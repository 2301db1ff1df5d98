#include "ctl/Counter.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "config/LinkSetting.h"
#include "link/Identify.h"
#include "link/MuxAddress.h"
#include "link/PresetChange.h"
#include "link/commands.h"
#include "link/serial_line.h"
#include "link/tser_com.h"
#include "link/tser_muxserver.h"

namespace pulsedesk::ctl {

namespace lk = pulsedesk::link;

namespace {

// Two exchanges through the shared-port server may take its whole call limit each.
constexpr std::chrono::seconds kFirstPollLimit{5};
constexpr int kFirstPollRetries = 3;
constexpr int kSettingRetries = 2;

// Tells when the link thread's first poll is over.
class FirstPoll final : public lk::StatusListener {
  public:
    bool IsListening() const override { return true; }
    void OnStatusPolled() override {
        {
            std::lock_guard lock(mutex);
            polled = true;
        }
        done.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex);
        done.wait_for(lock, kFirstPollLimit, [this] { return polled; });
    }

  private:
    std::mutex mutex;
    std::condition_variable done;
    bool polled = false;
};

std::unique_ptr<lk::TSerial> OpenPort(const std::string& port) {
    auto com = std::make_unique<lk::TSerialCom>(port);
    if (!com->IsConnected()) throw LinkError("cannot open the counter's port " + com->OpenError());
    return com;
}

// The client library would take a missing server for a silent counter: ask the server first.
std::unique_ptr<lk::TSerial> OpenMux(const std::string& address) {
    if (!address.empty()) setenv(lk::kMuxAddressVariable, address.c_str(), 1);
    const std::string text = lk::MuxAddressText();
    const auto parsed = lk::ParseMuxAddress(text);
    if (!parsed)
        throw UsageError(std::string(lk::kMuxAddressVariable) + "=" + text +
                         ": want tcp:HOST:PORT or unix:/path");
    if (const std::string why = lk::MuxServerUnreachable(*parsed); !why.empty())
        throw LinkError("cannot reach muxserver at " + text + ": " + why);
    return std::make_unique<lk::TSerialMux>();
}

}  // namespace

std::unique_ptr<lk::TSerial> OpenLink(const LinkChoice& choice, const config::ConfigFile& config) {
    switch (choice.kind) {
        case LinkChoice::Kind::Port:
            return OpenPort(choice.where);
        case LinkChoice::Kind::Mux:
            return OpenMux(choice.where);
        case LinkChoice::Kind::Configured:
            break;
    }
    if (!config.IsOpen())
        throw UsageError("no port given and no settings file " + config.FileName() +
                         ": use --port PATH or --mux ADDRESS");
    const config::LinkSetting setting = config::LinkSettingOf(config);
    switch (setting.kind) {
        case config::LinkSetting::Kind::Mux:
            return OpenMux({});
        case config::LinkSetting::Kind::Port:
            return OpenPort(setting.port);
        case config::LinkSetting::Kind::NoPort:
            break;
    }
    throw UsageError(config::EmptyPortText(config) +
                     ": name the counter's port there, or use --port PATH or --mux ADDRESS");
}

Counter::Counter(std::unique_ptr<lk::TSerial> l) : line(std::move(l)) {
    TakeFirstPoll();
    if (line->IsConnected()) return;
    // A reply lost to a busy computer is not a dead counter: a few more tries, paced like the
    // link's own after a failed poll.
    for (int attempt = 0; attempt < kFirstPollRetries; ++attempt) {
        std::this_thread::sleep_for(lk::TSerial::kSleepAfterFailedPoll);
        if (Poll()) return;
    }
    throw LinkError(Unanswered("the counter does not answer"));
}

std::string Counter::Unanswered(const std::string& silentCounter) const {
    lk::SharedControl* shared = lk::SharedControlOf(line.get());
    if (shared == nullptr || !shared->LastExchangeBusy()) return silentCounter;
    return "the shared-port server is too busy with other clients to ask the counter";
}

Counter::~Counter() {
    if (controlTaken) grant.EndCommand();
}

void Counter::TakeControl() {
    const lk::ControlAnswer answer = grant.BeginCommand();
    if (answer.state == lk::ControlState::Refused)
        throw LinkError("the counter is controlled by " + answer.holder + "; nothing was sent");
    if (!answer.Allowed())
        throw LinkError("the shared-port server did not answer the request for control");
    controlTaken = true;
}

// The thread's first poll is as good as our own and saves one; after it the thread ends.
void Counter::TakeFirstPoll() {
    FirstPoll first;
    line->SetListener(&first);
    first.Wait();
    line->Terminate();
    line->WaitFor();
    line->SetListener(nullptr);
    if (auto copy = line->TryCopyStatus()) status = *copy;
}

bool Counter::Poll() {
    const bool answered = line->PollNow();
    if (auto copy = line->TryCopyStatus()) status = *copy;
    if (answered) grant.OnPoll(status);
    return answered;
}

lk::CommandReply Counter::Command(const Frame& frame, const std::string& action) {
    lk::CommandReply reply = line->SendCommand(frame);
    if (reply) return reply;
    lk::SharedControl* shared = lk::SharedControlOf(line.get());
    if (shared != nullptr && !shared->LastRefusal().empty())
        throw LinkError("the counter is controlled by " + shared->LastRefusal() + "; " + action +
                        " was refused");
    throw LinkError(Unanswered("the counter did not acknowledge " + action));
}

lk::CommandReply Counter::Set(const Frame& frame, const std::string& action) {
    for (int retry = 0; retry < kSettingRetries; ++retry) {
        if (lk::CommandReply reply = line->SendCommand(frame)) return reply;
        std::this_thread::sleep_for(lk::kReplyGap);  // lets a late reply end before the next try
    }
    return Command(frame, action);
}

void Counter::SelectMode(int mode) {
    const lk::ModeChange change = lk::ModeChangeTo(static_cast<std::uint8_t>(mode), status);
    if (change.clearFinished) line->SendCommand(ClearFinishedFrame());
    if (!change.sendMode) return;
    if (!lk::ModeAccepted(Set(SetModeFrame(mode), "mode " + std::to_string(mode))))
        throw LinkError("the counter refused mode " + std::to_string(mode) +
                        (status.runFlags & lk::kRunCounting ? " while it counts" : ""));
    Poll();
}

reports::DeviceInfo Counter::Identify(const config::ConfigFile& settings) {
    const std::optional<lk::Identity> identity = lk::Identify(*line);
    if (!identity) throw LinkError("the counter did not tell its model");
    return reports::DeviceInfo::Identified(identity->modelName, identity->firmwareVersion,
                                           identity->serialNumber, settings);
}

}  // namespace pulsedesk::ctl
