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

bool TSerial::IsLinkIdle() {
    if (!linkMutex.try_lock()) return false;
    linkMutex.unlock();
    return true;
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
    int n = Transact(frame.data(), 2, frame.data());
    status.replyAFresh = IsReplyA(frame.data(), static_cast<std::size_t>(std::max(n, 0)));
    status.replyBFresh = false;
    if (!status.replyAFresh) {
        status.runFlags = 0;
        return false;
    }
    status.runFlags = frame[2];
    status.modeOptions = frame[3];
    status.replyASpare = frame[4];
    status.errorCode = frame[5];
    std::copy_n(&frame[6], 4, status.elapsedTime.begin());

    frame.fill(0);
    frame[0] = 0x01;
    frame[1] = ReadStatusB;
    n = Transact(frame.data(), 2, frame.data());
    status.replyBFresh = IsReplyB(frame.data(), static_cast<std::size_t>(std::max(n, 0)));
    if (status.replyBFresh) {
        std::copy_n(&frame[2], 2, status.thresholdCode.begin());
        std::copy_n(&frame[4], 3, status.countRaw.begin());
        std::copy_n(&frame[7], 3, status.replyBSpare.begin());
        std::copy_n(&frame[10], 3, status.countLimitRaw.begin());
        std::copy_n(&frame[13], 3, status.countTime.begin());
        status.countLimit = Decode24(status.countLimitRaw.data());
        status.count = Decode24(status.countRaw.data());
    } else {
        status.errorCode = 0;
    }
    // Bit 7 is ours, not the device's: it marks a reported error number.
    status.runFlags = static_cast<std::uint8_t>((status.runFlags & 0x7F) |
                                                (status.errorCode != 0 ? kRunDeviceError : 0));
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
    if (l != nullptr && l->IsWindowVisible()) l->OnStatusPolled();
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
