#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <filesystem>

#include "config/TExtIniFile.h"
#include "support/TempDir.h"

namespace pulsedesk::config {
namespace {

using namespace std::string_literals;
using testing::ReadBytes;
using testing::TempDir;

class IniFileTest : public ::testing::Test {
  protected:
    TExtIniFile Ini(std::string_view content) {
        return TExtIniFile(folder.Write("t.ini", content));
    }
    TempDir folder;
};

TEST_F(IniFileTest, ValueIsTrimmedUnquotedAndTakenAfterTheFirstEquals) {
    const TExtIniFile ini =
        Ini("[S]\r\n"
            "plain =  a value \t\r\n"
            "formula=x=y+1\r\n"
            "double=\" padded \"\r\n"
            "single='x'\r\n"
            "mismatched=\"x'\r\n"
            "lone=\"\r\n"
            "empty=\r\n");
    EXPECT_EQ(ini.ReadString("S", "plain", "-"), "a value");
    EXPECT_EQ(ini.ReadString("S", "formula", "-"), "x=y+1");
    EXPECT_EQ(ini.ReadString("S", "double", "-"), " padded ");
    EXPECT_EQ(ini.ReadString("S", "single", "-"), "x");
    EXPECT_EQ(ini.ReadString("S", "mismatched", "-"), "\"x'");
    EXPECT_EQ(ini.ReadString("S", "lone", "-"), "\"");
    EXPECT_EQ(ini.ReadString("S", "empty", "-"), "");
    EXPECT_TRUE(ini.ValueExists("S", "empty"));
}

TEST_F(IniFileTest, NamesMatchInAnyAsciiLetterCaseAndBytesPassUnchanged) {
    // "Порт" in Windows-1251: upper-case folding must not touch these bytes.
    const std::string cyrillic = "\xCF\xEE\xF0\xF2";
    const TExtIniFile ini = Ini("[System]\nRepeat_Counter=7\n" + cyrillic + "=\xE0\xFF\n");
    EXPECT_EQ(ini.ReadString("SYSTEM", "repeat_counter", ""), "7");
    EXPECT_EQ(ini.ReadString("system", "REPEAT_COUNTER", ""), "7");
    EXPECT_EQ(ini.ReadString("system", cyrillic, ""), "\xE0\xFF");
    EXPECT_EQ(ini.ReadString("system", "\xEF\xEE\xF0\xF2", "none"), "none");
}

TEST_F(IniFileTest, EveryLineEndingWorks) {
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
        const TExtIniFile ini = Ini("[A]" + eol + "k=1" + eol + "[B]" + eol + "k=2" + eol);
        EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
        EXPECT_EQ(ini.ReadString("B", "k", ""), "2");
    }
}

TEST_F(IniFileTest, MissingSectionKeyOrFileGivesTheDefault) {
    const TExtIniFile ini = Ini("[A]\nk=1\n");
    EXPECT_EQ(ini.ReadString("B", "k", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("A", "other", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("A", "", "dflt"), "dflt");
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_FALSE(ini.ValueExists("A", "other"));
    const TExtIniFile missing(folder.File("absent.ini"));
    EXPECT_EQ(missing.ReadString("A", "k", "dflt"), "dflt");
    EXPECT_FALSE(missing.SectionExists("A"));
    const TExtIniFile aFolder(folder.Path());
    EXPECT_EQ(aFolder.ReadString("A", "k", "dflt"), "dflt");
}

TEST_F(IniFileTest, FirstOfDuplicateSectionsAndKeysWins) {
    const TExtIniFile ini = Ini("[A]\nk=first\nk=second\n[B]\nx=1\n[a]\nk=third\nonly=later\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "first");
    EXPECT_EQ(ini.ReadString("A", "only", "dflt"), "dflt");
}

TEST_F(IniFileTest, EntriesBeforeTheFirstSectionBelongToNone) {
    const TExtIniFile ini = Ini("k=0\n[A]\nk=1\n");
    EXPECT_EQ(ini.ReadString("", "k", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
}

TEST_F(IniFileTest, SectionWithoutKeysExists) {
    const TExtIniFile ini = Ini("[SYSTEM]");
    EXPECT_TRUE(ini.SectionExists("system"));
    EXPECT_EQ(ini.ReadString("SYSTEM", "COM-Port", "dflt"), "dflt");
}

TEST_F(IniFileTest, MeaninglessLinesAreIgnored) {
    const TExtIniFile ini =
        Ini("\xEF\xBB\xBF[A]\n"  // a byte-order mark from a text editor
            "no equals sign here\n"
            "; k=commented out\n"
            "=no key\n"
            "  [ B ]  trailing\n"
            "k=b\n"
            "[C\n"  // unterminated: not a section line
            "c=still in B\n");
    EXPECT_TRUE(ini.SectionExists("A"));
    EXPECT_FALSE(ini.ValueExists("A", "no equals sign here"));
    EXPECT_FALSE(ini.ValueExists("A", "; k"));
    EXPECT_EQ(ini.ReadString("B", "k", ""), "b");
    EXPECT_EQ(ini.ReadString("B", "c", ""), "still in B");
    EXPECT_FALSE(ini.SectionExists("C"));
}

TEST_F(IniFileTest, ValueStopsAtNulAndAfter2047Characters) {
    const std::string longValue(3000, 'v');
    const TExtIniFile ini =
        Ini("[A]\nnul=ab\0cd\nlong="s + longValue + "\n" + "\0\0\0[B]\n\0k=1\n"s);
    EXPECT_EQ(ini.ReadString("A", "nul", ""), "ab");
    EXPECT_EQ(ini.ReadString("A", "long", ""), std::string(2047, 'v'));
    EXPECT_EQ(ini.ReadString("B", "k", "dflt"), "dflt");
}

TEST_F(IniFileTest, HugeFileWithEndlessLineIsReadWithoutTrouble) {
    std::string content = "[A]\nfirst=1\n";
    content += std::string(20 * 1024 * 1024, 'x');  // one 20 MiB line without "="
    content += "=tail\n[B]\nk=2\n";
    const TExtIniFile ini = Ini(content);
    EXPECT_EQ(ini.ReadString("A", "first", ""), "1");
    EXPECT_EQ(ini.ReadString("B", "k", ""), "2");
    EXPECT_EQ(ini.ReadString("A", "missing", "dflt"), "dflt");
}

TEST_F(IniFileTest, EveryCallSeesTheFileAsItIsNow) {
    const TExtIniFile ini = Ini("[A]\nk=old\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "old");
    folder.Write("t.ini", "[A]\nk=new\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "new");
    std::filesystem::remove(ini.FileName());
    EXPECT_EQ(ini.ReadString("A", "k", "gone"), "gone");
    EXPECT_FALSE(ini.SectionExists("A"));
}

TEST_F(IniFileTest, ReadingANamedPipeDoesNotHang) {
    const std::string fifo = folder.File("pipe.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(TExtIniFile(fifo).ReadString("A", "k", "dflt"), "dflt");
}

TEST_F(IniFileTest, WriteReplacesAValueAndKeepsEverythingElse) {
    TExtIniFile ini = Ini("; head\r\n[A]\r\nKey = old \r\n\r\n; note\r\n[B]\r\nk=1");
    ini.WriteString("a", "key", "new");
    EXPECT_EQ(ReadBytes(ini.FileName()), "; head\r\n[A]\r\nKey =new\r\n\r\n; note\r\n[B]\r\nk=1");
}

TEST_F(IniFileTest, WriteAddsKeyAfterTheSectionsLastEntryAndNewSectionsAtTheEnd) {
    TExtIniFile ini = Ini("[A]\nx=1\n\n[B]\ny=2");
    ini.WriteString("A", "z", "3");
    ini.WriteString("C", "w", "4");
    EXPECT_EQ(ReadBytes(ini.FileName()), "[A]\nx=1\nz=3\n\n[B]\ny=2\n[C]\nw=4\n");
    EXPECT_EQ(ini.ReadString("A", "z", ""), "3");
}

TEST_F(IniFileTest, WriteCreatesAMissingFileWithCrLfAndLeavesNoTemporaryFile) {
    TExtIniFile ini(folder.File("new.ini"));
    ini.WriteString("SYSTEM", "Repeat_Counter", "5");
    EXPECT_EQ(ReadBytes(ini.FileName()), "[SYSTEM]\r\nRepeat_Counter=5\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

TEST_F(IniFileTest, WriteRefusesTextsThatWouldBreakTheFile) {
    TExtIniFile ini = Ini("[A]\nk=1\n");
    EXPECT_THROW(ini.WriteString("A", "k", "1\r\n[B]"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A", "k=", "1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A]", "k", "1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A", " ", "1"), std::invalid_argument);
    EXPECT_EQ(ReadBytes(ini.FileName()), "[A]\nk=1\n");
}

// A full disk, played by a file size limit (which holds for root as well).
TEST_F(IniFileTest, FailedWriteReportsAndKeepsTheOldFileWithoutLeftovers) {
    TExtIniFile ini = Ini("[A]\nk=1\n");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(ini.WriteString("A", "k", std::string(100, 'v')), IniWriteError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ReadBytes(ini.FileName()), "[A]\nk=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
    EXPECT_THROW(TExtIniFile(folder.File("no/such/folder.ini")).WriteString("A", "k", "1"),
                 IniWriteError);
}

TEST_F(IniFileTest, WriteThroughASymbolicLinkUpdatesItsTarget) {
    TExtIniFile target = Ini("[A]\nk=1\n");
    const std::string link = folder.File("link.ini");
    std::filesystem::create_symlink(target.FileName(), link);
    TExtIniFile(link).WriteString("A", "k", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(target.ReadString("A", "k", ""), "2");
}

TEST_F(IniFileTest, BinaryRoundTripsWithUpperCaseHexAndCheckByte) {
    TExtIniFile ini(folder.File("bin.ini"));
    const std::array<uint8_t, 3> data = {0x01, 0xAB, 0xF0};
    ini.WriteBinary("B", "v", data.data(), data.size());
    EXPECT_EQ(ini.ReadString("B", "v", ""), "01ABF05A");
    std::array<uint8_t, 3> out{};
    const std::array<uint8_t, 3> fallback = {9, 9, 9};
    ini.ReadBinary("B", "v", out.data(), out.size(), fallback.data());
    EXPECT_EQ(out, data);
}

TEST_F(IniFileTest, BinaryFallsBackToTheDefaultBufferOnAnyMismatch) {
    TExtIniFile ini =
        Ini("[B]\n"
            "good=01ABF05A\n"
            "lower=01abf05a\n"
            "odd=01ABF05A0\n"  // a trailing odd digit is ignored
            "badcheck=01ABF05B\n"
            "junk=0GABF05A\n");
    const std::array<uint8_t, 3> fallback = {9, 8, 7};
    const auto read = [&](std::string_view key, std::size_t size, const uint8_t* dflt) {
        std::array<uint8_t, 4> out = {0xEE, 0xEE, 0xEE, 0xEE};
        ini.ReadBinary("B", key, out.data(), size, dflt);
        return out;
    };
    using Bytes = std::array<uint8_t, 4>;
    EXPECT_EQ(read("lower", 3, fallback.data()), (Bytes{0x01, 0xAB, 0xF0, 0xEE}));
    EXPECT_EQ(read("odd", 3, fallback.data()), (Bytes{0x01, 0xAB, 0xF0, 0xEE}));
    EXPECT_EQ(read("good", 2, fallback.data()), (Bytes{9, 8, 0xEE, 0xEE}));
    EXPECT_EQ(read("badcheck", 3, fallback.data()), (Bytes{9, 8, 7, 0xEE}));
    EXPECT_EQ(read("junk", 3, fallback.data()), (Bytes{9, 8, 7, 0xEE}));
    EXPECT_EQ(read("missing", 3, fallback.data()), (Bytes{9, 8, 7, 0xEE}));
    EXPECT_EQ(read("missing", 3, nullptr), (Bytes{0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(read("good", 0, fallback.data()), (Bytes{0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(IniFileTest, BinaryOfNothingWritesNothing) {
    TExtIniFile ini(folder.File("none.ini"));
    const uint8_t byte = 1;
    ini.WriteBinary("B", "v", &byte, 0);
    ini.WriteBinary("B", "v", nullptr, 1);
    EXPECT_FALSE(std::filesystem::exists(ini.FileName()));
}

}  // namespace
}  // namespace pulsedesk::config
