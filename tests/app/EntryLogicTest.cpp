// The entry logic's error box, offscreen: read as the operator reads it, then closed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "app/EntryLogic.h"
#include "support/QtTestApp.h"

namespace pulsedesk::app {
namespace {

// The text of the error box that show() opens, once it has been closed.
template <class Show>
std::string BoxText(Show show) {
    QString text;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->done(0);
        }
    });
    look.start(10);
    show();
    return text.toStdString();
}

TEST(StartupErrorBox, ShowsTheReasonUnderTheMessageFilesText) {
    testing::EnsureQtApp();
    EXPECT_EQ(BoxText([] { ShowStartupError("Check COM-Port", "/dev/ttyS9: Permission denied"); }),
              "Check COM-Port\n\n/dev/ttyS9: Permission denied");
    EXPECT_EQ(BoxText([] { ShowStartupError("Check COM-Port", ""); }), "Check COM-Port");
}

}  // namespace
}  // namespace pulsedesk::app
