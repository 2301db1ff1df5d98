// Crashes, full disks and strange folder contents: the previous report stays complete and the
// operator gets a clear error.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <limits>

#include "StoreFixture.h"

namespace pulsedesk::reports::testing {
namespace {

using ::testing::HasSubstr;
using Names = std::vector<std::string>;

// A disk that takes `budget` more bytes and then reports itself full.
std::shared_ptr<FileWriter> FillingDisk(std::shared_ptr<std::size_t> budget) {
    DurableWriterOptions options;
    options.write = [budget](int fd, const void* data, std::size_t size) -> ssize_t {
        if (*budget == 0) {
            errno = ENOSPC;
            return -1;
        }
        ssize_t written = ::write(fd, data, std::min(size, *budget));
        if (written > 0) *budget -= static_cast<std::size_t>(written);
        return written;
    };
    return std::make_shared<DurableFileWriter>(options);
}

// A writer that, once armed, writes half of the first block and kills its own process.
std::shared_ptr<FileWriter> DyingWriter(std::shared_ptr<bool> armed) {
    DurableWriterOptions options;
    options.write = [armed](int fd, const void* data, std::size_t size) -> ssize_t {
        if (!*armed) return ::write(fd, data, size);
        ssize_t written = ::write(fd, data, size / 2);
        ::raise(SIGKILL);
        return written;
    };
    return std::make_shared<DurableFileWriter>(options);
}

std::string ManyMeasurementLines(std::size_t count) {
    std::string line =
        "          /A:  14.05  Ut= 0120mV  Tm=00-01-40.00  N=00000002  D=00000.020  Cat=N\r\n";
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) bytes += line;
    return bytes;
}

bool IsMeasurementLine(const std::string& line) {
    return line.size() == 80 && line.rfind("          /", 0) == 0 && line.find("Cat=") == 75;
}

class FailureTest : public StoreFixture {
  protected:
    Names HiddenNames(const std::string& folder) const { return MatchingNames(folder, ".[!.]*"); }
    int WaitForEnd(pid_t child) const {
        int status = 0;
        ::waitpid(child, &status, 0);
        return status;
    }
};

TEST_F(FailureTest, AFullDiskLeavesTheReportAndTheStoreAsTheyWere) {
    auto budget = std::make_shared<std::size_t>(std::numeric_limits<std::size_t>::max());
    auto store = Open(Work(), FillingDisk(budget));
    store->AddRecord("study");
    store->AddMeasurement(100, 10, hundredSeconds);
    const std::string path = store->ReportPath();
    const std::string report = ReadBytes(path);
    const std::string backup = ReadBytes(Backup() + "/12-26_000001-000001.bak");

    *budget = 100;
    try {
        store->AddMeasurement(100, 11, hundredSeconds);
        FAIL() << "a full disk must be reported";
    } catch (const ReportError& error) {
        EXPECT_THAT(error.what(), HasSubstr("\"" + path + "\""));
        EXPECT_THAT(error.what(), HasSubstr("errno 28"));
    }
    *budget = 0;
    EXPECT_THROW(store->AddRecord("next"), ReportError);
    EXPECT_EQ(store->LastRecordNumber(), 1u);
    EXPECT_EQ(store->ReportPath(), path);

    EXPECT_EQ(ReadBytes(path), report);
    EXPECT_EQ(Reports(), Names{"12-26_000001-000001.rep"});
    EXPECT_EQ(ReadBytes(Backup() + "/12-26_000001-000001.bak"), backup);
    EXPECT_EQ(HiddenNames(Year()), Names{});
    EXPECT_EQ(HiddenNames(Backup()), Names{});

    *budget = std::numeric_limits<std::size_t>::max();
    store->AddMeasurement(100, 12, hundredSeconds);
    EXPECT_EQ(SplitLines(ReadBytes(path)).back().substr(0, 15), "          /B:  ");
}

TEST_F(FailureTest, AProcessKilledInTheMiddleOfAWriteLeavesThePreviousReport) {
    auto armed = std::make_shared<bool>(false);
    auto store = Open(Work(), DyingWriter(armed));
    store->AddRecord("big month");
    const std::string path = store->ReportPath();
    WriteBytes(path, ReadBytes(path) + ManyMeasurementLines(50000));
    const std::string report = ReadBytes(path);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        *armed = true;
        try {
            store->AddMeasurement(1, 1, hundredSeconds);
        } catch (...) {
        }
        ::_exit(1);
    }
    int status = WaitForEnd(child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    EXPECT_EQ(ReadBytes(path), report);
    EXPECT_EQ(HiddenNames(Year()).size(), 1u)
        << "the torn temporary file shows the kill hit the write";
    store.reset();
    auto reopened = Open();
    EXPECT_EQ(HiddenNames(Year()), Names{}) << "the dead writer's temporary file is tidied";
    reopened->AddMeasurement(2, 2, hundredSeconds);
    EXPECT_EQ(ReadBytes(path).substr(0, report.size()), report);
    EXPECT_EQ(SplitLines(ReadBytes(path)).size(), SplitLines(report).size() + 1);
}

TEST_F(FailureTest, KillingAWriterAtAnyMomentLeavesCompleteLines) {
    auto store = Open();
    store->AddRecord("big month");
    const std::string path = store->ReportPath();
    WriteBytes(path, ReadBytes(path) + ManyMeasurementLines(40000));
    const Names before = SplitLines(ReadBytes(path));

    int done[2];
    ASSERT_EQ(::pipe(done), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (;;) {
            store->AddMeasurement(120, 2, hundredSeconds);
            if (::write(done[1], "+", 1) != 1) ::_exit(1);
        }
    }
    int written = 0;
    pollfd ready{done[0], POLLIN, 0};
    while (written < 3 && ::poll(&ready, 1, 30000) == 1) {
        char mark;
        if (::read(done[0], &mark, 1) == 1) ++written;
    }
    ::kill(child, SIGKILL);
    WaitForEnd(child);
    ::close(done[0]);
    ::close(done[1]);
    ASSERT_EQ(written, 3);

    const std::string bytes = ReadBytes(path);
    const Names after = SplitLines(bytes);
    ASSERT_GE(after.size(), before.size() + 3);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    EXPECT_TRUE(std::all_of(after.begin() + before.size(), after.end(), IsMeasurementLine));
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

TEST_F(FailureTest, NamesThatDoNotParseAndFoldersNamedLikeReportsAreLeftAlone) {
    MakeYearFolder();
    for (const char* junk : {"12-26_copy.rep", "12-26.rep", "12-26_000000-000000.rep",
                             "11-26_x-y.rep", "11-26_000009-000003.rep"})
        WriteBytes(Year() + "/" + junk, "junk\r\n");
    ::mkdir((Year() + "/12-26_000001-000500.rep").c_str(), 0777);
    WriteBytes(Year() + "/10-26_000001-000010.rep", "");

    auto store = Open();
    EXPECT_EQ(store->FileName().name, "12-26_000011-000000.rep");
    store->AddRecord("");
    EXPECT_EQ(store->LastRecordNumber(), 11u);
    EXPECT_EQ(ReadBytes(Year() + "/12-26_copy.rep"), "junk\r\n");
    EXPECT_TRUE(IsDirectory(Year() + "/12-26_000001-000500.rep"));
}

// A writer killed between writing a month's new name and removing the old one: the next
// holder removes the old file when the new one holds all of it, and leaves two that differ.
TEST_F(FailureTest, AMonthsOldNameLeftByAKilledWriterGoesOnlyWhenTheNewOneHoldsIt) {
    MakeYearFolder();
    const std::string head = "Report file:\r\n<000001>  ;a\r\n";
    WriteBytes(Year() + "/12-26_000001-000001.rep", head);
    WriteBytes(Year() + "/12-26_000001-000002.rep", head + "<000002>  ;b\r\n");
    WriteBytes(Year() + "/11-26_000001-000001.rep", "one\r\n");
    WriteBytes(Year() + "/11-26_000001-000002.rep", "another\r\n");
    auto store = Open();
    EXPECT_EQ(Reports(), (Names{"11-26_000001-000001.rep", "11-26_000001-000002.rep",
                                "12-26_000001-000002.rep"}));
    EXPECT_EQ(store->LastRecordNumber(), 2u);
}

TEST_F(FailureTest, AReportPathThatBecameAFolderGivesAClearError) {
    auto store = Open();
    store->AddRecord("");
    ::unlink(store->ReportPath().c_str());
    ::mkdir(store->ReportPath().c_str(), 0777);
    try {
        store->AddMeasurement(0, 1, hundredSeconds);
        FAIL() << "a folder cannot be read as a report";
    } catch (const ReportError& error) {
        EXPECT_THAT(error.what(), HasSubstr("Cannot read file \"" + store->ReportPath() + "\""));
        EXPECT_THAT(error.what(), HasSubstr("Is a directory"));
    }
}

TEST_F(FailureTest, AReportThatIsNotTextIsKeptByteForByteExceptItsLineEnds) {
    MakeYearFolder();
    const std::string binary("\x00\xFF\x98\x01\rA\x00\n\x7F", 9);
    WriteBytes(Year() + "/12-26_000003-000004.rep", binary);
    auto store = Open();
    store->AddMeasurement(0, 1, hundredSeconds);
    EXPECT_EQ(ReadBytes(store->ReportPath()).substr(0, 12),
              std::string("\x00\xFF\x98\x01\r\nA\x00\r\n\x7F\r\n", 12));
    EXPECT_TRUE(IsMeasurementLine(SplitLines(ReadBytes(store->ReportPath())).back()));
}

TEST_F(FailureTest, FoldersThatCannotBeMadeGiveTheDirectoryError) {
    WriteBytes(temp.Path() + "/file", "");
    try {
        Open(temp.Path() + "/file/work");
        FAIL() << "a folder below a file cannot be made";
    } catch (const ReportError& error) {
        EXPECT_STREQ(error.what(), "Cannot create directory.");
    }

    auto store = Open();
    store->AddRecord("");
    ::rename(Backup().c_str(), (Year() + "/old-backup").c_str());
    WriteBytes(Backup(), "");
    EXPECT_THROW(store->AddMeasurement(0, 1, hundredSeconds), ReportError);
    EXPECT_TRUE(IsMeasurementLine(SplitLines(ReadBytes(store->ReportPath())).back()))
        << "the line written before the backup failed stays written";
}

TEST_F(FailureTest, ASpecialTextFileThatCannotBeWrittenNamesItsPath) {
    class Counts final : public SpecialTextOption {
        bool Enabled() const override { return true; }
        std::string FileName() const override { return "counts"; }
    };
    auto store = Open();
    ASSERT_TRUE(MakeFolder(Year() + "/counts.txt"));  // a folder where the file should be
    try {
        store->SaveSpecialText(1, Counts());
        FAIL() << "a folder cannot be written as a file";
    } catch (const ReportError& error) {
        EXPECT_THAT(error.what(), HasSubstr(Year() + "/counts.txt"));
    }
}

TEST_F(FailureTest, ASpecialTextFileThatIsAPipeGivesAnErrorInsteadOfWaitingForAWriter) {
    class Counts final : public SpecialTextOption {
        bool Enabled() const override { return true; }
        std::string FileName() const override { return "counts"; }
    };
    auto store = Open();
    const std::string pipe = Year() + "/counts.txt";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);

    auto saving = std::async(std::launch::async, [&store] {
        try {
            store->SaveSpecialText(1, Counts());
            return std::string("no error");
        } catch (const ReportError& error) {
            return std::string(error.what());
        }
    });
    if (saving.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ::close(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK));  // free the blocked reader
        ADD_FAILURE() << "saving waited for a writer on the pipe";
    }
    EXPECT_THAT(saving.get(), HasSubstr("Cannot read file \"" + pipe + "\""));
    struct stat info {};
    ASSERT_EQ(::lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the pipe is left as it was";
}

}  // namespace
}  // namespace pulsedesk::reports::testing
