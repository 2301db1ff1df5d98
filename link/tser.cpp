#include "tser.h"

#include <algorithm>

namespace pulsedesk::link {

TSerial::~TSerial() { StopPolling(); }

void TSerial::OpenAndStart() {
    if (!OpenTransport()) return;
    connected = true;
    finished = false;
    thread = std::thread([this] { Execute(); });
}

void TSerial::StopPolling() {
    Terminate();
    WaitFor();
}

void TSerial::Terminate() {
    {
        std::lock_guard lock(sleepMutex);
        terminated = true;
    }
    wake.notify_all();
}

void TSerial::WaitFor() {
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

void TSerial::Execute() {
    while (!terminated) {
        const bool ok = PollNow();
        connected = ok;
        SleepUnlessTerminated(ok ? kSleepAfterGoodPoll : kSleepAfterFailedPoll);
    }
    finished = true;
}

void TSerial::SleepUnlessTerminated(std::chrono::milliseconds period) {
    std::unique_lock lock(sleepMutex);
    wake.wait_for(lock, period, [this] { return terminated.load(); });
}

std::optional<DeviceStatus> TSerial::TryCopyStatus() {
    std::unique_lock lock(linkMutex, std::try_to_lock);
    if (!lock.owns_lock()) return std::nullopt;
    return status;
}

bool TSerial::PollNow() {
    std::unique_lock lock(linkMutex, std::defer_lock);
    if (!lock.try_lock_for(kLockWait)) return false;
    const bool ok = PollLocked();
    lock.unlock();
    Notify();
    return ok;
}

bool TSerial::PollLocked() {
    FrameBuffer frame{};
    frame[0] = 0x01;
    frame[1] = ReadStatusA;
    if (!TakeReplyA(status, frame.data(), Transact(frame.data(), 2, frame.data()))) return false;
    frame.fill(0);
    frame[0] = 0x01;
    frame[1] = ReadStatusB;
    TakeReplyB(status, frame.data(), Transact(frame.data(), 2, frame.data()));
    return true;
}

// Every exchange goes through here, with the mutex held; the reply buffer holds 20 bytes.
int TSerial::Transact(const std::uint8_t* request, std::uint8_t length, std::uint8_t* reply) {
    if (!trace) return Exchange(request, length, kFrameBufferSize, reply);
    FrameBuffer sent{};  // the poll receives into its request buffer
    std::copy_n(request, std::min<std::size_t>(length, sent.size()), sent.begin());
    const int n = Exchange(request, length, kFrameBufferSize, reply);
    trace->Record(sent.data(), length, reply, n);
    return n;
}

void TSerial::Notify() {
    StatusListener* l = listener.load();
    if (l != nullptr && l->IsListening()) l->OnStatusPolled();
}

CommandReply TSerial::SendCommand(std::uint8_t header, std::initializer_list<std::int64_t> values) {
    FrameBuffer frame{};
    const std::size_t length = BuildFrame(header, values, frame);
    if (length == 0) return {};
    return SendFrame(frame.data(), static_cast<std::uint8_t>(length));
}

CommandReply TSerial::SendCommand(const frames::Frame& frame) {
    return SendFrame(frame.Data(), frame.Length());
}

CommandReply TSerial::SendFrame(const std::uint8_t* frame, std::uint8_t length) {
    CommandReply reply;
    std::unique_lock lock(linkMutex, std::defer_lock);
    if (!lock.try_lock_for(kLockWait)) return reply;
    reply.replyLength = Transact(frame, length, reply.replyBuffer.data());
    reply.accepted =
        reply.replyLength > 0 &&
        ReplyLengthAgrees(reply.replyBuffer.data(), static_cast<std::size_t>(reply.replyLength));
    return reply;
}

}  // namespace pulsedesk::link
