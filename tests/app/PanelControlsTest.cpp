// Every control reaches the device exactly as meant: the frames each one sends, in order.
#include <QCheckBox>
#include <QSlider>
#include <QTimer>

#include "PanelFixture.h"
#include "support/WireFrames.h"
#include "dialogs/Fcountthreshold.h"
#include "dialogs/Fcounttimer.h"
#include "dialogs/Fsettings.h"

namespace pulsedesk::app::testing {
namespace {

using Frames = std::vector<std::vector<std::uint8_t>>;

class PanelControlsTest : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        OpenStudyInMode(3);
        LetPollsRun();
    }
    // Commands sent since the last call; polls and identification left out.
    Frames Commands() {
        const auto all = sim->Requests();
        Frames commands;
        for (std::size_t i = seen; i < all.size(); ++i) {
            const std::uint8_t code = all[i].size() > 1 ? all[i][1] : 0;
            if (code != link::ReadStatusA && code != link::ReadStatusB && code != link::ReadModel &&
                code != link::ReadFirmwareVersion && code != link::ReadSerialNumber)
                commands.push_back(all[i]);
        }
        seen = all.size();
        return commands;
    }
    // Runs the button's handler while `answer` closes the modal dialog it opens.
    template <class Dialog>
    void WithDialog(const char* button, std::function<void(Dialog&)> answer) {
        QTimer::singleShot(0, [answer] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            answer(*dialog);
        });
        Click(button);
    }
    QSlider* TrackBar() { return Control<QSlider>("TrackBar1"); }

    std::size_t seen = 0;
};

TEST_F(PanelControlsTest, ButtonsSendTheirFramesInOrder) {
    Commands();
    const struct {
        const char* button;
        Frames frames;
    } rows[] = {
        {"SpeedButton7", {wire::kStepCountLimitDown}},
        {"SpeedButton8", {wire::kStepCountLimitUp}},
        {"SpeedButton13", {wire::kStepThresholdDown}},
        {"SpeedButton14", {wire::kStepThresholdUp}},
        {"sbMode3", {}},  // the device's own mode: nothing
        {"sbMode1", {wire::Mode(1)}},
        {"SpeedButton10", {wire::kStepCountTimeDown}},
        {"SpeedButton12", {wire::kStepCountTimeUp}},
        {"SpeedButton16", {wire::kStart}},
        {"SpeedButton17", {wire::kStop}},
    };
    for (const auto& r : rows) {
        Click(r.button);
        EXPECT_EQ(Commands(), r.frames) << r.button;
        LetPollsRun();
        Commands();
    }
}

TEST_F(PanelControlsTest, AFinishedCountIsClearedBeforeTheModeButtonActs) {
    Click("SpeedButton16");
    clock.Advance(10'000);  // the limit of 1000 at 500 per second
    ASSERT_TRUE(Settle([&] {
        bool finished = false;
        sim->WithDevice([&](sim::DeviceModel& d) { finished = d.FinishedFlag(); });
        return finished;
    }));
    LetPollsRun();
    Commands();
    Click("sbMode3");
    EXPECT_EQ(Commands(), (Frames{{0x01, 0x46}}));
}

TEST_F(PanelControlsTest, AModeChangeWithoutAcknowledgeRestoresTheOldButton) {
    sim->WithDevice([](sim::DeviceModel& d) { d.faults().noReply = true; });
    panel->sbMode0Click(1);
    EXPECT_TRUE(Control<QAbstractButton>("sbMode3")->isChecked());
    EXPECT_FALSE(Control<QAbstractButton>("sbMode1")->isChecked());
    sim->WithDevice([](sim::DeviceModel& d) { d.faults().noReply = false; });
}

TEST_F(PanelControlsTest, StopResetsTheRepeatCounterEvenWithoutASeries) {
    Control<display::UpDown>("UpDown1")->SetPosition(7);
    panel->SpeedButton17Click();  // disabled while the device reports reset, so called directly
    EXPECT_EQ(Control<display::UpDown>("UpDown1")->Position(), panel->RepeatCount());
}

TEST_F(PanelControlsTest, TrackBarSendsItsCodeOnReleaseOnlyAndKeysSendNothing) {
    Commands();
    const struct {
        int millivolts;
        std::uint8_t high, low;
    } rows[] = {{-4600, 0x00, 208}, {4600, 0x0F, 0x30}, {-3, 0x07, 0xFF}, {3, 0x08, 0x01}};
    for (const auto& r : rows) {
        TrackBar()->blockSignals(true);
        TrackBar()->setValue(r.millivolts);
        TrackBar()->blockSignals(false);
        QTest::mouseRelease(TrackBar(), Qt::LeftButton);
        EXPECT_EQ(Commands(), (Frames{{0x03, 0x42, r.high, r.low}})) << r.millivolts;
    }
    TrackBar()->setFocus();
    QTest::keyClick(TrackBar(), Qt::Key_PageUp);
    QTest::keyClick(TrackBar(), Qt::Key_PageDown);
    LetPollsRun();
    EXPECT_EQ(Commands(), Frames{});
}

TEST_F(PanelControlsTest, CountLimitDialogSendsOnlyAChangedValue) {
    Commands();
    WithDialog<dialogs::TForm2>("SpeedButton9", [](dialogs::TForm2& d) { d.done(1); });
    EXPECT_EQ(Commands(), Frames{});
    WithDialog<dialogs::TForm2>("SpeedButton9", [](dialogs::TForm2& d) {
        d.SetCountLimit(0x123456);
        d.done(1);
    });
    EXPECT_EQ(Commands(), (Frames{{0x04, 0x04, 0x12, 0x34, 0x56}}));
}

TEST_F(PanelControlsTest, CountTimeDialogAlwaysSendsOnOk) {
    Click("sbMode1");
    LetPollsRun();
    Commands();
    WithDialog<dialogs::TForm1>("SpeedButton11", [](dialogs::TForm1& d) { d.done(1); });
    EXPECT_EQ(Commands(), (Frames{{0x04, 0x02, 0, 1, 40}}));  // the device's 100 s, unchanged
    WithDialog<dialogs::TForm1>("SpeedButton11", [](dialogs::TForm1& d) { d.done(0); });
    EXPECT_EQ(Commands(), Frames{});
}

TEST_F(PanelControlsTest, SettingsSendOptionsAndSoundsAndDefaultsEvenOnCancel) {
    Commands();
    // The simulated device reports every sound on (bits 5, 6, 7 clear): left ticked, they go
    // back as set bits.
    WithDialog<dialogs::TForm3>("SpeedButton15", [](dialogs::TForm3& d) {
        EXPECT_TRUE(d.findChild<QCheckBox*>("CheckBox2")->isChecked());
        d.findChild<QCheckBox*>("CheckBox4")->setChecked(true);
        d.done(1);
    });
    EXPECT_EQ(Commands(), (Frames{{0x02, 0x06, 0xF3}, {0x02, 0x4A, 1}, {0x02, 0x4B, 1}}));
    WithDialog<dialogs::TForm3>("SpeedButton15", [](dialogs::TForm3& d) {
        EXPECT_FALSE(d.findChild<QCheckBox*>("CheckBox1")->isChecked());
        d.findChild<QCheckBox*>("CheckBox1")->setChecked(true);
        d.done(0);
    });
    EXPECT_EQ(Commands(), (Frames{{0x01, 0x5F}}));
    WithDialog<dialogs::TForm3>("SpeedButton15", [](dialogs::TForm3& d) { d.done(0); });
    EXPECT_EQ(Commands(), Frames{});
}

}  // namespace
}  // namespace pulsedesk::app::testing
