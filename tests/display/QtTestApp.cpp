#include "QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <memory>

namespace pulsedesk::display::testing {

namespace {

// Owns the application; it must go before the statics that Qt's test helpers leave behind.
class QtAppEnvironment : public ::testing::Environment {
  public:
    void Start() {
        if (app_) return;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_RUNTIME_DIR", runtimeDir_.path().toLocal8Bit());  // mode 0700
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    QTemporaryDir runtimeDir_;
    int argc_ = 1;
    char name_[14] = "display_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

QtAppEnvironment* const environment =
    static_cast<QtAppEnvironment*>(::testing::AddGlobalTestEnvironment(new QtAppEnvironment));

}  // namespace

void EnsureQtApp() { environment->Start(); }

::testing::AssertionResult GlyphDrawnAt(const QImage& image, QPoint at, const QImage& sheet,
                                        QRect box, QRect pointBox, bool keepPoint,
                                        QRgb background) {
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const bool blanked = !keepPoint && pointBox.contains(x, y);
            const QRgb want = blanked ? background : sheet.pixel(box.left() + x, box.top() + y);
            const QRgb got = image.pixel(at.x() + x, at.y() + y);
            if ((want & 0xFFFFFF) != (got & 0xFFFFFF)) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") of the glyph at (" << at.x() << ", "
                       << at.y() << ") is " << std::hex << got << ", the sheet's is " << want;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace pulsedesk::display::testing
