// This user's Extend.dat half as the check and the fleet run read it, changing nothing.
#pragma once

#include "datafiles/extend_dat.h"
#include "platform/platform.h"
#include "registration/extension_entries.h"

// Extend.dat is Outlook's cache of the registrations, rebuilt at its next
// start once deleted: a copy needs deleting when it was made before the
// registrations last changed. Outlook also updates a copy in place (it adds
// what it finds and drops nothing) and may write it when it exits, so a late
// write alone does not make a copy current: it must have been created at or
// after the change too. Without the Extensions key there is nothing to
// rebuild from, so no copy is stale; a key time that cannot be read, or that
// lies ahead of the machine's clock, never counts as nothing to do.
enum class CopyAge { Stale, Current, CannotTell };
CopyAge copyAge(RegistrationsChange change, unsigned long long changedAt, unsigned long long now,
                unsigned long long created, unsigned long long written);

// A key time this far ahead of the clock (five minutes, in FILETIME units)
// would make every copy rebuilt since look stale until the clock catches up.
constexpr unsigned long long kClockTolerance = 5ull * 60 * 10000000;
bool changeAheadOfClock(RegistrationsChange change, unsigned long long changedAt, unsigned long long now);

// This user's half as the check and the fleet run read it, changing nothing:
// whose account runs, when the registrations last changed, each copy and its
// age (Current for a copy that is not there). Plain data, every field set
// by inspectUserFiles.
struct UserFindings {
    platform::Account account;
    RegistrationsChange change;
    unsigned long long changedAt;
    bool changeAhead;  // more than kClockTolerance ahead of now
    CopyInspection copies[kExtendDatFolderCount];  // in kExtendDatFolders' order
    CopyAge ages[kExtendDatFolderCount];
    int code;  // kCheckExtendDatRemains and kCheckCannotTell, or 0
};
// Only a person's account says anything of a user's copies: for a service
// account or one that cannot be read, nothing else is looked at.
void inspectUserFiles(unsigned long long now, UserFindings* findings);
