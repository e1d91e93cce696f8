// quillmend-run.exe's verbs: each half under its lock, with its log and record.
#include "fleet/fleet_run.h"

#include "fleet/event_record.h"
#include "fleet/lock.h"
#include "fleet/logon_component.h"
#include "fleet/restore.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmend-run.exe [/registry | /user | /install | /uninstall | /rollback | /restore] (none: /registry, then "
    "/user)\r\n";

// The verbs as typed, in RunVerb's order: "" is no argument.
const char* const kVerbs[] = {"", "/registry", "/user", "/install", "/uninstall", "/rollback", "/restore"};
// Where a logon run asks to be started again when it leaves work: the user's
// RunOnce key, whose value Windows deletes before it runs the command ("Run
// and RunOnce Registry Keys", Microsoft Learn).
inline constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Where a scope's run stands once it has tried its folder and lock: the one
// state that decides what it may do.
enum class Footing {
    HeldElsewhere,  // another run held the lock past the wait: nothing is done
    Unlocked,       // no usable log folder, or a lock that would not open: no log, no backup, no install
    Locked,         // the lock is held and the log open
};

// A half's codes: the check's before the work, and the half's own after it.
struct HalfCodes {
    int before;
    int code;
};

// The machine as the check reads it, said as the check says it; returns its
// exit code. The user half reads and says nothing of the registry.
int inspectAndSay(RunRecord* record, CheckScope scope, unsigned long long now) {
    const CheckLineWriter writer{logCheckLine, &record->log};
    if (scope == CheckScope::User) {
        inspectUserHalf(now, &record->findings);
        writeUserHalfLines(record->findings, writer);
    } else {
        inspectMachine(scope, now, &record->findings);
        writeCheckLines(record->findings, writer);
    }
    return record->findings.code;
}

// The header: what runs, as whom, where, and the time the check will give.
void sayHeader(RunLog* log, RunVerb verb, unsigned long long now) {
    const bool logon = verb == RunVerb::Logon;
    char account[128];
    char computer[128];
    char stamp[32] = "";
    platform::accountName(account, sizeof account);
    platform::computerName(computer, sizeof computer);
    text::appendUtcTime(stamp, sizeof stamp, now);
    logFact(log, kLogInfo, logon ? "quillmend-logon.exe% as % on %, check time %" : "quillmend-run.exe % as % on %, check time %",
            logon ? "" : kVerbs[static_cast<int>(verb)], account, computer, stamp);
}

Footing takeFooting(RunLog* log, bool machine, char* folder, platform::File* lock, unsigned waitMilliseconds) {
    if (!prepareLogFolder(log, machine ? LogScope::Machine : LogScope::User, folder)) return Footing::Unlocked;
    const Lock taken = takeLock(log, folder, lock, waitMilliseconds);
    if (taken == Lock::Held) return Footing::HeldElsewhere;
    if (taken != Lock::Taken) return Footing::Unlocked;
    openLog(log, folder);
    return Footing::Locked;
}

// The registry half: the reading, and only when a registration a run deletes
// remains, the plan carried out and the check again.
HalfCodes registryHalf(RunRecord* record, Footing footing, const char* folder, unsigned long long now) {
    HalfCodes half = {0, 0};
    half.before = half.code = inspectAndSay(record, CheckScope::Registry, now);
    // A feature update may have taken the logon component away: put back, its version as it was.
    char release[platform::kMaxPath];
    if (footing == Footing::Locked && !logonComponentPresent() && installedReleaseFolder(&record->install, release)) {
        registerLogonComponent(release, &record->log);
    }
    if (!planRegistryWork(record->findings.registry, &record->registry.plan)) return half;
    if (footing != Footing::Locked) {
        logFact(&record->log, kLogError, "backup: not written (no usable log folder); the registry was not changed");
        half.code = kRunNoBackup;
        return half;
    }
    if (carryOutRegistryPlan(&record->registry, &record->log, folder, now) == PlanOutcome::NoBackup) {
        half.code = kRunNoBackup;
        return half;
    }
    half.code = inspectAndSay(record, CheckScope::Registry, platform::currentTime());
    return half;
}

// The machine scope: the install or uninstall, if asked, then (but after an
// uninstall) the registry half.
HalfCodes machineHalf(RunRecord* record, RunVerb verb, Footing footing, const char* folder, unsigned long long now) {
    const bool install = verb == RunVerb::Install || verb == RunVerb::Rollback;
    if (verb == RunVerb::Registry) return registryHalf(record, footing, folder, now);
    HalfCodes half = {0, 0};
    if (footing != Footing::Locked) {
        // Two installs at once would take each other's folders away; a restore needs the backups' folder.
        logFact(&record->log, kLogError, "%: not run without the lock; nothing changed",
                install ? "install" : verb == RunVerb::Restore ? "restore" : "uninstall");
        half.before = half.code = install ? kRunInstallFailed : verb == RunVerb::Restore ? kRunNoBackup : 1;
        return half;
    }
    if (verb == RunVerb::Restore) {
        const Restore restored = restoreNewestBackup(&record->registry, &record->log, folder);
        half.before = half.code = restored == Restore::Restored ? 0 : restored == Restore::NoBackup ? kRunNoBackup : 1;
        return half;
    }
    if (!install) {
        half.before = half.code = uninstallRelease(&record->install, &record->log);
        return half;
    }
    const int installed = installRelease(&record->install, &record->log, verb == RunVerb::Rollback);
    if (installed != 0) {
        half.before = half.code = installed;
        return half;
    }
    return registryHalf(record, footing, folder, now);
}

// The user half: the stale copies the reading found, deleted as a silent run
// does, and the check again.
HalfCodes userHalf(RunRecord* record, unsigned long long now) {
    HalfCodes half = {0, 0};
    half.before = half.code = inspectAndSay(record, CheckScope::User, now);
    if (half.before != kCheckExtendDatRemains) return half;
    const UserFindings& user = record->findings.user;
    for (unsigned i = 0; i < kExtendDatFolderCount; ++i) {
        const CopyInspection& copy = user.copies[i];
        unsigned long error = 0;
        if (user.ages[i] != CopyAge::Stale) continue;
        if (!runDeletes(copy)) {
            logFact(&record->log, kLogWarning, "kept: % (delete it by hand)", copy.path);
        } else if (platform::deleteFile(copy.path, &error)) {
            logFact(&record->log, kLogInfo, "deleted: %", copy.path);
        } else {
            logFactWithError(&record->log, kLogWarning, "kept: % (deleting it failed: error %)", copy.path, error);
        }
    }
    half.code = inspectAndSay(record, CheckScope::User, platform::currentTime());
    return half;
}

// Work left at a logon: this program once more at the user's next logon,
// whatever Windows recorded of the component's version for this user.
void askAgainAtNextLogon(RunLog* log) {
    char command[platform::kMaxPath + 2] = "\"";
    unsigned long error = 0;
    char* own = command + 1;
    const bool named = platform::programFile(own) && text::append(command, sizeof command, "\"");
    if (named && platform::regSetRootValue(platform::RegRoot::User, kRunOnceKey, "Quillmend", platform::kRegSz, command,
                                           text::length(command) + 1, &error)) {
        logFact(log, kLogInfo, "logon: run again at this user's next logon");
    } else {
        logFactWithError(log, kLogWarning, "logon: % (error %)", "not set to run again at the next logon", error);
    }
}

// One scope's run: the folder and the lock, then the work, and the half's
// Event Log record; an uninstall, which takes the record's source away, leaves none.
int runScope(RunRecord* record, RunVerb verb) {
    const bool logon = verb == RunVerb::Logon;
    const bool machine = verb != RunVerb::User && !logon;
    RunLog* log = &record->log;
    startEventText(log);
    char folder[platform::kMaxPath];
    platform::File lock = nullptr;
    const Footing footing = takeFooting(log, machine, folder, &lock, logon ? 0 : kLockWaitMilliseconds);
    HalfCodes half = {kRunLockHeld, kRunLockHeld};
    if (footing == Footing::HeldElsewhere && logon) {
        // A logon waits for nobody: Active Setup holds the desktop back until the program ends.
        logFact(log, kLogWarning, "lock: held by another run; nothing done at this logon");
        half = {kCheckCannotTell, kCheckCannotTell};
    } else if (footing == Footing::HeldElsewhere) {
        char seconds[12];
        logFact(log, kLogError, "lock: held by another run for more than % seconds",
                text::numberText(kLockWaitMilliseconds / 1000, seconds));
    } else {
        const unsigned long long now = platform::currentTime();
        sayHeader(log, verb, now);
        half = machine ? machineHalf(record, verb, footing, folder, now) : userHalf(record, now);
    }
    char number[12];
    logFact(log, half.code == 0 ? kLogInfo : kLogError, "exit code %", text::numberText(static_cast<unsigned>(half.code), number));
    if (logon && half.code != 0) askAgainAtNextLogon(log);
    if (verb != RunVerb::Uninstall && verb != RunVerb::Restore) {
        reportEventRecord(log, machine ? RunHalf::Registry : RunHalf::User, half.before, half.code);
    }
    closeLog(log);
    if (lock != nullptr) platform::fileClose(lock);
    return half.code;
}

}  // namespace

RunVerb parseRunVerb(const char* arguments) {
    int verb = 0;
    while (verb < static_cast<int>(RunVerb::Invalid) && !argumentIs(arguments, kVerbs[verb])) ++verb;
    return static_cast<RunVerb>(verb);
}

int runFleet(const char* arguments, RunRecord* record) {
    const RunVerb verb = parseRunVerb(arguments);
    if (verb == RunVerb::Invalid) {
        platform::writeError(kUsage);
        return kCheckUsage;
    }
    if (verb != RunVerb::Both) return runScope(record, verb);
    // By hand: both halves. A half that could not look or act speaks first,
    // the registry's before the user's; otherwise the check's bits combine.
    const int registry = runScope(record, RunVerb::Registry);
    const int user = runScope(record, RunVerb::User);
    if (registry > kCheckCannotTell) return registry;
    if (user > kCheckCannotTell) return user;
    if (registry == kCheckCannotTell || user == kCheckCannotTell) return kCheckCannotTell;
    return registry | user;
}

int runLogon(RunRecord* record) { return runScope(record, RunVerb::Logon); }
