#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <array>
#include <memory>

#include "display/SpeedButton.h"
#include "support/QtTestApp.h"

namespace pulsedesk::display {
namespace {

using State = SpeedButton::GlyphState;

// A strip of four solid pictures, red, green, blue and grey, so each state is easy to tell.
QPixmap ColouredStrip(QSize button) {
    QImage strip(button.width() * 4, button.height(), QImage::Format_RGB32);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::gray};
    QPainter painter(&strip);
    for (int i = 0; i < 4; ++i) {
        painter.fillRect(QRect(i * button.width(), 0, button.width(), button.height()), colours[i]);
    }
    return QPixmap::fromImage(strip);
}

QRgb ShownColour(SpeedButton& button) {
    return button.grab().toImage().pixel(button.width() / 2, button.height() / 2);
}

class SpeedButtonTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { pulsedesk::testing::EnsureQtApp(); }
    void SetUp() override {
        for (int i = 0; i < 4; ++i) {
            modes_[i] = new SpeedButton(&panel_);
            modes_[i]->SetGlyphStrip(ColouredStrip({41, 27}));
            modes_[i]->setGeometry(395 + 40 * i, 188, 41, 27);
            modes_[i]->SetGroupIndex(1);
        }
        modes_[0]->setChecked(true);
        panel_.resize(600, 600);
        panel_.show();
    }
    bool OnlyHeld(int index) const {
        for (int i = 0; i < 4; ++i) {
            if (modes_[i]->isChecked() != (i == index)) return false;
        }
        return true;
    }
    QWidget panel_;
    std::array<SpeedButton*, 4> modes_{};
};

TEST_F(SpeedButtonTest, ShowsThePictureOfItsState) {
    SpeedButton& plain = *new SpeedButton(&panel_);
    plain.SetGlyphStrip(ColouredStrip({51, 27}));
    plain.setGeometry(454, 552, 51, 27);
    plain.show();
    EXPECT_EQ(plain.sizeHint(), QSize(51, 27));
    EXPECT_EQ(plain.CurrentGlyphState(), State::Up);
    EXPECT_EQ(ShownColour(plain), QColor(Qt::red).rgb());
    QTest::mousePress(&plain, Qt::LeftButton);
    EXPECT_EQ(plain.CurrentGlyphState(), State::Down);
    EXPECT_EQ(ShownColour(plain), QColor(Qt::blue).rgb());
    QTest::mouseRelease(&plain, Qt::LeftButton);
    EXPECT_EQ(ShownColour(plain), QColor(Qt::red).rgb());
    plain.setEnabled(false);
    EXPECT_EQ(ShownColour(plain), QColor(Qt::green).rgb());
    EXPECT_EQ(ShownColour(*modes_[0]), QColor(Qt::gray).rgb());  // held
}

TEST_F(SpeedButtonTest, PlainButtonClicksWithoutStayingDown) {
    SpeedButton& plain = *new SpeedButton(&panel_);
    plain.SetGlyphStrip(ColouredStrip({51, 27}));
    plain.show();
    QSignalSpy clicks(&plain, &QAbstractButton::clicked);
    QTest::mouseClick(&plain, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(plain.isChecked());
    EXPECT_EQ(plain.CurrentGlyphState(), State::Up);
}

TEST_F(SpeedButtonTest, ClickingAGroupButtonHoldsItAndRaisesTheOthers) {
    QSignalSpy clicks(modes_[2], &QAbstractButton::clicked);
    QTest::mouseClick(modes_[2], Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(OnlyHeld(2));
    EXPECT_EQ(modes_[2]->CurrentGlyphState(), State::Held);
    EXPECT_EQ(modes_[0]->CurrentGlyphState(), State::Up);
}

TEST_F(SpeedButtonTest, ClickingTheHeldButtonKeepsItHeld) {
    QSignalSpy clicks(modes_[0], &QAbstractButton::clicked);
    QTest::mouseClick(modes_[0], Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(OnlyHeld(0));
}

TEST_F(SpeedButtonTest, HoldingOneFromCodeRaisesTheOthers) {
    modes_[3]->setChecked(true);
    EXPECT_TRUE(OnlyHeld(3));
    modes_[1]->setChecked(true);
    EXPECT_TRUE(OnlyHeld(1));
}

TEST_F(SpeedButtonTest, GroupsOfOtherIndicesOrParentsAreLeftAlone) {
    SpeedButton& other = *new SpeedButton(&panel_);
    other.SetGroupIndex(2);
    other.setChecked(true);
    QWidget elsewhere;
    SpeedButton stranger(&elsewhere);
    stranger.SetGroupIndex(1);
    stranger.setChecked(true);
    modes_[2]->setChecked(true);
    EXPECT_TRUE(other.isChecked());
    EXPECT_TRUE(stranger.isChecked());
    EXPECT_TRUE(OnlyHeld(2));
}

TEST_F(SpeedButtonTest, LoadsTheEmbeddedStripOfAControl) {
    SpeedButton start(&panel_);
    start.LoadGlyphStrip("SpeedButton16");
    EXPECT_EQ(start.sizeHint(), QSize(51, 27));
    EXPECT_THROW(start.LoadGlyphStrip("NoSuchButton"), std::runtime_error);
}

}  // namespace
}  // namespace pulsedesk::display
