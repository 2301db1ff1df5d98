// TSerialMux: the link through the shared-port server's client library, libmuxclient.so,
// bound at the first exchange so that a program set up for a COM port runs without it.
#pragma once

#include <string>

#include "tser.h"

namespace pulsedesk::link {

class TSerialMux final : public TSerial {
  public:
    // The client library is looked for in clientFolder first (the program's own folder unless
    // given), then on the system's search path.
    explicit TSerialMux(std::string clientFolder = ExecutableFolder());
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
};

}  // namespace pulsedesk::link
