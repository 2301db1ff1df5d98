// TSerial: the one link to the counter. A worker thread polls the device without pause,
// decodes both status replies into DeviceStatus and tells the panel after every poll; every
// exchange on the line, from any thread, is serialised by one recursive timed mutex.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <thread>

#include "link/CommandChannel.h"
#include "link/DeviceStatus.h"
#include "LinkMutex.h"
#include "trace.h"

namespace pulsedesk::link {

// Told after every poll, on whichever thread ran it (the polling thread, or the caller of
// PollNow), after the mutex has been released: it may read only what is safe from that thread
// (atomic flags, TryCopyStatus), never a GUI's widgets. OnStatusPolled follows only while
// IsListening (the panel: while it is shown and not closing).
class StatusListener {
  public:
    virtual ~StatusListener() = default;
    virtual bool IsListening() const = 0;
    virtual void OnStatusPolled() = 0;
};

class TSerial : public CommandChannel {
  public:
    static constexpr std::chrono::milliseconds kLockWait{1000};
    static constexpr std::chrono::milliseconds kSleepAfterGoodPoll{50};
    static constexpr std::chrono::milliseconds kSleepAfterFailedPoll{250};

    TSerial(const TSerial&) = delete;
    TSerial& operator=(const TSerial&) = delete;
    ~TSerial() override;

    bool IsConnected() const override { return connected.load(); }
    bool PollNow() override;
    // Sends the frame of header and exactly N values (N = header's low nibble) and returns the
    // device's reply; a frame that cannot be built, or a mutex not had within kLockWait, sends
    // nothing and returns an empty reply.
    CommandReply SendCommand(std::uint8_t header, std::initializer_list<std::int64_t> values);
    // Sends a frame of the catalogue (Frames.h).
    CommandReply SendCommand(const frames::Frame& frame) override;

    // A copy of the status taken under the mutex without waiting; empty while the line is busy.
    std::optional<DeviceStatus> TryCopyStatus();

    void SetListener(StatusListener* listener) { this->listener.store(listener); }

    void Terminate();
    void WaitFor();
    // True once the polling loop has returned (or when it never ran).
    bool IsFinished() const { return finished.load(); }

  protected:
    TSerial() = default;

    // Called by the transport's constructor once the transport is ready: opens the line and,
    // only when that succeeded, starts polling.
    void OpenAndStart();
    // Called first by every transport's destructor, so the thread never sees a half-destroyed
    // transport.
    void StopPolling();

    virtual bool OpenTransport() = 0;
    virtual int Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                         std::uint8_t* reply) = 0;

    // Held around every exchange; transports and test doubles may hold it to keep polls out.
    LinkMutex linkMutex;

  private:
    void Execute();
    int Transact(const std::uint8_t* request, std::uint8_t length, std::uint8_t* reply);
    bool PollLocked();
    CommandReply SendFrame(const std::uint8_t* frame, std::uint8_t length);
    void Notify();
    void SleepUnlessTerminated(std::chrono::milliseconds period);

    DeviceStatus status;  // written only by a poll, under linkMutex
    std::atomic<bool> connected{false};
    std::atomic<bool> terminated{false};
    std::atomic<bool> finished{true};
    std::atomic<StatusListener*> listener{nullptr};
    std::mutex sleepMutex;
    std::condition_variable wake;
    std::unique_ptr<FrameTrace> trace = FrameTrace::FromEnvironment();
    std::thread thread;
};

}  // namespace pulsedesk::link
