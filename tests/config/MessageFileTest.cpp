#include <gtest/gtest.h>

#include <filesystem>

#include "config/MessageFile.h"
#include "support/TempDir.h"

namespace pulsedesk::config {
namespace {

using testing::TempDir;

class MessageFileTest : public ::testing::Test {
  protected:
    std::string Exe() const { return folder.File("bench.exe"); }
    MessageFile WithMessages(std::string_view content) {
        folder.Write("bench.msg", content);
        return MessageFile(Exe());
    }
    TempDir folder;
};

TEST_F(MessageFileTest, KeysArePrefixAndPlainDecimalNumber) {
    const MessageFile messages(Exe());
    EXPECT_EQ(messages.MakeMessageKey(MessageKind::Error, 7), "ERR7");
    EXPECT_EQ(messages.MakeMessageKey(MessageKind::Error, -3), "ERR-3");
    EXPECT_EQ(messages.MakeMessageKey(MessageKind::Info, 1), "INFO1");
    EXPECT_EQ(messages.MakeMessageKey(MessageKind::Question, 2), "QUEST2");
    EXPECT_EQ(messages.MakeMessageKey(MessageKind::Warning, 0), "WARN0");
    EXPECT_EQ(messages.MakeMessageKey(MessageKind::Status, 3), "STAT3");
    EXPECT_EQ(messages.MakeMessageKey(MessageKind::MainDialog, 12), "12");
    EXPECT_EQ(messages.MakeMessageKey(MessageKind::SaveToFileDialog, 4), "4");
}

TEST_F(MessageFileTest, UnknownKindsGiveTheUnknownKindText) {
    const MessageFile messages = WithMessages("[ERROR_MESSAGE]\nERR1=x\n");
    std::string text;
    EXPECT_EQ(messages.MakeMessageKey(static_cast<MessageKind>(13), 1),
              "Unknown type message! (ID = 13)");
    EXPECT_FALSE(messages.TryMakeMessageKey(static_cast<MessageKind>(-1), 1, text));
    EXPECT_EQ(text, "Unknown type message! (ID = -1)");
    EXPECT_TRUE(messages.TryMakeMessageKey(MessageKind::ContextMenuItems, 1, text));
    EXPECT_EQ(messages.GetMessage(static_cast<MessageKind>(13), 1),
              "Unknown type message! (ID = 13)");
    EXPECT_FALSE(messages.TryGetMessage(static_cast<MessageKind>(13), 1, text));
    EXPECT_EQ(text, "Unknown type message! (ID = 13)");
}

TEST_F(MessageFileTest, MissingFileNamesTheExpectedPath) {
    const MessageFile messages(Exe());
    EXPECT_FALSE(messages.IsOpen());
    const std::string expected = "File of Messages (" + folder.File("bench.msg") + ") not found!";
    EXPECT_EQ(messages.GetMessage(MessageKind::Error, 0), expected);
    EXPECT_EQ(messages.GetMessage(static_cast<MessageKind>(13), 0), expected);
    std::string text;
    EXPECT_FALSE(messages.TryGetMessage(MessageKind::Error, 0, text));
    EXPECT_EQ(text, expected);
    EXPECT_EQ(messages.GetCaption(MessageKind::Error, "dflt"), "dflt");
    EXPECT_FALSE(std::filesystem::exists(messages.FileName()));
}

TEST_F(MessageFileTest, MissingFileTextIsWindows1251EvenForAUtf8Path) {
    const MessageFile messages(folder.File("\xD0\xBF\xD1\x83\xD0\xBB\xD1\x8C\xD1\x81"));  // "пульс"
    EXPECT_EQ(messages.GetMessage(MessageKind::Error, 0),
              "File of Messages (" + folder.File("\xEF\xF3\xEB\xFC\xF1.msg") + ") not found!");
}

TEST_F(MessageFileTest, MissingKeyOrSectionNamesBoth) {
    const MessageFile messages = WithMessages("[STATUS_MESSAGE]\r\nSTAT0=x\r\n");
    EXPECT_EQ(messages.GetMessage(MessageKind::Error, 1000),
              "Message (key = ERR1000) of section [ERROR_MESSAGE] not found!");
    EXPECT_EQ(messages.GetMessage(MessageKind::Status, 5),
              "Message (key = STAT5) of section [STATUS_MESSAGE] not found!");
    std::string text;
    EXPECT_FALSE(messages.TryGetMessage(MessageKind::Status, 5, text));
    EXPECT_EQ(text, "Message (key = STAT5) of section [STATUS_MESSAGE] not found!");
}

TEST_F(MessageFileTest, FindsMessagesInAnyLetterCaseWithoutZeroPadding) {
    const MessageFile messages = WithMessages(
        "[error_message]\r\nerr1006=\xCD\xC5\xD2 \xD1\xC2\xDF\xC7\xC8\r\nERR007=padded\r\n"
        "ERR7=seven\r\nERR8=\r\nCaption=\xCE\xF8\xE8\xE1\xEA\xE0\r\n");
    ASSERT_TRUE(messages.IsOpen());
    EXPECT_EQ(messages.GetMessage(MessageKind::Error, 1006), "\xCD\xC5\xD2 \xD1\xC2\xDF\xC7\xC8");
    EXPECT_EQ(messages.GetMessage(MessageKind::Error, 7), "seven");
    EXPECT_EQ(messages.GetCaption(MessageKind::Error, "dflt"), "\xCE\xF8\xE8\xE1\xEA\xE0");
    EXPECT_EQ(messages.GetCaption(MessageKind::Status, "dflt"), "dflt");
    EXPECT_EQ(messages.ReadMessageText(MessageKind::Error, "ERR007", "dflt"), "padded");
    std::string text;
    EXPECT_TRUE(messages.TryGetMessage(MessageKind::Error, 7, text));
    EXPECT_EQ(text, "seven");
}

TEST_F(MessageFileTest, EmptyValueIsAnEmptyTextNotAMissingOne) {
    const MessageFile messages = WithMessages("[ERROR_MESSAGE]\nERR8=\n");
    EXPECT_EQ(messages.GetMessage(MessageKind::Error, 8), "");
    std::string text = "stale";
    EXPECT_TRUE(messages.TryGetMessage(MessageKind::Error, 8, text));
    EXPECT_EQ(text, "");
}

TEST_F(MessageFileTest, EditedOrVanishedFileIsSeenByTheNextLookup) {
    const MessageFile messages = WithMessages("[STATUS_MESSAGE]\nSTAT4=old\n");
    EXPECT_EQ(messages.GetMessage(MessageKind::Status, 4), "old");
    folder.Write("bench.msg", "[STATUS_MESSAGE]\nSTAT4=new\n");
    EXPECT_EQ(messages.GetMessage(MessageKind::Status, 4), "new");
    std::filesystem::remove(messages.FileName());
    EXPECT_EQ(messages.GetMessage(MessageKind::Status, 4),
              "Message (key = STAT4) of section [STATUS_MESSAGE] not found!");
}

}  // namespace
}  // namespace pulsedesk::config
