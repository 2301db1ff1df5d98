// ReportStoreKeeper: the panel's report store, made when the link first comes up and tried
// again while it is missing (a work folder held by pulsectl, one not yet writable), so the
// panel never stays without reports for the rest of its run. Each distinct refusal is told
// once, not once per try. The store holds the work folder only while a study is open, so that
// pulsectl can write its QA records into the same journal while the panel is idle.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "reports/ReportStore.h"

namespace pulsedesk::app {

class ReportStoreKeeper {
  public:
    using Factory = std::function<std::unique_ptr<reports::ReportStore>()>;
    using Tell = std::function<void(const std::string& text)>;

    ReportStoreKeeper(Factory make, Tell tell) : make(std::move(make)), tell(std::move(tell)) {}

    // Makes the store now unless it exists; it lets the folder go until Hold.
    void Create(std::int64_t now);
    // Makes it when it is missing and the last try lies a retry period back.
    void RetryIfDue(std::int64_t now, std::int64_t retryPeriod);
    // Holds the folder for a study, making the store first if need be. False, and told, when
    // there is no store or another program holds the folder.
    bool Hold(std::int64_t now);
    void LetGo();

    reports::ReportStore* Store() const { return store.get(); }
    bool HeldByAnotherProgram() const { return heldElsewhere; }
    void Release() { store.reset(); }

  private:
    Factory make;
    Tell tell;
    // Tells a refusal unless it is the one told last; the operator's language for a held folder.
    void Refused(const reports::ReportError& error, bool always);

    std::unique_ptr<reports::ReportStore> store;
    std::string refusal;
    bool heldElsewhere = false;
    std::int64_t lastTry = 0;
};

}  // namespace pulsedesk::app
