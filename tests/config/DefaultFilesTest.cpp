// The settings and message files shipped beside the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "config/ConfigFile.h"
#include "config/Cp1251.h"
#include "config/MessageFile.h"
#include "support/TempDir.h"

namespace pulsedesk::config {
namespace {

using testing::ReadBytes;
using testing::TempDir;

const std::string kDefaultsDir = PULSEDESK_CONFIG_DEFAULTS_DIR;

void ExpectWindows1251WithCrLf(const std::string& file) {
    const std::string bytes = ReadBytes(file);
    ASSERT_FALSE(bytes.empty()) << file;
    EXPECT_EQ(Cp1251ToUtf8(bytes).find("\xEF\xBF\xBD"), std::string::npos) << file;
    std::size_t lineEnds = 0;
    for (auto pos = bytes.find("\r\n"); pos != std::string::npos;
         pos = bytes.find("\r\n", pos + 2)) {
        ++lineEnds;
    }
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), lineEnds) << file;
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), lineEnds) << file;
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << file;
}

TEST(DefaultFiles, AreWindows1251WithCrLfLineEndings) {
    ExpectWindows1251WithCrLf(kDefaultsDir + "/pulsedesk.cfg");
    ExpectWindows1251WithCrLf(kDefaultsDir + "/pulsedesk.msg");
}

TEST(DefaultFiles, SettingsHoldEveryKeyWithAUsableValue) {
    const ConfigFile config(kDefaultsDir + "/pulsedesk");
    ASSERT_TRUE(config.IsOpen());
    const auto system = [&](std::string_view key) {
        return config.ReadConfigString(ConfigSection::SYSTEM, key);
    };
    EXPECT_EQ(system(keys::kTarlinkSupport), "0");
    EXPECT_EQ(system(keys::kComPort), "/tmp/pulsedesk-sim");
    EXPECT_EQ(system(keys::kWorkFolder), "");
    for (const auto key : {keys::kRepeatCounter, keys::kThresholdWarning, keys::kThresholdAlarm}) {
        int32_t value = -1;
        EXPECT_TRUE(ParseIntegerText(system(key), value)) << key;
        EXPECT_GT(value, 0) << key;
    }
    EXPECT_EQ(ParseConfigNumber(system(keys::kShadowFormAlfa), -1), 200);
    EXPECT_EQ(ParseConfigNumber(system(keys::kShadowFormColor), -1), 0xA0A020);
    EXPECT_EQ(ParseConfigNumber(system(keys::kSettingFormColor), -1), 0xA0A020);
    const auto headLine = [&](std::string_view key) {
        return config.ReadConfigString(ConfigSection::Head_Line, key);
    };
    EXPECT_EQ(headLine(keys::kReportFileField), "Report file:");
    EXPECT_EQ(headLine(keys::kSWVersField), "Software version:");
    EXPECT_EQ(headLine(keys::kDeviceField), "Device:");
    EXPECT_EQ(headLine(keys::kMonthField), "Month:");
}

TEST(DefaultFiles, MessagesHoldEveryTextTheProgramAsksFor) {
    const MessageFile messages(kDefaultsDir + "/pulsedesk");
    ASSERT_TRUE(messages.IsOpen());
    std::string text;
    for (const int32_t number : {0, 1, 2, 3, 1000, 1002, 1006}) {
        EXPECT_TRUE(messages.TryGetMessage(MessageKind::Error, number, text)) << number;
        EXPECT_FALSE(text.empty()) << number;
    }
    for (int32_t number = 0; number <= 5; ++number) {
        EXPECT_TRUE(messages.TryGetMessage(MessageKind::Status, number, text)) << number;
    }
    EXPECT_EQ(Cp1251ToUtf8(messages.GetMessage(MessageKind::Status, 2)),
              "ПЕРИОДИЧЕСКИЙ АВТОЗАПУСК");
    EXPECT_EQ(Cp1251ToUtf8(messages.GetMessage(MessageKind::Status, 5)), "ИССЛЕДОВАНИЕ НЕ НАЧАТО");
    const TExtIniFile ini(messages.FileName());
    for (const char* section :
         {"INFO_MESSAGE", "QUESTION", "WARNING_MESSAGE", "ERROR_MESSAGE", "STATUS_MESSAGE",
          "MAIN_DIALOG", "SAVE_TO_FILE_DIALOG", "LOAD_FROM_FILE_DIALOG", "VISIBLE_DIALOG",
          "LOAD_DIALOG", "TOOLS_DIALOG", "MENU_ITEMS", "CONTEXT_MENU_ITEMS"}) {
        EXPECT_TRUE(ini.SectionExists(section)) << section;
    }
}

TEST(DefaultFiles, AreCopiedBesideTheProgram) {
    const char* binDir = std::getenv("PULSEDESK_BIN_DIR");
    if (binDir == nullptr) GTEST_SKIP() << "PULSEDESK_BIN_DIR is not set";
    for (const char* name : {"pulsedesk.cfg", "pulsedesk.msg"}) {
        EXPECT_EQ(ReadBytes(std::string(binDir) + "/" + name), ReadBytes(kDefaultsDir + "/" + name))
            << name;
    }
}

}  // namespace
}  // namespace pulsedesk::config
