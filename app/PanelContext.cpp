#include "app/PanelContext.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <chrono>
#include <deque>
#include <iostream>
#include <thread>

namespace pulsedesk::app {

namespace {

// The texts waiting for the box, and whether one is open. Boxes are not modal: one raised
// inside the status handling must neither hold up the polls nor, through a nested event loop,
// let the handling run again and open a second box over the first.
struct ErrorBoxQueue {
    std::deque<QString> waiting;
    bool open = false;
};

void ShowNextErrorBox(const std::shared_ptr<ErrorBoxQueue>& queue) {
    if (queue->open || queue->waiting.empty()) return;
    auto* box = new QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(),
                                queue->waiting.front());
    queue->waiting.pop_front();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_QuitOnClose, false);  // closing the panel still ends the program
    box->setModal(false);
    queue->open = true;
    QObject::connect(box, &QDialog::finished, [queue] {
        queue->open = false;
        ShowNextErrorBox(queue);
    });
    box->show();
}

}  // namespace

ErrorSink ErrorBox() {
    auto queue = std::make_shared<ErrorBoxQueue>();
    return [queue](const std::string& text) {
        std::cerr << text << '\n';
        queue->waiting.push_back(QString::fromStdString(text));
        ShowNextErrorBox(queue);
    };
}

void EndLink(std::unique_ptr<link::TSerial>& link) {
    if (!link) return;
    link->SetListener(nullptr);
    link->Terminate();
    // Only the link's notifications are served: the operator's input must not act any more.
    while (!link->IsFinished()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    link->WaitFor();
    link.reset();
}

}  // namespace pulsedesk::app
