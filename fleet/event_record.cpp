// The Event Log record of one half of a run.
#include "fleet/event_record.h"

#include "app/run_types.h"
#include "fleet/run_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

// The record's text; its end is kept for the log's path and a cut's mark.
constexpr unsigned kRecordBytes = 8192;
constexpr unsigned kRecordTail = platform::kMaxPath + 64;
char record[kRecordBytes];
bool recordCut = false;

// Added to the half's base, in the order of the records' IDs.
enum EventOutcome { kEventNothingToClean, kEventCleaned, kEventWorkRemains, kEventFailed };
EventOutcome eventOutcome(int before, int code) {
    if (code == 0) return before == 0 ? kEventNothingToClean : kEventCleaned;
    return code < kCheckCannotTell ? kEventWorkRemains : kEventFailed;
}

}  // namespace

void beginRecord() {
    record[0] = '\0';
    recordCut = false;
}

void recordLine(const char* line) {
    recordCut = recordCut || !text::appendFormat(record, kRecordBytes - kRecordTail, "%\r\n", line);
}

void reportRecord(unsigned half, int before, int code) {
    static const unsigned short kLevels[] = {platform::kEventInformation, platform::kEventInformation,
                                             platform::kEventWarning, platform::kEventError};
    const EventOutcome outcome = eventOutcome(before, code);
    if (recordCut) text::append(record, kRecordBytes, "(cut: the rest is in the log)\r\n");
    if (openLogPath() != nullptr) text::appendFormat(record, kRecordBytes, "log: %\r\n", openLogPath());
    unsigned long error = 0;
    const char* source = half == kEventUserHalf ? kUserEventSource : kEventSource;
    if (!platform::reportEvent(source, kLevels[outcome], half + outcome, record, &error)) {
        sayError(kLogWarning, "event: the record for source % was not written (error %)", source, error);
    }
}
