// Removal of the mail client's Extend.dat from the user's roaming and local
// application-data folders.
#pragma once

#include "app/run_types.h"
#include "platform/platform.h"

constexpr const char* kExtendDatSuffix = "\\Microsoft\\Outlook\\Extend.dat";
constexpr const char* kDeletePromptFormat =
    "A copy of Extend.dat was found at the following location. Delete this file?\r\n %s";

// The longest path the prompt shows whole: the prompt buffer holds
// kMaxPath bytes, and the fixed text takes 78 of them besides the NUL.
constexpr unsigned kLongestPromptPath = 181;

// The folders a run looks in, in order: roaming, then local application data.
constexpr int kExtendDatFolders[] = {platform::kRoamingAppData, platform::kLocalAppData};

// Where a run looks for Extend.dat in one folder. path holds kMaxPath bytes.
enum class CopyPath {
    Named,              // path holds the full path
    FolderUnavailable,  // the system names no such folder
    TooLong,            // the folder path leaves no room for the suffix
};
CopyPath extendDatPath(int folder, char* path);

// Extend.dat is Outlook's cache of the registrations, rebuilt at its next
// start: a copy needs deleting only when it was written before the
// registrations last changed. Without the Extensions key there is nothing to
// rebuild from, so no copy is stale; a key time that cannot be read never
// counts as nothing to do.
enum class CopyAge { Stale, Current, CannotTell };
CopyAge copyAge(RegistrationsChange change, unsigned long long changedAt, unsigned long long copyWritten);

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
    platform::PathKind kind;
    unsigned long long written;
    CopyReach reach;
    bool pathInUtf8;  // the code page cannot spell path: it is given in UTF-8
    char path[platform::kWidePathBytes];
};
void inspectExtendDat(int folder, CopyInspection* copy);

// Looks for Extend.dat in the roaming, then the local application-data
// folder. Interactive: asks before deleting each copy. Silent: deletes each
// copy without asking. Failures pass in silence.
void cleanExtensionDataFiles(RunMode mode);
