// The repeat edit always shows the value in force: a typed number in range is taken on Enter
// (or when the edit loses focus), anything else is put back.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "display/UpDown.h"
#include "support/QtTestApp.h"

namespace pulsedesk::display {
namespace {

TEST(UpDown, TakesATypedNumberInRangeOnEnterAndPutsAnythingElseBack) {
    pulsedesk::testing::EnsureQtApp();
    QLineEdit edit;
    UpDown upDown;
    upDown.SetBuddy(&edit);
    upDown.SetRange(1, 99);
    upDown.SetPosition(3);
    QSignalSpy typed(&upDown, &UpDown::Typed);
    const struct {
        const char* text;
        int position;
    } rows[] = {{"0", 3}, {"abc", 3}, {"100", 3}, {"", 3}, {"7", 7}, {" 12 ", 12}, {"-1", 12}};
    for (const auto& r : rows) {
        edit.setText(r.text);
        QTest::keyClick(&edit, Qt::Key_Return);
        EXPECT_EQ(upDown.Position(), r.position) << r.text;
        EXPECT_EQ(edit.text(), QString::number(r.position)) << r.text;
    }
    EXPECT_EQ(typed.count(), 2);  // 7 and 12 were taken
}

}  // namespace
}  // namespace pulsedesk::display
