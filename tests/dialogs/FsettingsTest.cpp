#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include "DialogDriver.h"
#include "dialogs/Fsettings.h"
#include "display/Digits.h"
#include "support/QtTestApp.h"

namespace pulsedesk::dialogs {
namespace {

using namespace testing;

class SettingsDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { pulsedesk::testing::EnsureQtApp(); }

    void Click(QAbstractButton* box) { QTest::mouseClick(box, Qt::LeftButton); }
    QCheckBox* Box(const char* name) { return &Named<QCheckBox>(*form_, name); }
    QLineEdit* Edit(const char* name) { return &Named<QLineEdit>(*form_, name); }
    QPushButton* Button(const char* name) { return &Named<QPushButton>(*form_, name); }

    QWidget panel_;
    TForm3* form_ = new TForm3(&panel_);
};

TEST_F(SettingsDialogTest, RestoreDefaultsIsUntickedAtEveryShowingButReadableAfterClosing) {
    Box("CheckBox2")->setChecked(true);
    Box("CheckBox6")->setChecked(true);
    for (int showing = 0; showing < 2; ++showing) {
        bool tickedWhenShown = true;
        EXPECT_EQ(ExecWhile(*form_,
                            [&] {
                                tickedWhenShown = Box("CheckBox1")->isChecked();
                                Click(Box("CheckBox1"));
                                Click(Button("BitBtn2"));
                            }),
                  QDialog::Rejected);
        EXPECT_FALSE(tickedWhenShown) << "showing " << showing;
        EXPECT_TRUE(Box("CheckBox1")->isChecked()) << "the panel reads it after a cancel";
    }
    EXPECT_TRUE(Box("CheckBox2")->isChecked() && Box("CheckBox6")->isChecked())
        << "the option boxes keep what the panel set";
    EXPECT_EQ(ExecWhile(*form_, [&] { Click(Button("BitBtn1")); }), QDialog::Accepted);
}

TEST_F(SettingsDialogTest, SwitchesGoInAndComeBackAsTheOperatorLeftThem) {
    const DeviceSwitches given{true, false, true, false, true, false};
    form_->SetSwitches(given, false);
    EXPECT_FALSE(Box("CheckBox7")->isEnabled()) << "no key sound on this model";
    EXPECT_EQ(form_->Switches(), given);
    Box("CheckBox4")->setChecked(true);
    DeviceSwitches changed = given;
    changed.invertPulses = true;
    EXPECT_EQ(form_->Switches(), changed);
}

TEST_F(SettingsDialogTest, SpecialTextSwitchActsAtTheClickWhateverClosesTheDialog) {
    EXPECT_FALSE(form_->SpecialTextEnabled());
    EXPECT_EQ(Edit("specFileName")->text(), "Имя файла");
    ExecWhile(*form_, [&] {
        Click(Box("CheckBox8"));
        QTest::keyClicks(Edit("specFileName"), "counts");
        Click(Button("BitBtn2"));
    });
    EXPECT_TRUE(form_->SpecialTextEnabled());
    EXPECT_EQ(form_->SpecialTextName(), "counts");

    Edit("specFileName")->setText("Счёт");
    EXPECT_EQ(form_->SpecialTextName(), "\xD1\xF7\xB8\xF2");

    form_->show();
    Click(Box("CheckBox8"));
    EXPECT_FALSE(form_->SpecialTextEnabled());
    EXPECT_EQ(Edit("specFileName")->text(), "Имя файла");
    Click(Box("CheckBox8"));
    EXPECT_TRUE(form_->SpecialTextEnabled());
    EXPECT_EQ(form_->SpecialTextName(), "") << "switching on again clears the name";
}

TEST_F(SettingsDialogTest, FormTakesTheGivenColour) {
    form_->SetDialogColour(0x00336699);
    EXPECT_EQ(form_->grab().toImage().pixel(20, 301), display::ToQRgb(0x00336699));
}

}  // namespace
}  // namespace pulsedesk::dialogs
