#include <gtest/gtest.h>

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

    QWidget panel_;
    TForm3* form_ = new TForm3(&panel_);
};

TEST_F(SettingsDialogTest, RestoreDefaultsIsUntickedAtEveryShowingButReadableAfterClosing) {
    form_->CheckBox2->setChecked(true);
    form_->CheckBox6->setChecked(true);
    for (int showing = 0; showing < 2; ++showing) {
        bool tickedWhenShown = true;
        EXPECT_EQ(ExecWhile(*form_,
                            [&] {
                                tickedWhenShown = form_->CheckBox1->isChecked();
                                Click(form_->CheckBox1);
                                Click(form_->BitBtn2);
                            }),
                  QDialog::Rejected);
        EXPECT_FALSE(tickedWhenShown) << "showing " << showing;
        EXPECT_TRUE(form_->CheckBox1->isChecked()) << "the panel reads it after a cancel";
    }
    EXPECT_TRUE(form_->CheckBox2->isChecked() && form_->CheckBox6->isChecked())
        << "the option boxes keep what the panel set";
    EXPECT_EQ(ExecWhile(*form_, [&] { Click(form_->BitBtn1); }), QDialog::Accepted);
}

TEST_F(SettingsDialogTest, SpecialTextSwitchActsAtTheClickWhateverClosesTheDialog) {
    EXPECT_FALSE(form_->SpecialTextEnabled());
    EXPECT_EQ(form_->specFileName->text(), "Имя файла");
    ExecWhile(*form_, [&] {
        Click(form_->CheckBox8);
        QTest::keyClicks(form_->specFileName, "counts");
        Click(form_->BitBtn2);
    });
    EXPECT_TRUE(form_->SpecialTextEnabled());
    EXPECT_EQ(form_->SpecialTextName(), "counts");

    form_->specFileName->setText("Счёт");
    EXPECT_EQ(form_->SpecialTextName(), "\xD1\xF7\xB8\xF2");

    form_->show();
    Click(form_->CheckBox8);
    EXPECT_FALSE(form_->SpecialTextEnabled());
    EXPECT_EQ(form_->specFileName->text(), "Имя файла");
    Click(form_->CheckBox8);
    EXPECT_TRUE(form_->SpecialTextEnabled());
    EXPECT_EQ(form_->SpecialTextName(), "") << "switching on again clears the name";
}

TEST_F(SettingsDialogTest, FormTakesTheGivenColour) {
    form_->SetDialogColour(0x00336699);
    EXPECT_EQ(form_->grab().toImage().pixel(20, 301), display::ToQRgb(0x00336699));
}

}  // namespace
}  // namespace pulsedesk::dialogs
