#include "dialogs/NoAutoSelectEdit.h"

#include <QFocusEvent>

namespace pulsedesk::dialogs {

// QLineEdit selects everything for these reasons only; any other reason keeps the cursor.
void NoAutoSelectEdit::focusInEvent(QFocusEvent* event) {
    QFocusEvent plain(event->type(), Qt::OtherFocusReason);
    QLineEdit::focusInEvent(&plain);
}

}  // namespace pulsedesk::dialogs
