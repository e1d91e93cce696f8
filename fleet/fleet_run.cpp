// quillmend-run.exe's verbs: each half under its lock, with its log and record.
#include "fleet/fleet_run.h"

#include "app/check.h"
#include "app/command_line.h"
#include "app/run.h"
#include "fleet/event_record.h"
#include "fleet/install.h"
#include "fleet/lock.h"
#include "fleet/registry_work.h"
#include "fleet/run_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmend-run.exe [/registry | /user | /install | /uninstall | /rollback] (none: /registry, then /user)\r\n";

// The verbs as typed, in RunVerb's order: "" is no argument.
const char* const kVerbs[] = {"", "/registry", "/user", "/install", "/uninstall", "/rollback"};

// The machine as the check reads it, said as the check says it; returns its exit code.
// One reading at a time; two copies' paths, kept off the stack.
CheckFindings findings{};
int inspectAndSay(CheckScope scope, unsigned long long now) {
    inspectMachine(scope, now, &findings);
    sayFindings(findings, sayCheckLine);
    return findings.code;
}

// The header: what runs, as whom, where, and the time the check will give.
void sayHeader(RunVerb verb, unsigned long long now) {
    char account[128];
    char computer[128];
    char stamp[32] = "";
    platform::accountName(account, sizeof account);
    platform::computerName(computer, sizeof computer);
    text::appendUtcTime(stamp, sizeof stamp, now);
    say(kLogInfo, "quillmend-run.exe % as % on %, check time %", kVerbs[static_cast<int>(verb)], account, computer, stamp);
}

// The registry half after the install, if any: the reading, and only when a
// registration a run deletes remains, the plan carried out and the check again.
// before: the reading's exit code.
int registryHalf(bool logs, const char* folder, unsigned long long now, int* before) {
    RegistryPlan plan;
    *before = inspectAndSay(CheckScope::Registry, now);
    if (!planRegistryWork(findings.registry, &plan)) return *before;
    if (!logs) {
        say(kLogError, "backup: not written (no usable log folder); the registry was not changed");
        return kRunNoBackup;
    }
    if (!carryOutRegistryPlan(plan, folder, now)) return kRunNoBackup;
    return inspectAndSay(CheckScope::Registry, platform::currentTime());
}

// The user half: the stale copies the reading found, deleted as a silent run
// does, and the check again.
int userHalf(unsigned long long now, int* before) {
    *before = inspectAndSay(CheckScope::User, now);
    if (*before != kCheckExtendDatRemains) return *before;
    for (unsigned i = 0; i < kExtendDatFolderCount; ++i) {
        const CopyInspection& copy = findings.user.copies[i];
        unsigned long error = 0;
        if (findings.user.ages[i] != CopyAge::Stale) continue;
        if (!runDeletes(copy)) {
            say(kLogWarning, "kept: % (delete it by hand)", copy.path);
        } else if (platform::removeFile(copy.path, &error)) {
            say(kLogInfo, "deleted: %", copy.path);
        } else {
            sayError(kLogWarning, "kept: % (deleting it failed: error %)", copy.path, error);
        }
    }
    return inspectAndSay(CheckScope::User, platform::currentTime());
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
    bool restart = false;
    if (taken == Lock::Held) {
        char seconds[12];
        say(kLogError, "lock: held by another run for more than % seconds",
            text::numberText(kLockWaitMilliseconds / 1000, seconds));
    } else {
        if (logs) openLog(folder);
        const unsigned long long now = platform::currentTime();
        sayHeader(verb, now);
        code = 0;
        const bool install = verb == RunVerb::Install || verb == RunVerb::Rollback;
        if ((install || verb == RunVerb::Uninstall) && !logs) {
            // Two installs at once would delete each other's .new and .old files.
            say(kLogError, "%: not run without the lock; nothing changed", install ? "install" : "uninstall");
            code = install ? kRunInstallFailed : 1;
        } else if (verb == RunVerb::Uninstall) {
            code = uninstallRelease();
        } else if (install) {
            code = installRelease(verb == RunVerb::Rollback);
        }
        before = code;
        // The registry half, also after an install that succeeded; its code speaks before a restart's.
        restart = code == kRunRestartNeeded;
        if (machine && verb != RunVerb::Uninstall && (code == 0 || restart)) {
            code = registryHalf(logs, folder, now, &before);
        } else if (!machine) {
            code = userHalf(now, &before);
        }
    }
    const int exitCode = restart && code == 0 ? kRunRestartNeeded : code;
    char number[12];
    say(exitCode == 0 ? kLogInfo : exitCode == kRunRestartNeeded ? kLogWarning : kLogError, "exit code %",
        text::numberText(static_cast<unsigned>(exitCode), number));
    if (verb != RunVerb::Uninstall) reportRecord(machine ? kEventRegistryHalf : kEventUserHalf, before, code);
    closeLog();
    if (lock != nullptr) platform::fileClose(lock);
    return exitCode;
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
