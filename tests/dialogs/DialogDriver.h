// Plays the operator's part while a dialog runs modally, as the panel shows it.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <functional>
#include <stdexcept>
#include <string>

namespace pulsedesk::dialogs::testing {

// What exec() returns when the dialog was still open at the deadline.
inline constexpr int kStillOpen = -1;

// Runs dialog.exec() while operatorActs runs inside its event loop; a dialog still open after
// a few seconds is closed with kStillOpen, so that a fault cannot hang the test.
int ExecWhile(QDialog& dialog, const std::function<void()>& operatorActs);

// Replaces the edit's text by typing.
void Retype(QLineEdit& edit, const QString& text);

// The conversion error box open over the dialog, or null.
QMessageBox* OpenErrorBox(QWidget& dialog);

template <class Control>
Control& Named(QWidget& form, const char* name) {
    auto* control = form.findChild<Control*>(QString::fromLatin1(name));
    if (!control) throw std::logic_error(std::string("the form has no ") + name);
    return *control;
}

}  // namespace pulsedesk::dialogs::testing
