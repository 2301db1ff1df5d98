#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "dialogs/Fshadow.h"
#include "support/QtTestApp.h"

namespace pulsedesk::dialogs {
namespace {

// A panel that would react to a click on its own background.
class ClickCountingPanel : public QWidget {
  public:
    int presses = 0;

  protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// A white 600 x 600 panel with a button and a focused edit, under the shadow.
class ShadowOverlayTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { pulsedesk::testing::EnsureQtApp(); }
    void SetUp() override {
        panel_.setPalette(QPalette(Qt::white));
        panel_.setAutoFillBackground(true);
        panel_.resize(600, 600);
        start_->setGeometry(454, 552, 51, 27);
        edit_->setGeometry(395, 500, 41, 26);
        panel_.show();
        edit_->setFocus();
    }
    QRgb Pixel(QPoint at) { return panel_.grab().toImage().pixel(at); }

    ClickCountingPanel panel_;
    TForm4* shadow_ = new TForm4(&panel_);  // made before the controls, yet shown above them
    QPushButton* start_ = new QPushButton(&panel_);
    QLineEdit* edit_ = new QLineEdit(&panel_);
    const QPoint onButton_{470, 560};
};

TEST_F(ShadowOverlayTest, CoversTheClientAreaInTheShadowColourAtItsOpacity) {
    shadow_->ShowOver(panel_.rect(), 0x000000FF, 255);
    EXPECT_TRUE(shadow_->isVisible());
    EXPECT_EQ(shadow_->geometry(), QRect(0, 0, 600, 600));
    EXPECT_EQ(Pixel({300, 300}), qRgb(255, 0, 0));
    EXPECT_EQ(Pixel(onButton_), qRgb(255, 0, 0)) << "above the panel's controls";

    shadow_->ShowOver(panel_.rect(), 0x00FF0000, 128);  // the same overlay, shown again
    const QColor half = QColor(Pixel({300, 300}));
    EXPECT_NEAR(half.red(), 127, 2);
    EXPECT_NEAR(half.green(), 127, 2);
    EXPECT_EQ(half.blue(), 255);
}

TEST_F(ShadowOverlayTest, OpacityZeroLeavesThePanelAsItIs) {
    const QImage bare = panel_.grab().toImage();
    shadow_->ShowOver(panel_.rect(), 0x00A0A020, 0);
    EXPECT_TRUE(shadow_->isVisible());
    EXPECT_EQ(panel_.grab().toImage(), bare);
}

TEST_F(ShadowOverlayTest, SwallowsClicksAndLeavesTheFocusUntilHidden) {
    QSignalSpy clicked(start_, &QPushButton::clicked);
    shadow_->ShowOver(panel_.rect(), 0x00A0A020, 200);
    EXPECT_EQ(panel_.focusWidget(), edit_);
    QTest::mouseClick(panel_.windowHandle(), Qt::LeftButton, {}, onButton_);
    QTest::mouseClick(panel_.windowHandle(), Qt::LeftButton, {}, {10, 10});
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(panel_.presses, 0);
    shadow_->HideOverlay();
    EXPECT_FALSE(shadow_->isVisible());
    QTest::mouseClick(panel_.windowHandle(), Qt::LeftButton, {}, onButton_);
    EXPECT_EQ(clicked.count(), 1);
}

}  // namespace
}  // namespace pulsedesk::dialogs
