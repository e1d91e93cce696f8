// The seam between the program's logic and Windows.
//
// Every Windows operation the stages use is declared here as one of the
// project's own functions. platform_windows.cpp implements them on the real
// API; the host tests link a simulated machine in its place. Nothing outside
// platform/ includes <windows.h>.
#pragma once

namespace platform {

// Windows values the logic needs, restated so the logic compiles without
// <windows.h>; the Windows implementation checks them against the SDK.
constexpr unsigned kMessageOk = 0;      // MB_OK
constexpr unsigned kMessageYesNo = 4;   // MB_YESNO
constexpr int kAnswerYes = 6;           // IDYES
constexpr int kRoamingAppData = 26;     // CSIDL_APPDATA
constexpr int kLocalAppData = 28;       // CSIDL_LOCAL_APPDATA
constexpr unsigned kMaxPath = 260;      // MAX_PATH, including the NUL
constexpr unsigned long kRegSz = 1;     // REG_SZ
constexpr unsigned long kErrorFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr unsigned long kErrorPathNotFound = 3;  // ERROR_PATH_NOT_FOUND

// An open registry key below HKEY_LOCAL_MACHINE.
struct RegistryKey;
using RegKey = RegistryKey*;

// How a value query ended.
enum class ValueRead {
    Fitted,    // the value exists and its data fitted the buffer
    MoreData,  // the value exists but its data is longer than the buffer
    Failed,    // missing, denied or any other failure
};

// How an open of an existing-or-not key ended.
enum class KeyOpen {
    Opened,
    Missing,  // the key does not exist (ERROR_FILE_NOT_FOUND)
    Failed,   // it may exist but was not opened: access denied or any other error
};

// RegOpenKeyA on HKEY_LOCAL_MACHINE with default access.
bool regOpenKey(const char* path, RegKey* key);
// RegOpenKeyExA on HKEY_LOCAL_MACHINE for KEY_QUERY_VALUE | KEY_SET_VALUE.
KeyOpen regOpenKeyForValues(const char* path, RegKey* key);
// RegOpenKeyExA on HKEY_LOCAL_MACHINE for KEY_QUERY_VALUE alone: nothing
// through this handle can change the key.
KeyOpen regOpenKeyForReading(const char* path, RegKey* key);
// RegQueryValueExA. size is the buffer's size on entry; on return it holds
// what the registry reported (the data's size, or the size needed). type,
// when given, receives the value's registry type.
ValueRead regQueryValue(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                        unsigned long* type = nullptr);
// RegDeleteValueA; true when the registry reports success.
bool regDeleteValue(RegKey key, const char* name);
// RegSetValueExA as REG_SZ; sizeWithNul counts the terminating NUL.
void regSetString(RegKey key, const char* name, const char* text, unsigned long sizeWithNul);
void regCloseKey(RegKey key);
// RegQueryInfoKeyA's last-write time of an open key, in FILETIME units
// (100 ns since 1601); false when it cannot be read. Every value set or
// deleted in the key moves it.
bool regKeyLastWrite(RegKey key, unsigned long long* time);

// SHGetSpecialFolderPathA without creating the folder. buffer holds kMaxPath
// bytes; on success it holds the folder path with no trailing backslash.
bool specialFolderPath(int csidl, char* buffer);

// What a file search found at a path.
enum class PathKind { Nothing, File, Directory };
struct PathFound {
    PathKind kind = PathKind::Nothing;
    unsigned long long created = 0;  // FILETIME units; 0 unless found
    unsigned long long written = 0;
    bool readOnly = false;           // FILE_ATTRIBUTE_READONLY
    unsigned long error = 0;         // Nothing: why, GetLastError's code
};
// FindFirstFileA with a zeroed find record; the search handle is closed.
PathKind pathKind(const char* path, PathFound* found = nullptr);

// The check's own look-up of a file below a special folder through the wide
// calls, which name what the ANSI ones cannot (characters outside the code
// page, full paths past MAX_PATH): SHGetSpecialFolderPathW, the ASCII suffix
// appended, FindFirstFileW on the \\?\ form of the path. False when the
// system names no such folder. Otherwise utf8 holds the full path in UTF-8
// and, only when the system code page holds every character of it exactly,
// ansi holds it in that code page (else ansi is empty); found as pathKind.
// Both buffers hold kWidePathBytes.
constexpr unsigned kWidePathBytes = 1024;
struct WideFind {
    char utf8[kWidePathBytes];
    char ansi[kWidePathBytes];
    PathFound found;
};
bool findBelowFolderWide(int csidl, const char* suffix, WideFind* found);
// DeleteFileA; the result is deliberately not reported.
void deleteFile(const char* path);
// wsprintfA with a format holding one %s. The call cannot know the buffer's
// size: the caller makes sure the result fits kMaxPath bytes.
void formatPrompt(char* buffer, const char* format, const char* path);
// MessageBoxA with no owner window; returns the answer.
int showMessage(const char* text, const char* caption, unsigned type);

// WriteFile of a NUL-terminated text to the standard output or error handle;
// nothing happens where there is none.
void writeOutput(const char* text);
void writeError(const char* text);

// GetSystemTimeAsFileTime: the machine's clock, UTC, in FILETIME units.
unsigned long long currentTime();

// Whose token the process carries: a person's account, or one of the three
// service accounts (LocalSystem, LocalService, NetworkService), whose profiles
// belong to no user. Read through a token opened for querying only.
enum class Account { User, Service, Unknown };
Account processAccount();

// GetCommandLineA: the process command line as Windows holds it.
const char* processCommandLine();
// IsDBCSLeadByte for the system code page.
bool isLeadByte(unsigned char byte);

// The DLL search, guarded before anything else in a run that may be elevated
// from a folder others can write.
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), looked up in the
// already loaded KERNEL32; false where this Windows lacks it (Windows 7
// without KB2533623 and older).
bool searchDllsInSystem32Only();
// SetDllDirectoryA(""): the current directory leaves the DLL search.
void removeCurrentDirectoryFromDllSearch();

// Process entry and exit, for the program's own entry point.
constexpr int kShowDefault = 10;  // SW_SHOWDEFAULT
void* moduleInstance();
[[noreturn]] void exitProcess(int code);

}  // namespace platform
