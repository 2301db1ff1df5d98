#include <gtest/gtest.h>

#include "config/LinkSetting.h"
#include "support/TempDir.h"

namespace pulsedesk::config {
namespace {

TEST(LinkSetting, TheSharedPortServerOnlyForTarlinkSupport1ElseTheNamedPort) {
    using Kind = LinkSetting::Kind;
    const struct {
        const char* settings;
        Kind kind;
        const char* port;
    } cases[] = {
        {"TarlinkSupport=1\nCOM-Port=/dev/ttyUSB0\n", Kind::Mux, ""},
        {"TarlinkSupport=0\nCOM-Port=/dev/ttyUSB0\n", Kind::Port, "/dev/ttyUSB0"},
        {"TarlinkSupport=yes\nCOM-Port=COM1\n", Kind::Port, "COM1"},
        {"COM-Port=/dev/serial/by-id/usb-FTDI-if00\n", Kind::Port,
         "/dev/serial/by-id/usb-FTDI-if00"},
        {"TarlinkSupport=0\nCOM-Port=\n", Kind::NoPort, ""},
        {"", Kind::NoPort, ""},
    };
    for (const auto& c : cases) {
        testing::TempDir folder;
        folder.Write("pulsedesk.cfg", std::string("[SYSTEM]\n") + c.settings);
        const ConfigFile settings(folder.File("pulsedesk"));
        const LinkSetting setting = LinkSettingOf(settings);
        EXPECT_EQ(setting.kind, c.kind) << c.settings;
        EXPECT_EQ(setting.port, c.port) << c.settings;
    }
}

}  // namespace
}  // namespace pulsedesk::config
