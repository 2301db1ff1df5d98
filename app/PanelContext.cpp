#include "app/PanelContext.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <chrono>
#include <iostream>
#include <thread>

namespace pulsedesk::app {

TickClock SteadyTickClock() {
    using namespace std::chrono;
    return {[] { return steady_clock::now().time_since_epoch().count(); },
            steady_clock::period::den / steady_clock::period::num};
}

ErrorSink ErrorBox() {
    return [](const std::string& text) {
        std::cerr << text << '\n';
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(),
                              QString::fromStdString(text));
    };
}

void EndLink(std::unique_ptr<link::TSerial>& link) {
    if (!link) return;
    link->SetListener(nullptr);
    link->Terminate();
    while (!link->IsFinished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    link->WaitFor();
    link.reset();
}

}  // namespace pulsedesk::app
