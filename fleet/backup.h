// The .reg backup a registry run writes before it changes anything: every
// value its plan deletes or overwrites, with its exact type and data, so that
// `reg import FILE` (with /reg:32 for the 32-bit program on 64-bit Windows)
// puts them back as they were.
#pragma once

#include "platform/platform.h"
#include "registration/extension_entries.h"

struct RegistryPlan;

// The longest value data a backup holds; a longer value cannot be backed up.
constexpr unsigned long kBackupValueBytes = 2048;

// The file's text: its header, each value as regedit writes it, a blank line.
inline constexpr char kBackupHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n; Quillmend backup ";
constexpr unsigned kBackupStampBytes = 32;  // the time, as appendUtcTime writes it
inline constexpr char kBackupRestore32[] = "; restore: reg import FILE /reg:32\r\n";
inline constexpr char kBackupRestore[] = "; restore: reg import FILE\r\n";
inline constexpr char kBackupKeyStart[] = "[HKEY_LOCAL_MACHINE\\";
inline constexpr char kBackupKeyEnd[] = "]\r\n";

constexpr unsigned nameLength(const char* name) { return *name == '\0' ? 0 : 1 + nameLength(name + 1); }
// The longest of the registrations from the given one on, and the setup value.
constexpr unsigned longestValueName(unsigned from = 0) {
    const unsigned rest = from == kEntryCount ? nameLength(kSetupExtensionValue) : longestValueName(from + 1);
    return from == kEntryCount || rest > nameLength(kEntryNames[from]) ? rest : nameLength(kEntryNames[from]);
}
// One value's line at most: "name"=hex(ffffffff): and its bytes as two hex
// digits each, a comma before every byte but the first, and a line
// continuation (",\" CR LF and two blanks) before every sixteenth, then CR LF.
constexpr unsigned valueTextBytes(unsigned nameBytes, unsigned long dataBytes) {
    const unsigned long bytes = dataBytes == 0 ? 0 : 2 + (dataBytes - 1) * 3 + (dataBytes - 1) / 16 * 5;
    return static_cast<unsigned>(sizeof "\"\"=hex(ffffffff):\r\n" - 1 + nameBytes + bytes);
}
// Every value a plan saves (each registration and the setup value) at the limit, and the NUL.
constexpr unsigned kBackupTextBytes =
    sizeof kBackupHeader + kBackupStampBytes + sizeof kBackupRestore32 + sizeof kBackupKeyStart +
    sizeof kExtensionsKeyPath + sizeof kBackupKeyEnd + (kEntryCount + 1) * valueTextBytes(longestValueName(),
    kBackupValueBytes) + sizeof "\r\n";

// The file's text, composed whole before anything is written: ASCII, each
// byte widened to UTF-16LE on the way out, as "Windows Registry Editor
// Version 5.00" requires.
struct BackupText {
    char text[kBackupTextBytes];
    unsigned used;
};

// One value as the backup holds it: present with its type and data, or absent.
struct SavedValue {
    const char* name;
    bool present;
    unsigned long type;
    unsigned long size;
    unsigned char data[kBackupValueBytes];
};
// The plan's values: each entry it deletes, in ladder order, then the setup value.
struct SavedValues {
    SavedValue values[kEntryCount + 1];
    int count;
};

// Reads the plan's values through the handle the run changes the key with.
// False when one cannot be read exactly (denied, or longer than kBackupValueBytes).
bool saveValues(platform::RegKey key, const RegistryPlan& plan, SavedValues* saved);

// The value still holds what was saved: present, the same type and data.
// reread holds kBackupValueBytes: the value as it is now.
bool stillSaved(platform::RegKey key, const SavedValue& value, unsigned char* reread);

// Writes folder\extensions-<time>-<process id>.reg (name holds kMaxPath bytes
// and receives the full path): every saved value present, and the setup value
// as absent ("=-") when it was; written as .reg.partial, flushed, and only then
// renamed. False when the file cannot be written whole: then no file is left
// and why holds a reason.
bool writeBackup(BackupText* composed, const char* folder, unsigned long long time, const SavedValues& saved, char* name,
                 const char** why);

// Deletes what runs ended midway left (.reg.partial), then the oldest backups
// in folder (by name, which begins with the time) until 20 are left; never
// the one named keep.
constexpr unsigned kBackupsKept = 20;
void pruneBackups(const char* folder, const char* keep);

// The newest backup in folder, by sequence (a clock set back does not
// reorder them), as a path of kMaxPath bytes; false when there is none.
bool newestBackup(const char* folder, char* path);
