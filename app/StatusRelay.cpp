#include "app/StatusRelay.h"

#include <QThread>

namespace pulsedesk::app {

StatusRelay::StatusRelay(std::function<void()> h, QObject* parent)
    : QObject(parent), handler(std::move(h)) {}

void StatusRelay::OnStatusPolled() {
    if (QThread::currentThread() == thread()) {
        Deliver();
        return;
    }
    QMetaObject::invokeMethod(this, &StatusRelay::Deliver, Qt::BlockingQueuedConnection);
}

// Checked again here: the panel may have begun to close while the call was queued.
void StatusRelay::Deliver() {
    if (delivering.load()) handler();
}

}  // namespace pulsedesk::app
