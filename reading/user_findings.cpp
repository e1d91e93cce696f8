// When a copy of Extend.dat is stale, and this user's copies read.
#include "reading/user_findings.h"

#include "reading/run_types.h"

bool changeAheadOfClock(RegistrationsChange change, unsigned long long changedAt, unsigned long long now) {
    return change == RegistrationsChange::Known && changedAt > now && changedAt - now > kClockTolerance;
}

CopyAge copyAge(RegistrationsChange change, unsigned long long changedAt, unsigned long long now,
                unsigned long long created, unsigned long long written) {
    if (change == RegistrationsChange::NoKey) return CopyAge::Current;
    if (change == RegistrationsChange::Unknown || changeAheadOfClock(change, changedAt, now)) {
        return CopyAge::CannotTell;
    }
    return created < changedAt || written < changedAt ? CopyAge::Stale : CopyAge::Current;
}

void inspectUserFiles(unsigned long long now, UserFindings* findings) {
    // Field by field: a copy of the whole would put two paths' worth of zeros on the stack.
    findings->account = platform::processAccount();
    findings->change = RegistrationsChange::Unknown;
    findings->changedAt = 0;
    findings->changeAhead = false;
    findings->code = 0;
    for (unsigned i = 0; i < kExtendDatFolderCount; ++i) {
        findings->copies[i].folderNamed = false;
        findings->ages[i] = CopyAge::Current;
    }
    if (findings->account != platform::Account::User) {
        findings->code = kCheckCannotTell;
        return;
    }
    findings->change = registrationsLastChanged(&findings->changedAt);
    findings->changeAhead = changeAheadOfClock(findings->change, findings->changedAt, now);
    if (findings->changeAhead) findings->code |= kCheckCannotTell;
    for (unsigned i = 0; i < kExtendDatFolderCount; ++i) {
        CopyInspection& copy = findings->copies[i];
        inspectExtendDat(kExtendDatFolders[i], &copy);
        if (!copy.folderNamed) continue;
        if (lookupFailed(copy.found)) {
            findings->code |= kCheckCannotTell;
            continue;
        }
        if (copy.found.kind == platform::PathKind::Nothing) continue;
        findings->ages[i] = copyAge(findings->change, findings->changedAt, now, copy.found.created, copy.found.written);
        if (findings->ages[i] == CopyAge::Stale) findings->code |= kCheckExtendDatRemains;
        if (findings->ages[i] == CopyAge::CannotTell) findings->code |= kCheckCannotTell;
    }
}
