// The panel in process, offscreen, against the simulated counter: the link polls on its own
// thread and the panel handles its notifications; the counter and the panel's timing share a
// clock that the test moves by hand.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/QtTestApp.h"
#include "app/Fmmain.h"
#include "config/Cp1251.h"
#include "display/IndicatorImage.h"
#include "display/UpDown.h"
#include "support/SimLink.h"
#include "support/SimProcess.h"

namespace pulsedesk::app {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

reports::LocalTime FixedDay() { return {2026, 12, 7, 10, 30, 0}; }

class PanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::EnsureQtApp();
        for (const char* name : {"pulsedesk.cfg", "pulsedesk.msg"})
            fs::copy_file(fs::path(PULSEDESK_SOURCE_DIR) / "config/defaults" / name,
                          dir.File(name));
        messages = std::make_unique<config::MessageFile>(dir.File("pulsedesk"));
        settings = std::make_unique<config::ConfigFile>(dir.File("pulsedesk"));
        auto simLink = std::make_unique<testing::TSerialSim>(device);
        sim = simLink.get();
        linkHolder = std::move(simLink);
        context = std::make_unique<PanelContext>(
            PanelContext{*messages, *settings, linkHolder, dir.Path() + "/",
                         TickClock{[this] { return clock.Now(); }, 1000}, FixedDay,
                         [this](const std::string& text) { errors.push_back(text); }});
        panel = std::make_unique<TmainForm>(*context);
        ASSERT_TRUE(Settle([&] { return panel->Store() != nullptr; }));
    }
    void TearDown() override {
        panel.reset();
        EXPECT_TRUE(errors.empty()) << errors.front();
    }

    // Serves the panel's events until pred holds.
    template <class Pred>
    bool Settle(Pred pred, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    // A few polls go by.
    void LetPollsRun() {
        const int seen = sim->ExchangeCount();
        ASSERT_TRUE(Settle([&] { return sim->ExchangeCount() >= seen + 6; }));
    }
    template <class W = QWidget>
    W* Control(const char* name) {
        return panel->findChild<W*>(name);
    }
    void Click(const char* button) {
        ASSERT_TRUE(Settle([&] { return Control(button)->isEnabled(); })) << button;
        QTest::mouseClick(Control(button), Qt::LeftButton);
    }
    int Sent(std::uint8_t code) {
        int n = 0;
        for (const auto& r : sim->Requests()) n += r.size() > 1 && r[1] == code;
        return n;
    }
    int SentStarts() {
        int n = 0;
        for (const auto& r : sim->Requests()) n += r == std::vector<std::uint8_t>{0x02, 0x41, 1};
        return n;
    }
    void Device(const std::function<void(sim::DeviceModel&)>& change) { sim->WithDevice(change); }
    std::vector<std::string> MeasurementLines() {
        std::ifstream in(panel->Store()->ReportPath(), std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            if (line.find("N=") != std::string::npos) lines.push_back(line);
        return lines;
    }
    std::string LabelText() { return Control<QLabel>("Label1")->text().toStdString(); }
    std::string Message(config::MessageKind kind, int n) {
        return config::Cp1251ToUtf8(messages->GetMessage(kind, n));
    }
    QRgb PixelOf(const char* image) {
        return Control<display::IndicatorImage>(image)->Bitmap().pixel(1, 1) & 0xFFFFFF;
    }
    void OpenStudyInMode(int mode) {
        Click("SpeedButton6");
        ASSERT_TRUE(Settle([&] { return panel->IsStudyOpen(); }));
        const std::string button = "sbMode" + std::to_string(mode);
        Click(button.c_str());
        ASSERT_TRUE(Settle([&] { return Control<QAbstractButton>(button.c_str())->isChecked(); }));
    }

    testing::TempDir dir;
    testing::ManualClock clock;
    sim::DeviceModel device{sim::Identity{}, 500.0, 3, [this] { return clock.Now(); }};
    std::unique_ptr<config::MessageFile> messages;
    std::unique_ptr<config::ConfigFile> settings;
    std::unique_ptr<link::TSerial> linkHolder;
    testing::TSerialSim* sim = nullptr;
    std::vector<std::string> errors;
    std::unique_ptr<PanelContext> context;
    std::unique_ptr<TmainForm> panel;
};

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
}  // namespace pulsedesk::app
