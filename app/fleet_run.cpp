#include "app/fleet_run.h"

#include "app/check.h"
#include "app/command_line.h"
#include "app/install.h"
#include "app/run.h"
#include "app/run_log.h"
#include "datafiles/extend_dat.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "registration/backup.h"
#include "registration/detect_product.h"
#include "registration/extension_entries.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmend-run.exe [/registry | /user | /install | /uninstall] (none: /registry, then /user)\r\n";

// The verbs as typed, in RunVerb's order: "" is no argument.
const char* const kVerbs[] = {"", "/registry", "/user", "/install", "/uninstall"};

// The scope's lock: a file in its log folder, opened so that nobody else can
// open it. In the machine's folder only SYSTEM and Administrators can reach
// it, so no user can take or hold it.
enum class Lock { Taken, Held, Unavailable };
__attribute__((noinline)) Lock takeLock(const char* folder, platform::File* lock) {
    char path[platform::kMaxPath];
    path[0] = '\0';
    if (!text::append(path, sizeof path, folder) || !text::append(path, sizeof path, "\\quillmend-run.lock")) {
        return Lock::Unavailable;
    }
    for (unsigned waited = 0;; waited += kLockPollMilliseconds) {
        unsigned long error = 0;
        if (platform::fileOpen(path, platform::FileMode::Lock, lock, &error)) return Lock::Taken;
        if (error != platform::kErrorSharingViolation) {
            sayError(kLogWarning, "lock: cannot open \"%\" (error %)", path, error);
            return Lock::Unavailable;
        }
        if (waited >= kLockWaitMilliseconds) return Lock::Held;
        platform::sleepMilliseconds(kLockPollMilliseconds);
    }
}

// The header: what runs, as whom, where, and the time the check will give.
__attribute__((noinline)) void sayHeader(RunVerb verb, unsigned long long now) {
    char account[128];
    char computer[128];
    char stamp[32] = "";
    platform::accountName(account, sizeof account);
    platform::computerName(computer, sizeof computer);
    text::appendUtcTime(stamp, sizeof stamp, now);
    say(kLogInfo, "quillmend-run.exe % as % on %, check time %", kVerbs[static_cast<int>(verb)], account, computer, stamp);
}

// The registry work itself, under the lock: backup, then the stages.
__attribute__((noinline)) int cleanRegistry(bool logs, const char* folder, unsigned long long now) {
    ProductRelease release;
    char backup[platform::kMaxPath];
    BackupRecord record;
    const char* why = logs ? "the release cannot be read" : "no usable log folder";
    if (!logs || inspectProduct(&release) != ProductState::Found ||
        !writeBackup(folder, now, release, backup, &record, &why)) {
        say(kLogError, "backup: not written (%); the registry was not changed", why);
        return kRunNoBackup;
    }
    say(kLogInfo, "backup: %", backup);
    // Exactly what quillmend.exe does.
    RunOutcome outcome;
    ProductRelease detected;
    if (detectProduct(&detected)) reconcileExtensionEntries(detected, &outcome);
    platform::RegKey key = nullptr;
    if (platform::regOpenKeyForReading(kExtensionsKeyPath, &key) == platform::KeyOpen::Opened) {
        for (int rank = 0; rank < kEntryCount; ++rank) {
            if (record.present[rank] && !entryPresent(key, entryName(rank))) say(kLogInfo, "deleted: %", entryName(rank));
        }
        if (setupExtensionState(key) == SetupExtension::Current) say(kLogInfo, "written: %", kSetupExtensionValue);
        platform::regCloseKey(key);
    }
    pruneBackups(folder, backup);
    return checkNow(CheckScope::Registry, platform::currentTime());
}

// The stale copies the check just reported, deleted as a silent run does.
__attribute__((noinline)) void deleteStaleCopies() {
    for (int i = 0; i < checkStaleCount; ++i) {
        const CopyInspection& copy = checkStaleCopies[i];
        unsigned long error = 0;
        if (!runDeletes(copy)) {
            say(kLogWarning, "kept: % (delete it by hand)", copy.path);
        } else if (platform::removeFile(copy.path, &error)) {
            say(kLogInfo, "deleted: %", copy.path);
        } else {
            sayError(kLogWarning, "kept: % (deleting it failed: error %)", copy.path, error);
        }
    }
}

// One scope's run: the lock, the log, then the work, and the half's Event Log
// record. Machine scope: the install or uninstall, if asked, then the
// registry half; an uninstall, which takes the record's source away, leaves none.
int runScope(RunVerb verb) {
    const bool machine = verb != RunVerb::User;
    beginRecord();
    char folder[platform::kMaxPath];
    bool logs = prepareLogFolder(machine ? LogScope::Machine : LogScope::User, folder);
    platform::File lock = nullptr;
    const Lock taken = logs ? takeLock(folder, &lock) : Lock::Unavailable;
    logs = taken == Lock::Taken;
    int code = kRunLockHeld;
    int before = kRunLockHeld;
    if (taken == Lock::Held) {
        static_assert(kLockWaitMilliseconds == 60000, "the line says how long a run waits");
        say(kLogError, "lock: held by another run for more than 60 seconds");
    } else {
        if (logs) openLog(folder);
        const unsigned long long now = platform::currentTime();
        sayHeader(verb, now);
        code = 0;
        if (verb == RunVerb::Uninstall) {
            code = uninstallRelease();
        } else if (verb == RunVerb::Install) {
            code = installRelease();
        }
        before = code;
        // The registry half, also after an install that succeeded.
        if (machine && verb != RunVerb::Uninstall && code == 0) {
            code = before = checkNow(CheckScope::Registry, now);
            if (code == kCheckRegistryRemains) code = cleanRegistry(logs, folder, now);
        } else if (!machine) {
            code = before = checkNow(CheckScope::User, now);
            if (code == kCheckExtendDatRemains) {
                deleteStaleCopies();
                code = checkNow(CheckScope::User, platform::currentTime());
            }
        }
    }
    char number[12];
    say(code == 0 ? kLogInfo : kLogError, "exit code %", text::numberText(static_cast<unsigned>(code), number));
    if (verb != RunVerb::Uninstall) reportRecord(machine ? kEventRegistryHalf : kEventUserHalf, before, code);
    closeLog();
    if (lock != nullptr) platform::fileClose(lock);
    return code;
}

}  // namespace

RunVerb parseRunVerb(const char* arguments) {
    int verb = 0;
    while (verb < static_cast<int>(RunVerb::Invalid) && !argumentIs(arguments, kVerbs[verb])) ++verb;
    return static_cast<RunVerb>(verb);
}

int runFleet(const char* arguments) {
    const RunVerb verb = parseRunVerb(arguments);
    if (verb == RunVerb::Invalid) {
        platform::writeError(kUsage);
        return kCheckUsage;
    }
    if (verb != RunVerb::Both) return runScope(verb);
    // By hand: both halves. A half that could not look or act speaks first,
    // the registry's before the user's; otherwise the check's bits combine.
    const int registry = runScope(RunVerb::Registry);
    const int user = runScope(RunVerb::User);
    if (registry > kCheckCannotTell) return registry;
    if (user > kCheckCannotTell) return user;
    if (registry == kCheckCannotTell || user == kCheckCannotTell) return kCheckCannotTell;
    return registry | user;
}

int startFleetRun() {
    guardDllSearch();
    return runFleet(argumentString(platform::processCommandLine()));
}
