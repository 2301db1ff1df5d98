#include "support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <memory>

namespace pulsedesk::testing {

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
    char name_[16] = "pulsedesk_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

QtAppEnvironment* const environment =
    static_cast<QtAppEnvironment*>(::testing::AddGlobalTestEnvironment(new QtAppEnvironment));

}  // namespace

void EnsureQtApp() { environment->Start(); }

}  // namespace pulsedesk::testing
