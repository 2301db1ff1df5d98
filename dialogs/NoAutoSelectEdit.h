// A single-line edit that leaves its text unselected when it gets the focus by Tab or shortcut,
// so that the cursor, not a selection, awaits the operator's typing.
#pragma once

#include <QLineEdit>

namespace pulsedesk::dialogs {

class NoAutoSelectEdit : public QLineEdit {
    Q_OBJECT

  public:
    using QLineEdit::QLineEdit;

  protected:
    void focusInEvent(QFocusEvent* event) override;
};

}  // namespace pulsedesk::dialogs
