// What reaches the report is the device's final count and nothing else, and what cannot reach
// it is said: stale replies, a link lost during a count, a work folder held by another
// program, a refused record, input during the close.
#include <QCheckBox>
#include <QHideEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

#include "PanelFixture.h"
#include "dialogs/Fsettings.h"
#include "reports/WorkFolderLock.h"

namespace pulsedesk::app::testing {
namespace {

const std::string kNotRecorded = "ИЗМЕРЕНИЕ НЕ ЗАПИСАНО";

class PanelTrustTest : public PanelFixture {
  protected:
    // A study in mode 1 with a series of two, counting; the count time is 100 s.
    void CountInSeriesOfTwo() {
        OpenStudyInMode(1);
        TypeRepeat(2);
        Click("SpeedButton16");
        ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Counting; }));
    }
    std::string LineCount(std::size_t i) {
        const std::string line = MeasurementLines().at(i);
        return line.substr(line.find("N=") + 2, 8);
    }
    std::uint32_t DeviceCount() {
        std::uint32_t n = 0;
        Device([&](sim::DeviceModel& d) { n = d.Count(); });
        return n;
    }
    void StartsNextAfterThePause(int startsBefore) {
        clock.Advance(1000);
        ASSERT_TRUE(Settle([&] { return SentStarts() == startsBefore + 1; }));
    }
};

TEST_F(PanelTrustTest, AnEndSeenWithAStaleCountWaitsForTheFinalCount) {
    CountInSeriesOfTwo();
    clock.Advance(90'000);
    LetPollsRun();
    Device([](sim::DeviceModel& d) { d.faults().noReplyB = true; });
    LetPollsRun();
    clock.Advance(10'500);  // the device finishes while only reply A arrives
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Done; }));
    const int starts = SentStarts();
    clock.Advance(2000);
    LetPollsRun();
    EXPECT_TRUE(MeasurementLines().empty()) << "written from an earlier poll's count";
    EXPECT_EQ(SentStarts(), starts) << "the series went on before the result was had";

    Device([](sim::DeviceModel& d) { d.faults().noReplyB = false; });
    ASSERT_TRUE(Settle([&] { return MeasurementLines().size() == 1; }));
    char expected[16];
    std::snprintf(expected, sizeof expected, "%08u", DeviceCount());
    EXPECT_EQ(LineCount(0), expected);
    StartsNextAfterThePause(starts);
}

TEST_F(PanelTrustTest, AnAutomaticStartThatGoesUnansweredIsSentAgain) {
    CountInSeriesOfTwo();
    clock.Advance(100'500);
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::RepeatWait; }));
    Device([](sim::DeviceModel& d) { d.faults().noReply = true; });
    clock.Advance(1000);
    LetPollsRun();
    EXPECT_EQ(panel->State(), RunState::RepeatWait);
    Device([](sim::DeviceModel& d) { d.faults().noReply = false; });
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Counting; }));
    clock.Advance(100'500);
    ASSERT_TRUE(Settle([&] { return MeasurementLines().size() == 2; }));
    EXPECT_NE(LineCount(0), LineCount(1));
}

TEST_F(PanelTrustTest, AnOutageRightAfterAnAutomaticStartLosesNothing) {
    CountInSeriesOfTwo();
    clock.Advance(100'500);
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::RepeatWait; }));
    const int starts = SentStarts();
    clock.Advance(1000);
    ASSERT_TRUE(Settle([&] { return SentStarts() == starts + 1; }));
    Device([](sim::DeviceModel& d) { d.faults().noReply = true; });
    LetPollsRun();
    clock.Advance(101'000);
    LetPollsRun();
    Device([](sim::DeviceModel& d) { d.faults().noReply = false; });
    ASSERT_TRUE(Settle([&] { return MeasurementLines().size() == 2; }));
    EXPECT_TRUE(errors.empty());
}

// Hidden (minimised) all along: the panel exists, so it goes on following the device.
TEST_F(PanelTrustTest, ACountEndingWhileTheLinkIsDownIsRecordedWhenTheDeviceStillShowsIt) {
    QHideEvent hide;
    QApplication::sendEvent(panel.get(), &hide);
    CountInSeriesOfTwo();
    clock.Advance(30'000);
    LetPollsRun();
    Device([](sim::DeviceModel& d) { d.faults().noReply = true; });
    ASSERT_TRUE(Settle([&] { return LabelText() == Message(config::MessageKind::Error, 1006); }));
    clock.Advance(75'000);  // the count ends during the outage
    LetPollsRun();
    const int starts = SentStarts();
    Device([](sim::DeviceModel& d) { d.faults().noReply = false; });
    ASSERT_TRUE(Settle([&] { return MeasurementLines().size() == 1; }));
    // The device's threshold, not the track bar's 0 of the outage.
    EXPECT_NE(MeasurementLines()[0].find("Ut= 0120mV  Tm=00-01-40.00"), std::string::npos)
        << MeasurementLines()[0];
    EXPECT_TRUE(errors.empty());
    StartsNextAfterThePause(starts);
}

TEST_F(PanelTrustTest, ACountTheDeviceNoLongerShowsAfterAnOutageIsReportedLostOnce) {
    CountInSeriesOfTwo();
    Device([](sim::DeviceModel& d) { d.faults().noReply = true; });
    LetPollsRun();
    clock.Advance(101'000);
    Device([](sim::DeviceModel& d) {
        d.faults().noReply = false;
        const std::uint8_t defaults[] = {0x01, link::RestoreDefaults};  // a reset meanwhile
        d.Handle(defaults, 2);
    });
    ASSERT_TRUE(Settle([&] { return errors.size() == 1; }));
    EXPECT_NE(errors[0].find("не записано"), std::string::npos) << errors[0];
    ASSERT_TRUE(Settle([&] { return LabelText() == kNotRecorded; }));
    LetPollsRun();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(MeasurementLines().empty());
    EXPECT_EQ(Control<display::UpDown>("UpDown1")->Position(), 2);  // the series has ended
    errors.clear();
}

TEST_F(PanelTrustTest, StopDuringACountEndsTheSeries) {
    CountInSeriesOfTwo();
    clock.Advance(30'000);
    LetPollsRun();
    Click("SpeedButton17");
    ASSERT_TRUE(Settle([&] { return MeasurementLines().size() == 1; }));  // counted so far
    const int starts = SentStarts();
    clock.Advance(2000);
    LetPollsRun();
    EXPECT_EQ(SentStarts(), starts) << "a new series started after the stop";
    EXPECT_EQ(panel->State(), RunState::Done);
}

TEST_F(PanelTrustTest, ABlockAfterAFinishedCountShowsInTheLabel) {
    OpenStudyInMode(3);
    TypeRepeat(1);
    Click("SpeedButton16");
    ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Counting; }));
    clock.Advance(10'000);
    ASSERT_TRUE(Settle([&] { return MeasurementLines().size() == 1; }));
    Device([](sim::DeviceModel& d) { d.faults().blocked = true; });
    ASSERT_TRUE(Settle([&] { return LabelText() == Message(config::MessageKind::Status, 4); }));
    EXPECT_EQ(panel->State(), RunState::Done);
}

TEST_F(PanelTrustTest, SettingsOkSendsTheModeTheDeviceHasWhenOkIsPressed) {
    OpenStudyInMode(3);
    QTimer::singleShot(0, [this] {
        auto* form = qobject_cast<dialogs::TForm3*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        Device([](sim::DeviceModel& d) {  // the device's own keys choose mode 1 meanwhile
            const std::uint8_t mode[] = {0x02, link::SetMode, 1};
            d.Handle(mode, 3);
        });
        Settle([&] { return sim->TryCopyStatus() && sim->TryCopyStatus()->Mode() == 1; });
        form->accept();
    });
    Click("SpeedButton15");
    std::vector<std::uint8_t> options;
    for (const auto& r : sim->Requests())
        if (r.size() == 3 && r[1] == link::SetOptions) options = r;
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[2] & link::kModeMask, 1);
}

TEST_F(PanelTrustTest, AClickOnItsWayWhenThePanelClosesIsNotActedOn) {
    OpenStudyInMode(1);
    QMetaObject::invokeMethod(Control<QAbstractButton>("SpeedButton16"), "click",
                              Qt::QueuedConnection);
    // Meanwhile the link thread polls and waits in its notification, so the close has to serve
    // events until the thread ends: the click is among them.
    std::this_thread::sleep_for(150ms);
    panel->close();
    EXPECT_FALSE(device.Counting());
}

TEST_F(PanelTrustTest, ARefusedRecordKeepsTheTypedDescriptionForTheRetry) {
    const auto memo = Control<QPlainTextEdit>("Memo1");
    Click("SpeedButton5");
    memo->setPlainText("sample 4, dried");
    reports::ReportFileName next = panel->Store()->FileName();
    next.last = next.last == 0 ? static_cast<std::uint32_t>(next.first) : next.last + 1;
    const std::string blocker = panel->Store()->YearFolder() + "/" + next.Build();
    fs::create_directory(blocker);  // the renamed report cannot be written
    Click("SpeedButton6");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_FALSE(panel->IsStudyOpen());
    EXPECT_FALSE(memo->isReadOnly());
    EXPECT_EQ(memo->toPlainText(), "sample 4, dried");
    fs::remove(blocker);
    Click("SpeedButton6");
    ASSERT_TRUE(Settle([&] { return panel->IsStudyOpen(); }));
    EXPECT_NE(ReadBytes(panel->Store()->ReportPath()).find("sample 4, dried"), std::string::npos);
    errors.clear();
}

// Switched on in the settings dialog, each finished count of a series adds its line; off, none.
TEST_F(PanelTrustTest, EachFinishedCountReachesTheSpecialFormatFileWhileItIsOn) {
    OpenStudyInMode(3);  // a limit of 1000 at 500 per second: 2 s
    const auto settings = [this](bool on) {
        QTimer::singleShot(0, [on] {
            auto* form = qobject_cast<dialogs::TForm3*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            form->findChild<QCheckBox*>("CheckBox8")->setChecked(on);
            if (on) form->findChild<QLineEdit*>("specFileName")->setText(QStringLiteral("Счёт"));
            form->accept();
        });
        Click("SpeedButton15");
    };
    const auto count = [this](std::size_t lines) {
        Click("SpeedButton16");
        ASSERT_TRUE(Settle([&] { return panel->State() == RunState::Counting; }));
        clock.Advance(2500);
        ASSERT_TRUE(Settle([&] { return MeasurementLines().size() == lines; }));
    };
    TypeRepeat(1);
    settings(true);
    count(1);
    count(2);
    const std::string file = panel->Store()->YearFolder() + "/Счёт.txt";
    EXPECT_EQ(ReadBytes(file), LineCount(0).substr(4) + "\r\n" + LineCount(1).substr(4) + "\r\n");
    settings(false);
    count(3);
    EXPECT_EQ(ReadBytes(file).size(), 12u);
}

class HeldWorkFolderTest : public PanelTrustTest {
  protected:
    void BeforePanel() override {
        storeExpected = false;
        holder = std::make_unique<reports::WorkFolderLock>(dir.Path());
    }
    std::unique_ptr<reports::WorkFolderLock> holder;
};

TEST_F(HeldWorkFolderTest, IsTriedAgainAndTheLabelSaysWhyMeanwhile) {
    ASSERT_TRUE(Settle([&] { return errors.size() == 1; }));
    EXPECT_NE(errors[0].find("» занята программой "), std::string::npos) << errors[0];
    EXPECT_EQ(LabelText(), "ПАПКА ОТЧЁТОВ ЗАНЯТА ДРУГОЙ ПРОГРАММОЙ");
    clock.Advance(5000);
    LetPollsRun();
    Click("SpeedButton6");
    EXPECT_EQ(panel->Store(), nullptr);
    EXPECT_EQ(errors.size(), 1u) << "one box per reason, not one per retry";
    EXPECT_FALSE(Control("SpeedButton5")->isEnabled());

    holder.reset();  // the other program ends
    clock.Advance(5000);
    ASSERT_TRUE(Settle([&] { return panel->Store() != nullptr; }));
    EXPECT_EQ(LabelText(), Message(config::MessageKind::Status, 5));
    Click("SpeedButton6");
    EXPECT_TRUE(panel->IsStudyOpen());
    errors.clear();
}

// Boxes raised from the status handling queue up: one open at a time, none of them modal.
TEST(ErrorBoxes, OneIsOpenAtATimeAndTheNextFollowsWhenItCloses) {
    EnsureQtApp();
    const auto open = [] {
        std::vector<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                boxes.push_back(box);
        return boxes;
    };
    const ErrorSink show = ErrorBox();
    show("first lost count");
    show("second lost count");
    ASSERT_EQ(open().size(), 1u);
    EXPECT_EQ(open()[0]->text(), "first lost count");
    EXPECT_FALSE(open()[0]->isModal());
    open()[0]->accept();
    QApplication::processEvents();
    ASSERT_EQ(open().size(), 1u);
    EXPECT_EQ(open()[0]->text(), "second lost count");
    open()[0]->accept();
    QApplication::processEvents();
    EXPECT_TRUE(open().empty());
}

}  // namespace
}  // namespace pulsedesk::app::testing
