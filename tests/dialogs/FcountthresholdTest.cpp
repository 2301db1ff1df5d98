#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "DialogDriver.h"
#include "dialogs/Fcountthreshold.h"
#include "display/Digits.h"
#include "support/QtTestApp.h"

namespace pulsedesk::dialogs {
namespace {

using namespace testing;

class CountLimitDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { pulsedesk::testing::EnsureQtApp(); }
    void SetUp() override { form_->SetCountLimit(4321); }

    // Types the text, presses OK and, should an error box open, dismisses it and cancels.
    int Confirm(const char* text, QString* error = nullptr) {
        return ExecWhile(*form_, [&] {
            Retype(edit_, text);
            QTest::mouseClick(&ok_, Qt::LeftButton);
            if (QMessageBox* box = OpenErrorBox(*form_)) {
                if (error) *error = box->text();
                box->accept();
                QTest::mouseClick(&cancel_, Qt::LeftButton);
            }
        });
    }

    QWidget panel_;
    TForm2* form_ = new TForm2(&panel_);
    QLineEdit& edit_ = Named<QLineEdit>(*form_, "MaskEdit1");
    QPushButton& ok_ = Named<QPushButton>(*form_, "BitBtn1");
    QPushButton& cancel_ = Named<QPushButton>(*form_, "BitBtn2");
};

TEST_F(CountLimitDialogTest, OkLimitsTheValueToTheDevicesTwentyFourBits) {
    const struct {
        const char* typed;
        std::uint32_t want;
    } cases[] = {
        {"1234", 1234},
        {"0", 0},
        {"16777215", 16777215},
        {"16777216", 16777215},
        {"20000000", 16777215},
        {"100000000", 16777215},
        {"-1", 0},
        {"-2147483648", 0},
        {"$FFFFFF", 16777215},
        {"0x10", 16},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Confirm(c.typed), QDialog::Accepted) << c.typed;
        EXPECT_EQ(form_->CountLimit(), c.want) << c.typed;
    }
}

TEST_F(CountLimitDialogTest, ShowsThePresetAndKeepsItOnCancel) {
    QString shown;
    EXPECT_EQ(ExecWhile(*form_,
                        [&] {
                            shown = edit_.text();
                            Retype(edit_, "99");
                            QTest::keyClick(&edit_, Qt::Key_Escape);
                        }),
              QDialog::Rejected);
    EXPECT_EQ(shown, "4321");
    EXPECT_EQ(form_->CountLimit(), 4321u);
}

TEST_F(CountLimitDialogTest, TextThatIsNoIntegerKeepsTheDialogOpenAndThePreset) {
    for (const char* bad : {"", "abc", "2147483648", "12 34"}) {
        QString error;
        EXPECT_EQ(Confirm(bad, &error), QDialog::Rejected) << bad;
        EXPECT_EQ(error, QStringLiteral("'%1' is not a valid integer value").arg(bad));
        EXPECT_EQ(form_->CountLimit(), 4321u) << bad;
    }
}

TEST_F(CountLimitDialogTest, PanelTakesTheGivenColour) {
    form_->SetPanelColour(0x00336699);
    EXPECT_EQ(form_->grab().toImage().pixel(80, 35), display::ToQRgb(0x00336699));
}

}  // namespace
}  // namespace pulsedesk::dialogs
