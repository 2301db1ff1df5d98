#include "app/ReportStoreKeeper.h"

namespace pulsedesk::app {

void ReportStoreKeeper::Create(std::int64_t now) {
    if (store) return;
    lastTry = now;
    try {
        store = make();
        store->ReleaseFolder();
        refusal.clear();
        heldElsewhere = false;
    } catch (const reports::ReportError& e) {
        Refused(e, false);
    }
}

void ReportStoreKeeper::RetryIfDue(std::int64_t now, std::int64_t retryPeriod) {
    if (!store && now >= lastTry + retryPeriod) Create(now);
}

bool ReportStoreKeeper::Hold(std::int64_t now) {
    Create(now);
    if (!store) return false;
    try {
        store->HoldFolder();
        return true;
    } catch (const reports::ReportError& e) {
        Refused(e, true);  // the operator asked for a study just now
        return false;
    }
}

void ReportStoreKeeper::LetGo() {
    if (store) store->ReleaseFolder();
}

void ReportStoreKeeper::Refused(const reports::ReportError& error, bool always) {
    const auto* inUse = dynamic_cast<const reports::FolderInUseError*>(&error);
    heldElsewhere = inUse != nullptr;
    const std::string text = inUse ? "Папка отчётов «" + inUse->Folder() + "» занята программой " +
                                         inUse->Holder() + ": отчёты пишет одна программа за раз."
                                   : std::string(error.what());
    if (always || refusal != text) tell(text);
    refusal = text;
}

}  // namespace pulsedesk::app
