#include "ctl/Counter.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "link/commands.h"
#include "link/tser_com.h"
#include "link/tser_muxserver.h"

namespace pulsedesk::ctl {

namespace lk = pulsedesk::link;
using config::ConfigSection;

namespace {

// Two exchanges through the shared-port server may take its whole call limit each.
constexpr std::chrono::seconds kFirstPollLimit{5};
constexpr int kFirstPollRetries = 3;
// The panel's program version (1.12), printed in report headers.
constexpr std::uint16_t kProgramVersion = (PULSEDESK_VERSION_MAJOR << 8) | PULSEDESK_VERSION_MINOR;

// Tells when the link thread's first poll is over.
class FirstPoll final : public lk::StatusListener {
  public:
    bool IsWindowVisible() const override { return true; }
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

std::unique_ptr<lk::TSerial> OpenMux(const std::string& address) {
    if (!address.empty()) setenv("PULSEDESK_MUX", address.c_str(), 1);
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
    if (config.ReadConfigString(ConfigSection::SYSTEM, config::keys::kTarlinkSupport) == "1")
        return OpenMux({});
    return OpenPort(config.ReadConfigString(ConfigSection::SYSTEM, config::keys::kComPort));
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
    throw LinkError("the counter does not answer");
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
    throw LinkError("the counter did not acknowledge " + action);
}

void Counter::SelectMode(int mode) {
    if (status.runFlags & lk::kRunFinished) line->SendCommand(ClearFinishedFrame());
    if (status.Mode() == mode) return;
    const lk::CommandReply reply = line->SendCommand(SetModeFrame(mode));
    if (!reply || reply.Byte(1) != lk::kModeAccepted)
        throw LinkError("the counter refused mode " + std::to_string(mode) +
                        (status.runFlags & lk::kRunCounting ? " while it counts" : ""));
    Poll();
}

reports::DeviceInfo Counter::Identify() {
    reports::DeviceInfo info;
    info.programVersion = kProgramVersion;
    const lk::CommandReply model = line->SendCommand(QueryFrame(lk::ReadModel));
    if (model.Byte(1) != lk::ReplyCodeFor(lk::ReadModel))
        throw LinkError("the counter did not tell its model");
    switch (model.Byte(3)) {
        case '1':
            info.modelName = "QEV-C1";
            break;
        case '2':
            info.modelName = "QEV-C2";
            break;
        default:
            info.modelName = "System is undefined";
    }
    const lk::CommandReply firmware = line->SendCommand(QueryFrame(lk::ReadFirmwareVersion));
    if (firmware.Byte(1) == lk::ReplyCodeFor(lk::ReadFirmwareVersion))
        info.firmwareVersion = firmware.Byte(2);
    info.serialNumber = 0xFFFF;
    const lk::CommandReply serial = line->SendCommand(QueryFrame(lk::ReadSerialNumber));
    if (serial.Byte(1) == lk::ReplyCodeFor(lk::ReadSerialNumber))
        info.serialNumber = serial.Byte(2) * 256u + serial.Byte(3);
    return info;
}

}  // namespace pulsedesk::ctl
