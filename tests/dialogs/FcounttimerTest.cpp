#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QPushButton>
#include <QTest>
#include <array>

#include "DialogDriver.h"
#include "dialogs/Fcounttimer.h"
#include "display/Digits.h"
#include "support/QtTestApp.h"

namespace pulsedesk::dialogs {
namespace {

using namespace testing;

class CountTimeDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { pulsedesk::testing::EnsureQtApp(); }
    void SetUp() override { form_->SetCountTime(1, 2, 3); }

    // Types the three texts and presses OK.
    int Confirm(const char* hours, const char* minutes, const char* seconds) {
        return ExecWhile(*form_, [&] {
            Retype(hoursEdit_, hours);
            Retype(minutesEdit_, minutes);
            Retype(secondsEdit_, seconds);
            QTest::mouseClick(&ok_, Qt::LeftButton);
        });
    }
    std::array<int, 3> Result() const {
        return {form_->Hours(), form_->Minutes(), form_->Seconds()};
    }

    QWidget panel_;
    TForm1* form_ = new TForm1(&panel_);
    QLineEdit& hoursEdit_ = Named<QLineEdit>(*form_, "MaskEdit1");
    QLineEdit& minutesEdit_ = Named<QLineEdit>(*form_, "MaskEdit2");
    QLineEdit& secondsEdit_ = Named<QLineEdit>(*form_, "MaskEdit3");
    QPushButton& ok_ = Named<QPushButton>(*form_, "BitBtn1");
    QPushButton& cancel_ = Named<QPushButton>(*form_, "BitBtn2");
};

TEST_F(CountTimeDialogTest, OkConvertsAndLimitsTheTypedValues) {
    const struct {
        const char *hours, *minutes, *seconds;
        std::array<int, 3> want;
    } cases[] = {
        {"5", "75", "30", {5, 75, 30}},      {"120", "100", "200", {99, 59, 59}},
        {"100", "60", "99", {99, 60, 99}},   {"0", "300", "0", {0, 44, 0}},
        {"-1", "-1", "-1", {99, 59, 59}},    {"$A", "0x1E", " 15", {10, 30, 15}},
        {"355", "355", "355", {99, 99, 99}},  // the low byte of 355 is 99
    };
    for (const auto& c : cases) {
        form_->SetCountTime(1, 2, 3);
        EXPECT_EQ(Confirm(c.hours, c.minutes, c.seconds), QDialog::Accepted) << c.hours;
        EXPECT_EQ(Result(), c.want) << c.hours << " / " << c.minutes << " / " << c.seconds;
    }
}

TEST_F(CountTimeDialogTest, ShowsThePresetAndKeepsItOnCancelOrEscape) {
    form_->SetCountTime(1, 30, 0);
    QStringList shown;
    EXPECT_EQ(ExecWhile(*form_,
                        [&] {
                            shown = {hoursEdit_.text(), minutesEdit_.text(), secondsEdit_.text()};
                            Retype(hoursEdit_, "7");
                            QTest::mouseClick(&cancel_, Qt::LeftButton);
                        }),
              QDialog::Rejected);
    EXPECT_EQ(shown, QStringList({"1", "30", "0"}));
    EXPECT_EQ(ExecWhile(*form_,
                        [&] {
                            shown = {hoursEdit_.text()};
                            Retype(hoursEdit_, "8");
                            QTest::keyClick(&hoursEdit_, Qt::Key_Escape);
                        }),
              QDialog::Rejected);
    EXPECT_EQ(shown, QStringList({"1"})) << "nothing typed before a cancel survives";
    EXPECT_EQ(Result(), (std::array<int, 3>{1, 30, 0}));
}

TEST_F(CountTimeDialogTest, EnterInAnEditConfirms) {
    EXPECT_EQ(ExecWhile(*form_,
                        [&] {
                            Retype(secondsEdit_, "45");
                            QTest::keyClick(&secondsEdit_, Qt::Key_Return);
                        }),
              QDialog::Accepted);
    EXPECT_EQ(Result(), (std::array<int, 3>{1, 2, 45}));
}

TEST_F(CountTimeDialogTest, TextThatIsNoIntegerKeepsTheDialogOpenAndReportsNothing) {
    for (const char* bad : {"", "abc", "12a", "1.5", "99999999999"}) {
        QString error;
        bool stillOpen = false;
        const int result = ExecWhile(*form_, [&] {
            Retype(hoursEdit_, "7");
            Retype(minutesEdit_, bad);
            QTest::mouseClick(&ok_, Qt::LeftButton);
            stillOpen = form_->isVisible();
            if (QMessageBox* box = OpenErrorBox(*form_)) {
                error = box->text();
                box->accept();
            }
            QTest::mouseClick(&cancel_, Qt::LeftButton);
        });
        EXPECT_TRUE(stillOpen) << bad;
        EXPECT_EQ(error, QStringLiteral("'%1' is not a valid integer value").arg(bad));
        EXPECT_EQ(result, QDialog::Rejected) << bad;
        EXPECT_EQ(Result(), (std::array<int, 3>{1, 2, 3})) << "no half-converted values";
    }
}

TEST_F(CountTimeDialogTest, CorrectedTextIsTakenByTheNextOk) {
    EXPECT_EQ(ExecWhile(*form_,
                        [&] {
                            Retype(secondsEdit_, "x");
                            QTest::mouseClick(&ok_, Qt::LeftButton);
                            if (QMessageBox* box = OpenErrorBox(*form_)) box->accept();
                            Retype(secondsEdit_, "200");
                            QTest::mouseClick(&ok_, Qt::LeftButton);
                        }),
              QDialog::Accepted);
    EXPECT_EQ(Result(), (std::array<int, 3>{1, 2, 59}));
}

TEST_F(CountTimeDialogTest, TabIntoAnEditLeavesItsTextUnselected) {
    form_->show();
    QFocusEvent tabbedIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&minutesEdit_, &tabbedIn);
    EXPECT_EQ(minutesEdit_.text(), "2");
    EXPECT_FALSE(minutesEdit_.hasSelectedText());
}

TEST_F(CountTimeDialogTest, PanelTakesTheGivenColour) {
    form_->SetPanelColour(0x00336699);
    EXPECT_EQ(form_->grab().toImage().pixel(80, 46), display::ToQRgb(0x00336699));
}

}  // namespace
}  // namespace pulsedesk::dialogs
