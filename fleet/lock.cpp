// Taking the scope's lock, waiting a while for a run that holds it.
#include "fleet/lock.h"

#include "platform/text.h"

// In the machine's folder only SYSTEM and Administrators can reach the file,
// so no user can take or hold it.
Lock takeLock(RunLog* log, const char* folder, platform::File* lock, unsigned waitMilliseconds) {
    char path[platform::kMaxPath];
    path[0] = '\0';
    if (!text::appendFormat(path, sizeof path, "%\\%", folder, kLockFileName)) return Lock::Unavailable;
    for (unsigned waited = 0;; waited += kLockPollMilliseconds) {
        unsigned long error = 0;
        if (platform::fileOpen(path, platform::FileMode::Lock, lock, &error)) return Lock::Taken;
        if (error != platform::kErrorSharingViolation) {
            logFactWithError(log, kLogWarning, "lock: cannot open \"%\" (error %)", path, error);
            return Lock::Unavailable;
        }
        if (waited >= waitMilliseconds) return Lock::Held;
        platform::sleepMilliseconds(kLockPollMilliseconds);
    }
}
