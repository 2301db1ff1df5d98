// TSerialMux: the link through the shared-port server's client library, libmuxclient.so,
// bound at the first exchange so that a program set up for a COM port runs without it.
#pragma once

#include <functional>
#include <string>

#include "tser.h"

namespace pulsedesk::link {

class TSerialMux final : public TSerial {
  public:
    // Told once, at the first load of the client library that fails, why and where it was
    // looked for; called on the thread of that exchange with the link's mutex held, so it must
    // only hand the text on.
    using LoadFailed = std::function<void(const std::string& why)>;

    // The client library is looked for in clientFolder first (the program's own folder unless
    // given), then on the system's search path.
    explicit TSerialMux(std::string clientFolder = ExecutableFolder(), LoadFailed onLoadFailed = {});
    ~TSerialMux() override;

    static std::string ExecutableFolder();

    using TransactFn = int (*)(unsigned int length, const unsigned char* request,
                               unsigned char* reply);

  protected:
    // The server is not contacted here: the first polls show whether the device answers.
    bool OpenTransport() override { return true; }
    int Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                 std::uint8_t* reply) override;

  private:
    TransactFn Bind();

    const std::string clientFolder;
    TransactFn transact = nullptr;
    LoadFailed onLoadFailed;  // emptied once told
};

}  // namespace pulsedesk::link
