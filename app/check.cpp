#include "app/check.h"

#include "app/command_line.h"
#include "app/run.h"
#include "datafiles/extend_dat.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "registration/detect_product.h"
#include "registration/extension_entries.h"

#ifdef QUILLMEND_FLEET_RUN
void (*checkLineHook)(const char* line, bool utf8, int verdict) = nullptr;
CopyInspection checkStaleCopies[sizeof kExtendDatFolders / sizeof kExtendDatFolders[0]];
int checkStaleCount = 0;
#endif

namespace {

#ifdef QUILLMEND_FLEET_RUN
bool lineInUtf8 = false;  // the next line holds a path in UTF-8
// The next line is the verdict: its exit code plus one (zero-initialized,
// so that it costs the program no initialized data).
int lineVerdict = 0;
#endif

// One fact: the parts in order, then a line break. Every part is bounded (a
// path holds fewer than kWidePathBytes bytes), so the line always fits.
void printLine(const char* first, const char* second = "", const char* third = "", const char* fourth = "",
               const char* fifth = "", const char* sixth = "", const char* seventh = "") {
    char line[platform::kWidePathBytes + 512];
    line[0] = '\0';
    const char* const parts[] = {first, second, third, fourth, fifth, sixth, seventh, "\r\n"};
    for (const char* part : parts) text::append(line, sizeof line, part);
#ifdef QUILLMEND_FLEET_RUN
    if (checkLineHook != nullptr) checkLineHook(line, lineInUtf8, lineVerdict - 1);
    lineInUtf8 = false;
    lineVerdict = 0;
#endif
    platform::writeOutput(line);
}

// The registry half: 0, kCheckRegistryRemains or kCheckCannotTell.
int checkRegistry() {
    ProductRelease release;
    const ProductState product = inspectProduct(&release);
    if (product == ProductState::NoValue) {
        printLine("product: none (no readable \"", kProductVersionValue, "\" value of at most 4 bytes)");
        return 0;
    }
    if (product != ProductState::Found) {
        const bool missing = product == ProductState::NoKey;
        printLine(missing ? "product: none (no key HKLM\\" : "product: cannot tell (this cannot read HKLM\\",
                  kProductKeyPath, ")");
        return missing ? 0 : kCheckCannotTell;
    }
    char numbers[40] = "release ";
    text::appendNumber(numbers, sizeof numbers, release.releaseCode);
    text::append(numbers, sizeof numbers, ", build ");
    text::appendNumber(numbers, sizeof numbers, release.buildNumber);
    printLine("product: ", numbers);

    EntriesInspection inspection;
    const platform::KeyOpen opened = inspectExtensionEntries(release, &inspection);
    if (opened != platform::KeyOpen::Opened) {
        const bool missing = opened == platform::KeyOpen::Missing;
        printLine(missing ? "extensions key: none (a run changes nothing) at HKLM\\"
                          : "extensions key: cannot tell (this cannot read HKLM\\",
                  kExtensionsKeyPath, missing ? "" : ")");
        return missing ? 0 : kCheckCannotTell;
    }
    printLine("extensions key: present and readable");

    const int ceiling = entryCeiling(release);
    if (inspection.active != kNoCeiling) {
        printLine("keeps: ", entryName(inspection.active));
    } else {
        const bool owns = ceiling != kNoCeiling;
        printLine("keeps: none (", owns ? entryName(ceiling) : "this release owns no registration",
                  owns ? " and every older KestrinCorp entry are absent)" : ")");
    }
    for (int rank = 0; rank < kEntryCount; ++rank) {
        if (inspection.wouldDelete[rank]) printLine("would delete: ", entryName(rank));
    }
    const bool remains = registryWorkRemains(inspection);
    if (!remains) printLine("would delete: none");
    // What a run writes is shown, never counted as work: Outlook deletes it once it has reloaded.
    const SetupExtension setup = inspection.setupExtension;
    printLine("setup extension: ", kSetupExtensionValue,
              setup == SetupExtension::Current  ? " holds what a run writes"
              : setup == SetupExtension::Absent ? " is absent (Outlook removes it once it has reloaded its extensions)"
                                                : " holds other data");
    return remains ? kCheckRegistryRemains : 0;
}

// A time as the check prints it; stamp holds 32 bytes.
const char* utcText(unsigned long long time, char* stamp) {
    stamp[0] = '\0';
    text::appendUtcTime(stamp, 32, time);
    return stamp;
}

// One copy's line; returns its bits of the exit code.
int reportCopy(const char* which, const CopyInspection& copy, RegistrationsChange change, unsigned long long changedAt,
               unsigned long long now) {
#ifdef QUILLMEND_FLEET_RUN
    lineInUtf8 = copy.pathInUtf8;  // each way out prints one line, with this copy's path or none
#endif
    if (!copy.folderNamed) {
        printLine(which, "none (the system names no such folder)");
        return 0;
    }
    const char* at = copy.pathInUtf8 ? " at (UTF-8) " : " at ";
    const platform::PathFound& found = copy.found;
    if (lookupFailed(found)) {
        char error[16] = "";
        text::appendNumber(error, sizeof error, static_cast<unsigned>(found.error));
        printLine(which, "cannot tell: looking for it failed with error ", error, at, copy.path);
        return kCheckCannotTell;
    }
    if (found.kind == platform::PathKind::Nothing) {
        printLine(which, "none", at, copy.path);
        return 0;
    }
    const char* kind = found.kind == platform::PathKind::Directory ? " (a folder of that name)"
                       : found.readOnly                            ? " (a read-only file)"
                                                                   : " (a file)";
    const char* reach = copy.reach == CopyReach::Reachable ? ""
                        : copy.reach == CopyReach::PathTooLong
                            ? ", out of a run's reach (the folder's path is too long)"
                            : ", out of a run's reach (the folder's name holds characters outside the ANSI code page)";
    const char* state = "present";
    const char* action = changeAheadOfClock(change, changedAt, now)
                             ? ", cannot tell whether stale (the Extensions key's last change is ahead of this "
                               "machine's clock),"
                             : ", cannot tell whether stale (the Extensions key's last change cannot be read),";
    int result = kCheckCannotTell;
    switch (copyAge(change, changedAt, now, found.created, found.written)) {
        case CopyAge::Stale:
#ifdef QUILLMEND_FLEET_RUN
            checkStaleCopies[checkStaleCount++] = copy;
#endif
            state = "present and stale";
            action = runDeletes(copy) ? ": a run deletes it unless it is in use," : ": delete it by hand,";
            result = kCheckExtendDatRemains;
            break;
        case CopyAge::Current:
            state = change == RegistrationsChange::NoKey ? "present, no registrations to rebuild it from"
                                                         : "present, rebuilt since the registrations last changed";
            action = ": nothing to do,";
            result = 0;
            break;
        case CopyAge::CannotTell:
            break;
    }
    printLine(which, state, kind, reach, action, at, copy.path);
    return result;
}

// This user's half: 0, kCheckExtendDatRemains or kCheckCannotTell.
int checkExtensionDataFiles(unsigned long long now) {
    const platform::Account account = platform::processAccount();
    if (account != platform::Account::User) {
        printLine(account == platform::Account::Service
                      ? "user: cannot tell: this runs as a service account (SYSTEM, LOCAL SERVICE or NETWORK SERVICE), "
                        "whose profile says nothing about any user's Extend.dat; run the check in the user's context"
                      : "user: cannot tell: this cannot read whose account it runs as; run the check in the user's "
                        "context");
        return kCheckCannotTell;
    }
    unsigned long long changedAt = 0;
    const RegistrationsChange change = registrationsLastChanged(&changedAt);
    int result = 0;
#ifdef QUILLMEND_FLEET_RUN
    checkStaleCount = 0;
#endif
    if (change == RegistrationsChange::Known) {
        char stamp[32];
        const bool ahead = changeAheadOfClock(change, changedAt, now);
        printLine("registrations last changed: ", utcText(changedAt, stamp),
                  ahead ? ", cannot tell: more than 5 minutes ahead of this machine's clock, so every copy rebuilt "
                          "since would look stale"
                        : "");
        if (ahead) result |= kCheckCannotTell;
    } else {
        printLine("registrations last changed: ", change == RegistrationsChange::NoKey
                                                      ? "never (no Extensions key)"
                                                      : "unknown (the Extensions key or its time cannot be read)");
    }
    for (const int folder : kExtendDatFolders) {
        CopyInspection copy;
        inspectExtendDat(folder, &copy);
        result |= reportCopy(folder == platform::kRoamingAppData ? "roaming Extend.dat: " : "local Extend.dat: ", copy,
                             change, changedAt, now);
    }
    return result;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

// The count bytes at s spell word, letters in any case.
bool spells(const char* s, unsigned count, const char* word) {
    if (count != text::length(word)) return false;
    for (unsigned i = 0; i < count; ++i) {
        const char c = s[i] >= 'A' && s[i] <= 'Z' ? static_cast<char>(s[i] - 'A' + 'a') : s[i];
        if (c != word[i]) return false;
    }
    return true;
}

// The argument without the blanks around it, as administrators type it:
// "/Registry >nul" hands over "/Registry ". count receives its length.
__attribute__((always_inline)) inline const char* trimmed(const char* arguments, unsigned* count) {
    while (blank(*arguments)) ++arguments;
    *count = text::length(arguments);
    while (*count > 0 && blank(arguments[*count - 1])) --*count;
    return arguments;
}

// Both halves, or one, and the verdict; returns the exit code.
__attribute__((always_inline)) inline int checkScope(CheckScope scope, unsigned long long now) {
    // The time it looked, so that a log can date what it says.
    char stamp[32];
    printLine("checked: ", utcText(now, stamp));
    int code = 0;
    if (scope != CheckScope::User) code |= checkRegistry();
    if (scope != CheckScope::Registry) code |= checkExtensionDataFiles(now);

    static const char* const kVerdicts[] = {
        "nothing left to clean (exit code 0)", "registry work remains (exit code 1)",
        "a stale Extend.dat remains (exit code 2)", "registry work and a stale Extend.dat remain (exit code 3)",
        "cannot tell what is left: a line above says why (exit code 4)"};
    static_assert(kCheckCannotTell == 4, "the verdicts follow the exit codes");
    if ((code & kCheckCannotTell) != 0) code = kCheckCannotTell;
#ifdef QUILLMEND_FLEET_RUN
    lineVerdict = code + 1;
#endif
    printLine("verdict: ", kVerdicts[code]);
    return code;
}

}  // namespace

#ifdef QUILLMEND_FLEET_RUN
bool argumentIs(const char* arguments, const char* word) {
    unsigned count = 0;
    arguments = trimmed(arguments, &count);
    return spells(arguments, count, word);
}

int checkNow(CheckScope scope, unsigned long long now) { return checkScope(scope, now); }
#endif

CheckScope parseCheckScope(const char* arguments) {
    unsigned count = 0;
    arguments = trimmed(arguments, &count);
    if (count == 0) return CheckScope::Both;
    if (spells(arguments, count, "/registry")) return CheckScope::Registry;
    if (spells(arguments, count, "/user")) return CheckScope::User;
    return CheckScope::Invalid;
}

int runCheck(const char* arguments) {
    const CheckScope scope = parseCheckScope(arguments);
    if (scope == CheckScope::Invalid) {
        platform::writeError("usage: quillmend-check.exe [/registry | /user] (no argument: both)\r\n");
        return kCheckUsage;
    }
    return checkScope(scope, platform::currentTime());
}

int startCheck() {
    guardDllSearch();
    return runCheck(argumentString(platform::processCommandLine()));
}
