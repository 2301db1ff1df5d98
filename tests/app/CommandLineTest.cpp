// The panel's command line and its version.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "version/Version.h"

namespace pulsedesk::app {
namespace {

TEST(CommandLineTest, OnlyVersionOrHelpAloneAreUnderstood) {
    struct Case {
        std::vector<const char*> args;
        CommandLineRequest request;
    };
    const Case cases[] = {
        {{}, CommandLineRequest::Run},
        {{"--version"}, CommandLineRequest::Version},
        {{"--help"}, CommandLineRequest::Help},
        {{"-h"}, CommandLineRequest::Misuse},
        {{"--Version"}, CommandLineRequest::Misuse},
        {{""}, CommandLineRequest::Misuse},
        {{"--version", "--help"}, CommandLineRequest::Misuse},
        {{"COM1"}, CommandLineRequest::Misuse},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"pulsedesk"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(ParseCommandLine(static_cast<int>(argv.size()), argv.data()), c.request)
            << (c.args.empty() ? "(none)" : c.args.front());
    }
    EXPECT_EQ(VersionText(), "pulsedesk " PULSEDESK_VERSION "\n");
    // The report headers' "Soft" number and the printed text come from one version.
    EXPECT_EQ(std::to_string(version::kProgramVersion >> 8) + "." +
                  std::to_string(version::kProgramVersion & 0xFF),
              PULSEDESK_VERSION);
}

}  // namespace
}  // namespace pulsedesk::app
