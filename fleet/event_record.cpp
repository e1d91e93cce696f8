// The Event Log record of one half of a run.
#include "fleet/event_record.h"

#include "platform/platform.h"
#include "platform/text.h"
#include "reading/run_types.h"

namespace {

// Added to the half's first ID, in the order of the records' IDs.
enum EventOutcome { kEventNothingToClean, kEventCleaned, kEventWorkRemains, kEventFailed };
EventOutcome eventOutcome(int before, int code) {
    if (code == 0) return before == 0 ? kEventNothingToClean : kEventCleaned;
    return code < kCheckCannotTell ? kEventWorkRemains : kEventFailed;
}

}  // namespace

void reportEventRecord(RunLog* log, RunHalf half, int before, int code) {
    static const unsigned short kLevels[] = {platform::kEventInformation, platform::kEventInformation,
                                             platform::kEventWarning, platform::kEventError};
    const EventOutcome outcome = eventOutcome(before, code);
    if (log->eventTextCut) text::append(log->eventText, kEventTextBytes, "(cut: the rest is in the log)\r\n");
    if (keptLogPath(*log) != nullptr) text::appendFormat(log->eventText, kEventTextBytes, "log: %\r\n", log->path);
    unsigned long error = 0;
    const bool user = half == RunHalf::User;
    const char* source = user ? kUserEventSource : kEventSource;
    const unsigned long id = (user ? kEventUserHalf : kEventRegistryHalf) + outcome;
    if (!platform::reportEvent(source, kLevels[outcome], id, log->eventText, &error)) {
        logFactWithError(log, kLogWarning, "event: the record for source % was not written (error %)", source, error);
    }
}
