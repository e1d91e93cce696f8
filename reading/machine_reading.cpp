// The machine read once, and the check's lines for what was read.
#include "reading/machine_reading.h"

#include "platform/platform.h"
#include "platform/text.h"

namespace {

// One fact: the parts in order, then a line break. Every part is bounded (a
// path holds fewer than kWidePathBytes bytes), so the line always fits.
void writeLine(CheckLineWriter out, const char* first, const char* second = "", const char* third = "",
         const char* fourth = "", const char* fifth = "", const char* sixth = "", const char* seventh = "",
         bool utf8 = false, int verdict = -1) {
    char line[platform::kWidePathBytes + 512];
    line[0] = '\0';
    const char* const parts[] = {first, second, third, fourth, fifth, sixth, seventh, "\r\n"};
    for (const char* part : parts) text::append(line, sizeof line, part);
    out.write(out.context, line, utf8, verdict);
}

void writeRegistryLines(const RegistryFindings& found, CheckLineWriter out) {
    if (found.product == ProductState::NoValue) {
        writeLine(out, "product: none (no readable \"", kProductVersionValue, "\" value of at most 4 bytes)");
        return;
    }
    if (found.product != ProductState::Found) {
        const bool missing = found.product == ProductState::NoKey;
        writeLine(out, missing ? "product: none (no key HKLM\\" : "product: cannot tell (this cannot read HKLM\\", kProductKeyPath,
            ")");
        return;
    }
    char numbers[40] = "release ";
    text::appendNumber(numbers, sizeof numbers, found.release.releaseCode);
    text::append(numbers, sizeof numbers, ", build ");
    text::appendNumber(numbers, sizeof numbers, found.release.buildNumber);
    writeLine(out, "product: ", numbers);

    if (found.extensionsKey != platform::KeyOpen::Opened) {
        const bool missing = found.extensionsKey == platform::KeyOpen::Missing;
        writeLine(out, missing ? "extensions key: none (a run changes nothing) at HKLM\\"
                    : "extensions key: cannot tell (this cannot read HKLM\\",
            kExtensionsKeyPath, missing ? "" : ")");
        return;
    }
    writeLine(out, "extensions key: present and readable");

    const EntriesInspection& entries = found.entries;
    const int ceiling = entryCeiling(found.release);
    if (entries.active != kNoCeiling) {
        writeLine(out, "keeps: ", entryName(entries.active));
    } else {
        const bool owns = ceiling != kNoCeiling;
        writeLine(out, "keeps: none (", owns ? entryName(ceiling) : "this release owns no registration",
            owns ? " and every older KestrinCorp entry are absent)" : ")");
    }
    for (int rank = 0; rank < kEntryCount; ++rank) {
        if (entries.wouldDelete[rank]) writeLine(out, "would delete: ", entryName(rank));
    }
    if (found.code != kCheckRegistryRemains) writeLine(out, "would delete: none");
    // What a run writes is shown, never counted as work: Outlook deletes it once it has reloaded.
    const SetupExtension setup = entries.setupExtension;
    writeLine(out, "setup extension: ", kSetupExtensionValue,
        setup == SetupExtension::Current  ? " holds what a run writes"
        : setup == SetupExtension::Absent ? " is absent (Outlook removes it once it has reloaded its extensions)"
                                          : " holds other data");
}

// One copy's line.
void writeCopyLine(const char* which, const CopyInspection& copy, CopyAge age, const UserFindings& user, CheckLineWriter out) {
    const bool utf8 = copy.pathInUtf8;
    if (!copy.folderNamed) {
        writeLine(out, which, "none (the system names no such folder)");
        return;
    }
    const char* at = utf8 ? " at (UTF-8) " : " at ";
    const platform::PathFound& found = copy.found;
    if (lookupFailed(found)) {
        char error[16] = "";
        text::appendNumber(error, sizeof error, static_cast<unsigned>(found.error));
        writeLine(out, which, "cannot tell: looking for it failed with error ", error, at, copy.path, "", "", utf8);
        return;
    }
    if (found.kind == platform::PathKind::Nothing) {
        writeLine(out, which, "none", at, copy.path, "", "", "", utf8);
        return;
    }
    const char* kind = found.kind == platform::PathKind::Directory ? " (a folder of that name)"
                       : found.readOnly                            ? " (a read-only file)"
                                                                   : " (a file)";
    const char* reach = copy.reach == CopyReach::Reachable ? ""
                        : copy.reach == CopyReach::PathTooLong
                            ? ", out of a run's reach (the folder's path is too long)"
                            : ", out of a run's reach (the folder's name holds characters outside the ANSI code page)";
    const char* state = "present";
    const char* action = user.changeAhead
                             ? ", cannot tell whether stale (the Extensions key's last change is ahead of this "
                               "machine's clock),"
                             : ", cannot tell whether stale (the Extensions key's last change cannot be read),";
    if (age == CopyAge::Stale) {
        state = "present and stale";
        action = runDeletes(copy) ? ": a run deletes it unless it is in use," : ": delete it by hand,";
    } else if (age == CopyAge::Current) {
        state = user.change == RegistrationsChange::NoKey ? "present, no registrations to rebuild it from"
                                                          : "present, rebuilt since the registrations last changed";
        action = ": nothing to do,";
    }
    writeLine(out, which, state, kind, reach, action, at, copy.path, utf8);
}

void writeUserLines(const UserFindings& user, CheckLineWriter out) {
    if (user.account != platform::Account::User) {
        writeLine(out, user.account == platform::Account::Service
                ? "user: cannot tell: this runs as a service account (SYSTEM, LOCAL SERVICE or NETWORK SERVICE), "
                  "whose profile says nothing about any user's Extend.dat; run the check in the user's context"
                : "user: cannot tell: this cannot read whose account it runs as; run the check in the user's "
                  "context");
        return;
    }
    if (user.change == RegistrationsChange::Known) {
        char stamp[32] = "";
        text::appendUtcTime(stamp, sizeof stamp, user.changedAt);
        writeLine(out, "registrations last changed: ", stamp,
            user.changeAhead ? ", cannot tell: more than 5 minutes ahead of this machine's clock, so every copy "
                               "rebuilt since would look stale"
                             : "");
    } else {
        writeLine(out, "registrations last changed: ", user.change == RegistrationsChange::NoKey
                                                ? "never (no Extensions key)"
                                                : "unknown (the Extensions key or its time cannot be read)");
    }
    for (unsigned i = 0; i < kExtendDatFolderCount; ++i) {
        writeCopyLine(kExtendDatFolders[i] == platform::kRoamingAppData ? "roaming Extend.dat: " : "local Extend.dat: ",
                user.copies[i], user.ages[i], user, out);
    }
}

// The time it looked, so that a log can date what it says.
void writeCheckedLine(const CheckFindings& findings, CheckLineWriter out) {
    char stamp[32] = "";
    text::appendUtcTime(stamp, sizeof stamp, findings.checkedAt);
    writeLine(out, "checked: ", stamp);
}

void writeVerdictLine(const CheckFindings& findings, CheckLineWriter out) {
    static const char* const kVerdicts[] = {
        "nothing left to clean (exit code 0)", "registry work remains (exit code 1)",
        "a stale Extend.dat remains (exit code 2)", "registry work and a stale Extend.dat remain (exit code 3)",
        "cannot tell what is left: a line above says why (exit code 4)"};
    static_assert(kCheckCannotTell == 4, "the verdicts follow the exit codes");
    writeLine(out, "verdict: ", kVerdicts[findings.code], "", "", "", "", "", false, findings.code);
}

}  // namespace

void inspectMachine(CheckScope scope, unsigned long long now, CheckFindings* findings) {
    if (scope == CheckScope::User) {
        inspectUserHalf(now, findings);
        return;
    }
    findings->scope = scope;
    findings->checkedAt = now;
    inspectRegistry(&findings->registry);
    int code = findings->registry.code;
    if (scope != CheckScope::Registry) {
        inspectUserFiles(now, &findings->user);
        code |= findings->user.code;
    }
    findings->code = (code & kCheckCannotTell) != 0 ? kCheckCannotTell : code;
}

void inspectUserHalf(unsigned long long now, CheckFindings* findings) {
    findings->scope = CheckScope::User;
    findings->checkedAt = now;
    inspectUserFiles(now, &findings->user);
    // A copy stale and one it cannot tell about: it cannot tell, as for both halves.
    findings->code = (findings->user.code & kCheckCannotTell) != 0 ? kCheckCannotTell : findings->user.code;
}

void writeCheckLines(const CheckFindings& findings, CheckLineWriter out) {
    if (findings.scope == CheckScope::User) {
        writeUserHalfLines(findings, out);
        return;
    }
    writeCheckedLine(findings, out);
    writeRegistryLines(findings.registry, out);
    if (findings.scope != CheckScope::Registry) writeUserLines(findings.user, out);
    writeVerdictLine(findings, out);
}

void writeUserHalfLines(const CheckFindings& findings, CheckLineWriter out) {
    writeCheckedLine(findings, out);
    writeUserLines(findings.user, out);
    writeVerdictLine(findings, out);
}
