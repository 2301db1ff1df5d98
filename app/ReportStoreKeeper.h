// ReportStoreKeeper: the panel's report store, made when the link first comes up and tried
// again while it is missing (a work folder held by pulsectl, one not yet writable), so the
// panel never stays without reports for the rest of its run. Each distinct refusal is told
// once, not once per try.
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

    // Makes the store now unless it exists.
    void Create(std::int64_t now);
    // Makes it when it is missing and the last try lies a retry period back.
    void RetryIfDue(std::int64_t now, std::int64_t retryPeriod);

    reports::ReportStore* Store() const { return store.get(); }
    // Why the last try failed; empty once a store exists.
    const std::string& Refusal() const { return refusal; }
    bool HeldByAnotherProgram() const;
    void Release() { store.reset(); }

  private:
    Factory make;
    Tell tell;
    std::unique_ptr<reports::ReportStore> store;
    std::string refusal;
    std::int64_t lastTry = 0;
};

}  // namespace pulsedesk::app
