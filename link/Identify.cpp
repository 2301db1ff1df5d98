#include "link/Identify.h"

namespace pulsedesk::link {

namespace {

// The reply of a query, when it carries that query's code.
std::optional<CommandReply> Ask(CommandChannel& line, Command query) {
    CommandReply reply = line.SendCommand(frames::QueryFrame(query));
    if (reply.Byte(1) != ReplyCodeFor(query)) return std::nullopt;
    return reply;
}

}  // namespace

std::optional<Identity> Identify(CommandChannel& line) {
    const auto model = Ask(line, ReadModel);
    if (!model) return std::nullopt;
    Identity id;
    switch (model->Byte(3)) {
        case '1':
            id = {"QEV-C1", 0};
            break;
        case '2':
            id = {"QEV-C2", 1};
            break;
        default:
            id = {"System is undefined", 2};
    }
    if (const auto firmware = Ask(line, ReadFirmwareVersion)) id.firmwareVersion = firmware->Byte(2);
    if (const auto serial = Ask(line, ReadSerialNumber))
        id.serialNumber = static_cast<std::uint16_t>(serial->Byte(2) * 256u + serial->Byte(3));
    return id;
}

}  // namespace pulsedesk::link
