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

// Looks for Extend.dat in the roaming, then the local application-data
// folder. Interactive: asks before deleting each copy. Silent: deletes each
// copy without asking. Failures pass in silence.
void cleanExtensionDataFiles(RunMode mode);
