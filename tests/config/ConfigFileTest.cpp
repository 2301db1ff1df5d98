#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "config/ConfigFile.h"
#include "config/SiblingFile.h"
#include "support/TempDir.h"

namespace pulsedesk::config {
namespace {

using testing::TempDir;

TEST(SiblingFileName, ReplacesOnlyTheExtensionOfTheFileName) {
    EXPECT_EQ(SiblingFileName("/x/bench.exe", ".cfg"), "/x/bench.cfg");
    EXPECT_EQ(SiblingFileName("/x/bench.", ".cfg"), "/x/bench.cfg");
    EXPECT_EQ(SiblingFileName("/x/bench.v2.bin", ".msg"), "/x/bench.v2.msg");
    // Cutting the whole path at its last "." would give /opt/bench.cfg here.
    EXPECT_EQ(SiblingFileName("/opt/bench.d/pulsedesk", ".cfg"), "/opt/bench.d/pulsedesk.cfg");
    EXPECT_EQ(SiblingFileName("/opt/.hidden", ".cfg"), "/opt/.hidden.cfg");
    EXPECT_EQ(SiblingFileName("pulsedesk", ".msg"), "pulsedesk.msg");
    EXPECT_EQ(SiblingFileName("./pulsedesk", ".msg"), "./pulsedesk.msg");
}

class ConfigFileTest : public ::testing::Test {
  protected:
    std::string Exe() const { return folder.File("pulsedesk"); }
    ConfigFile WithSettings(std::string_view content) {
        folder.Write("pulsedesk.cfg", content);
        return ConfigFile(Exe());
    }
    TempDir folder;
};

TEST_F(ConfigFileTest, MissingFileLeavesItClosedAndUncreated) {
    const ConfigFile config(Exe());
    EXPECT_FALSE(config.IsOpen());
    EXPECT_EQ(config.FileName(), folder.File("pulsedesk.cfg"));
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, keys::kComPort), "");
    EXPECT_FALSE(std::filesystem::exists(config.FileName()));
}

TEST_F(ConfigFileTest, AFolderOrAPipeWithTheFilesNameDoesNotCountAsTheFile) {
    std::filesystem::create_directory(folder.File("pulsedesk.cfg"));
    EXPECT_FALSE(ConfigFile(Exe()).IsOpen());
    ASSERT_EQ(mkfifo(folder.File("pipe.cfg").c_str(), 0600), 0);
    EXPECT_FALSE(ConfigFile(ExactFile{folder.File("pipe.cfg")}).IsOpen());
}

TEST_F(ConfigFileTest, ReadsEachSectionOfTheTable) {
    const ConfigFile config = WithSettings(
        "[CHANNELS]\r\nk=c\r\n[SYSTEM]\r\nk=s\r\n[STANDART_MODE]\r\nk=m\r\n"
        "[Head_Line]\r\nDevice_Field=Device:\r\n");
    ASSERT_TRUE(config.IsOpen());
    EXPECT_EQ(config.ReadConfigString(ConfigSection::CHANNELS, "k"), "c");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, "k"), "s");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::STANDART_MODE, "k"), "m");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::Head_Line, keys::kDeviceField), "Device:");
    EXPECT_EQ(config.ReadConfigString(static_cast<ConfigSection>(4), "k"), "");
    EXPECT_EQ(config.ReadConfigString(static_cast<ConfigSection>(-1), "k"), "");
}

// The conversions the panel, link and reports apply to what they read.
int32_t RepeatCount(const ConfigFile& config) {
    int32_t value = 3;  // kept when the text is no integer text
    ParseIntegerText(config.ReadConfigString(ConfigSection::SYSTEM, keys::kRepeatCounter), value);
    return value;
}
int32_t ShadowColour(const ConfigFile& config) {
    return ParseConfigNumber(config.ReadConfigString(ConfigSection::SYSTEM, keys::kShadowFormColor),
                             0xA0A020);
}

TEST_F(ConfigFileTest, OnlyTheSystemSectionLineGivesEveryDefault) {
    const ConfigFile config = WithSettings("[SYSTEM]");
    ASSERT_TRUE(config.IsOpen());
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, keys::kTarlinkSupport), "");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, keys::kComPort), "");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, keys::kWorkFolder), "");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::Head_Line, keys::kMonthField), "");
    EXPECT_EQ(RepeatCount(config), 3);
    EXPECT_EQ(ShadowColour(config), 0xA0A020);
}

TEST_F(ConfigFileTest, RepeatCounterTexts) {
    const std::pair<const char*, int32_t> cases[] = {
        {"abc", 3}, {"$10", 16}, {"0x10", 16}, {"+5", 5}, {"-", 3}, {"", 3}, {"12", 12}};
    for (const auto& [text, expected] : cases) {
        const ConfigFile config = WithSettings(std::string("[system]\r\nrepeat_counter=") + text);
        EXPECT_EQ(RepeatCount(config), expected) << text;
    }
}

TEST_F(ConfigFileTest, TarlinkSupportIsOnlyTheExactText1) {
    for (const char* text : {"yes", "01", " 1 x", "0"}) {
        const ConfigFile config = WithSettings(std::string("[SYSTEM]\nTarlinkSupport=") + text);
        EXPECT_NE(config.ReadConfigString(ConfigSection::SYSTEM, keys::kTarlinkSupport), "1");
    }
    const ConfigFile config = WithSettings("[SYSTEM]\nTarlinkSupport= 1 \n");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, keys::kTarlinkSupport), "1");
}

TEST_F(ConfigFileTest, EditsAndRemovalWhileRunningAreSeenByTheNextRead) {
    const ConfigFile config = WithSettings("[SYSTEM]\nThreshold_Alarm=60\n");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, keys::kThresholdAlarm), "60");
    folder.Write("pulsedesk.cfg", "[SYSTEM]\nThreshold_Alarm=75\n");
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, keys::kThresholdAlarm), "75");
    std::filesystem::remove(config.FileName());
    EXPECT_TRUE(config.IsOpen());
    EXPECT_EQ(config.ReadConfigString(ConfigSection::SYSTEM, keys::kThresholdAlarm), "");
}

}  // namespace
}  // namespace pulsedesk::config
