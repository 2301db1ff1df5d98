// The panel following the simulated counter: identification, series, studies, link loss and
// the close.
#include <QPlainTextEdit>

#include "PanelFixture.h"
#include "display/PanelLayout.h"

namespace pulsedesk::app::testing {
namespace {

using PanelTest = PanelFixture;

TEST_F(PanelTest, EveryControlOfTheLayoutTableSitsAtItsPlace) {
    for (const display::layout::PanelControl& c : display::layout::kControls) {
        const QWidget* control = Control(std::string(c.name).c_str());
        ASSERT_NE(control, nullptr) << c.name;
        EXPECT_EQ(control->geometry(), c.place) << c.name;
    }
    EXPECT_EQ(panel->size(), display::layout::kClientSize);
}

TEST_F(PanelTest, FirstStatusTakesTheLinkChangePathSoIdentificationRunsTwice) {
    EXPECT_EQ(Sent(link::ReadModel), 2);
    EXPECT_EQ(panel->windowTitle(), "QEV-C2");
    EXPECT_EQ(panel->SystemType(), 1);
    EXPECT_EQ(panel->Info().modelName, "QEV-C2");
    EXPECT_EQ(panel->Info().serialNumber, 123u);
    EXPECT_EQ(panel->Info().firmwareVersion, 15);
    EXPECT_EQ(panel->Info().programVersion, 268);
    EXPECT_TRUE(fs::is_directory(dir.File("2026")));  // "Work_Folder" empty: the program's folder
    EXPECT_EQ(LabelText(), Message(config::MessageKind::Status, 5));  // no study yet
}

TEST_F(PanelTest, SeriesOfThreeWritesThreeLinesWithAPauseBeforeEachRestart) {
    OpenStudyInMode(1);
    ASSERT_EQ(Control<display::UpDown>("UpDown1")->Position(), 3);
    Click("SpeedButton16");
    for (int measurement = 1; measurement <= 3; ++measurement) {
        ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Counting; }));
        clock.Advance(100'500);  // the default count time is 100 s
        ASSERT_TRUE(Settle([&] { return MeasurementLines().size() == std::size_t(measurement); }));
        if (measurement == 3) break;
        ASSERT_TRUE(Settle([&] { return panel->State() == RunState::RepeatWait; }));
        const int starts = SentStarts();
        LetPollsRun();
        EXPECT_EQ(SentStarts(), starts) << "restarted before a second had passed";
        clock.Advance(1000);
        ASSERT_TRUE(Settle([&] { return SentStarts() == starts + 1; }));
    }
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Done; }));
    EXPECT_EQ(Control<display::UpDown>("UpDown1")->Position(), 3);
    const auto lines = MeasurementLines();
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_NE(lines[i].find(std::string("/") + char('A' + i) + ":"), std::string::npos)
            << lines[i];
    EXPECT_NE(lines[0].find("Tm=00-01-40.00"), std::string::npos) << lines[0];
    EXPECT_EQ(panel->Progress(), 100);
}

TEST_F(PanelTest, AMeasurementEndingWithoutAStudyWritesNothingAndNeverRepeats) {
    OpenStudyInMode(3);
    Click("SpeedButton5");  // create new record closes the study; the count goes on
    sim->SendCommand(0x02, {link::StartStop, 1});
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Counting; }));
    clock.Advance(10'000);  // 500 per second reach the limit of 1000
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Done; }));
    LetPollsRun();
    EXPECT_EQ(panel->State(), RunState::Done);
    EXPECT_TRUE(MeasurementLines().empty());
    EXPECT_EQ(Control<display::UpDown>("UpDown1")->Position(), 3);
}

TEST_F(PanelTest, LosingTheLinkGreysThePanelAndItsReturnIdentifiesAgain) {
    const reports::ReportStore* store = panel->Store();
    const QImage recordsBefore = Control<display::IndicatorImage>("ImageRecords")->Bitmap();
    const int identified = Sent(link::ReadModel);
    Device([](sim::DeviceModel& d) { d.faults().noReply = true; });
    ASSERT_TRUE(Settle([&] { return panel->windowTitle() == "System is undefined"; }));
    ASSERT_TRUE(Settle([&] { return PixelOf("ImageCounter") == 0x505050; }));
    EXPECT_EQ(LabelText(), Message(config::MessageKind::Error, 1006));
    EXPECT_NE(Control<QLabel>("Label1")->styleSheet().indexOf("#ff0000"), -1);
    EXPECT_EQ(PixelOf("ImageTimer"), 0x505050u);
    EXPECT_EQ(PixelOf("ImageThreshold"), 0x505050u);
    EXPECT_EQ(Control<display::IndicatorImage>("ImageRecords")->Bitmap(), recordsBefore);
    EXPECT_FALSE(Control("SpeedButton6")->isEnabled());
    EXPECT_TRUE(Control("SpeedButton5")->isEnabled());
    EXPECT_EQ(Sent(link::ReadModel), identified);  // the link is down: the title only

    Device([](sim::DeviceModel& d) { d.faults().noReply = false; });
    ASSERT_TRUE(Settle([&] { return panel->windowTitle() == "QEV-C2"; }));
    EXPECT_EQ(Sent(link::ReadModel), identified + 1);
    EXPECT_EQ(panel->Store(), store);
    ASSERT_TRUE(Settle([&] { return PixelOf("ImageCounter") == 0; }));
}

TEST_F(PanelTest, StudiesWriteRecordsWithTheMemoAsTheirDescription) {
    const auto memo = Control<QPlainTextEdit>("Memo1");
    const auto reportText = [&] { return ReadBytes(panel->Store()->ReportPath()); };
    Click("SpeedButton6");  // straight after start-up: an empty description
    ASSERT_TRUE(Settle([&] { return panel->IsStudyOpen(); }));
    EXPECT_NE(reportText().find("<000001>  ;" + std::string(69, '-')), std::string::npos);
    ASSERT_TRUE(Settle([&] { return PixelOf("ImageRecords") == 0; }));

    Click("SpeedButton5");
    EXPECT_FALSE(panel->IsStudyOpen());
    EXPECT_FALSE(memo->isReadOnly());
    QTest::keyClicks(memo, "first line");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "second line");
    Click("SpeedButton6");
    ASSERT_TRUE(Settle([&] { return panel->IsStudyOpen(); }));
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->toPlainText(), "first line\nsecond line");
    const std::string report = reportText();
    EXPECT_LT(report.find("first line"), report.find("second line"));
    EXPECT_NE(report.find("<000002>"), std::string::npos);

    Click("SpeedButton6");  // again without a new record: an empty one, and the memo emptied
    ASSERT_TRUE(Settle([&] { return reportText().find("<000003>") != std::string::npos; }));
    EXPECT_EQ(memo->toPlainText(), "");
    EXPECT_EQ(panel->Store()->LastRecordNumber(), 3u);
}

TEST_F(PanelTest, DeviceErrorShowsItsTextAndBlockedDisablesTheControls) {
    OpenStudyInMode(1);
    Device([](sim::DeviceModel& d) { d.faults().errorCode = 7; });
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::DeviceError; }));
    EXPECT_EQ(LabelText(), Message(config::MessageKind::Error, 7));
    EXPECT_FALSE(Control("SpeedButton16")->isEnabled());
    Device([](sim::DeviceModel& d) {
        d.faults().errorCode = 0;
        d.faults().blocked = true;
    });
    ASSERT_TRUE(Settle([&] { return panel->State() != RunState::DeviceError; }));
    LetPollsRun();
    EXPECT_FALSE(Control("SpeedButton16")->isEnabled());
    EXPECT_FALSE(Control("TrackBar1")->isEnabled());
    EXPECT_FALSE(Control("sbMode1")->isEnabled());
}

TEST_F(PanelTest, ClosingWhileCountingStopsPollingAndSendsNothing) {
    OpenStudyInMode(1);
    Click("SpeedButton16");
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Counting; }));
    const std::string report = panel->Store()->ReportPath();
    panel->close();
    EXPECT_EQ(linkHolder, nullptr);  // the link thread has ended and the link is gone
    EXPECT_EQ(panel->Store(), nullptr);
    EXPECT_TRUE(device.Counting()) << "the close must not stop the device";
    std::ifstream in(report, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("N="), std::string::npos);
}

}  // namespace
}  // namespace pulsedesk::app::testing
