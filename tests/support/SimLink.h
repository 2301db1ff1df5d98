// A link whose transport is the simulated device, in process: the panel and link tests talk
// to DeviceModel through the real TSerial without a line in between.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "link/tser.h"
#include "sim/DeviceModel.h"

namespace pulsedesk::testing {

// A clock the test moves by hand.
class ManualClock {
public:
    std::int64_t Now() const { return ms.load(); }
    void Advance(std::int64_t delta) { ms += delta; }

private:
    std::atomic<std::int64_t> ms{1000};
};

class TSerialSim final : public link::TSerial {
public:
    // Opens at once unless openFails; the model must outlive the link.
    explicit TSerialSim(sim::DeviceModel& model, bool openFails = false);
    ~TSerialSim() override;

    // Every request seen on the "line", in order, for tests to inspect.
    std::vector<std::vector<std::uint8_t>> Requests();
    int ExchangeCount() const { return exchanges.load(); }
    // Runs f on the device while holding the link's mutex, so no exchange runs meanwhile.
    template <class F>
    void WithDevice(F f) {
        std::lock_guard lock(linkMutex);
        f(model);
    }

protected:
    bool OpenTransport() override { return !openFails; }
    int Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                 std::uint8_t* reply) override;

private:
    sim::DeviceModel& model;
    bool openFails;
    std::mutex seenMutex;
    std::vector<std::vector<std::uint8_t>> seen;
    std::atomic<int> exchanges{0};
};

}  // namespace pulsedesk::testing
