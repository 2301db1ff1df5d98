// TSerialMux: the link through the shared-port server's client library, libmuxclient.so,
// bound at the first exchange so that a program set up for a COM port runs without it. It also
// takes and gives back control of the shared counter, and follows from every reply whether this
// process still holds it.
#pragma once

#include <functional>
#include <atomic>
#include <mutex>
#include <string>

#include "SharedControl.h"
#include "tser.h"

namespace pulsedesk::link {

class TSerialMux final : public TSerial, public SharedControl {
  public:
    // Told once, at the first load of the client library that fails, why and where it was
    // looked for; called on the thread of that exchange with the link's mutex held, so it must
    // only hand the text on.
    using LoadFailed = std::function<void(const std::string& why)>;

    // The client library is looked for in clientFolder first (the program's own folder unless
    // given), then on the system's search path.
    explicit TSerialMux(std::string clientFolder = ExecutableFolder(), LoadFailed onLoadFailed = {});
    ~TSerialMux() override;  // gives control back when this link took it

    static std::string ExecutableFolder();

    using TransactFn = int (*)(unsigned int length, const unsigned char* request,
                               unsigned char* reply);
    using TransactExFn = int (*)(unsigned int length, const unsigned char* request,
                                 unsigned char* reply, int* held, char* holder,
                                 unsigned int holderSize);
    using TakeFn = int (*)(char* holder, unsigned int holderSize);
    using TakeExFn = int (*)(char* holder, unsigned int holderSize, int* othersMeanwhile);
    using GiveBackFn = int (*)();

    ControlAnswer TakeControl() override;
    void GiveBackControl() override;
    bool HeldSinceLastAsked() override;
    std::string LastRefusal() override;
    bool LastExchangeBusy() override { return busy; }

  protected:
    // The server is not contacted here: the first polls show whether the device answers.
    bool OpenTransport() override { return true; }
    int Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                 std::uint8_t* reply) override;

  private:
    // Called with linkMutex held.
    TransactFn Bind();
    int ExchangeTold(const std::uint8_t* request, std::uint8_t length, unsigned char* reply);

    const std::string clientFolder;
    TransactFn transact = nullptr;
    LoadFailed onLoadFailed;  // emptied once told
    TransactExFn transactEx = nullptr;
    TakeFn take = nullptr;
    TakeExFn takeEx = nullptr;  // optional: older libraries cannot say who held control meanwhile
    GiveBackFn giveBack = nullptr;
    std::atomic<bool> unsupported{false};  // the library has no control functions
    std::atomic<bool> lapsed{false};       // an exchange since the last ask was not held
    std::atomic<bool> held{false};         // as the last answer said
    std::atomic<bool> tookControl{false};
    std::atomic<bool> busy{false};  // the last exchange was answered busy
    std::mutex refusalMutex;
    std::string lastRefusal;
};

}  // namespace pulsedesk::link
