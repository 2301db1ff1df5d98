// StatusRelay: the link's notification brought to the panel's thread. A poll run on the GUI
// thread (PollNow from a control) calls the handler at once; a poll of the link thread hands it
// over with a blocking queued call, so the link thread waits until the panel has handled it.
// Whether to deliver at all is a flag that the GUI thread keeps, so the link thread never looks
// at a widget.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>

#include "link/tser.h"

namespace pulsedesk::app {

class StatusRelay final : public QObject, public link::StatusListener {
    Q_OBJECT

  public:
    explicit StatusRelay(std::function<void()> handler, QObject* parent = nullptr);

    // GUI thread: on while the panel is shown and not closing.
    void SetDelivering(bool on) { delivering.store(on); }

    bool IsListening() const override { return delivering.load(); }
    void OnStatusPolled() override;

  private:
    void Deliver();

    std::function<void()> handler;
    std::atomic<bool> delivering{false};
};

}  // namespace pulsedesk::app
