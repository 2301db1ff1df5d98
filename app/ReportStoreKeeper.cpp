#include "app/ReportStoreKeeper.h"

namespace pulsedesk::app {

void ReportStoreKeeper::Create(std::int64_t now) {
    if (store) return;
    lastTry = now;
    try {
        store = make();
        refusal.clear();
    } catch (const reports::ReportError& e) {
        if (refusal != e.what()) tell(e.what());
        refusal = e.what();
    }
}

void ReportStoreKeeper::RetryIfDue(std::int64_t now, std::int64_t retryPeriod) {
    if (!store && now >= lastTry + retryPeriod) Create(now);
}

bool ReportStoreKeeper::HeldByAnotherProgram() const {
    return refusal.find(reports::kWorkFolderInUse) != std::string::npos;
}

}  // namespace pulsedesk::app
