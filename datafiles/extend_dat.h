// Removal of the mail client's Extend.dat from the user's roaming and local
// application-data folders.
#pragma once

#include "app/run_types.h"
#include "platform/platform.h"

inline constexpr char kExtendDatSuffix[] = "\\Microsoft\\Outlook\\Extend.dat";
constexpr const char* kDeletePromptFormat =
    "A copy of Extend.dat was found at the following location. Delete this file?\r\n %s";

// The longest path the prompt shows whole: the prompt buffer holds
// kMaxPath bytes, and the fixed text takes 78 of them besides the NUL.
constexpr unsigned kLongestPromptPath = 181;

// The folders a run looks in, in order: roaming, then local application data.
constexpr int kExtendDatFolders[] = {platform::kRoamingAppData, platform::kLocalAppData};
constexpr unsigned kExtendDatFolderCount = sizeof kExtendDatFolders / sizeof kExtendDatFolders[0];

// Where a run looks for Extend.dat in one folder. path holds kMaxPath bytes.
enum class CopyPath {
    Named,              // path holds the full path
    FolderUnavailable,  // the system names no such folder
    TooLong,            // the folder path leaves no room for the suffix
};
CopyPath extendDatPath(int folder, char* path);

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

// Whether a run's ANSI calls can name a copy.
enum class CopyReach {
    Reachable,
    PathTooLong,          // folder and suffix pass MAX_PATH
    NameOutsideCodePage,  // the system code page cannot spell the folder
};

// One folder's Extend.dat as the check finds it: through the run's own path
// first, then through the wide calls for what that path cannot name.
struct CopyInspection {
    bool folderNamed;  // the system names the folder; path then says where a copy would be
    platform::PathFound found;
    CopyReach reach;
    bool pathInUtf8;  // the code page cannot spell path: it is given in UTF-8
    char path[platform::kWidePathBytes];
};
void inspectExtendDat(int folder, CopyInspection* copy);

// A search that found nothing for another reason than "no such file" or "no
// such path" (access denied, a share offline, a device not ready) says
// nothing about whether a copy is there.
bool lookupFailed(const platform::PathFound& found);

// A silent run deletes this copy: a file it can name, without the read-only
// attribute (DeleteFileA refuses those); one in use may still refuse.
bool runDeletes(const CopyInspection& copy);

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

// Looks for Extend.dat in the roaming, then the local application-data
// folder. Interactive: asks before deleting each copy. Silent: deletes each
// copy without asking. Failures pass in silence.
void cleanExtensionDataFiles(RunMode mode);
