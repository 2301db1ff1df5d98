#include "DialogDriver.h"

#include <QTest>
#include <QTimer>

namespace pulsedesk::dialogs::testing {

int ExecWhile(QDialog& dialog, const std::function<void()>& operatorActs) {
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &dialog, [&dialog] {
        if (auto* box = OpenErrorBox(dialog)) box->reject();
        dialog.done(kStillOpen);
    });
    deadline.start(5000);
    QTimer::singleShot(0, &dialog, operatorActs);
    return dialog.exec();
}

void Retype(QLineEdit& edit, const QString& text) {
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Delete);
    QTest::keyClicks(&edit, text);
}

QMessageBox* OpenErrorBox(QWidget& dialog) {
    auto* box = dialog.findChild<QMessageBox*>(QStringLiteral("IntegerTextError"));
    return box && box->isVisible() ? box : nullptr;
}

}  // namespace pulsedesk::dialogs::testing
