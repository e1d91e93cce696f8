// The platform operations on the real Windows API.
#include <windows.h>
#include <shlobj.h>

#include "platform/platform.h"
#include "platform/text.h"

static_assert(platform::kMessageOk == MB_OK, "MB_OK");
static_assert(platform::kMessageYesNo == MB_YESNO, "MB_YESNO");
static_assert(platform::kAnswerYes == IDYES, "IDYES");
static_assert(platform::kRoamingAppData == CSIDL_APPDATA, "CSIDL_APPDATA");
static_assert(platform::kLocalAppData == CSIDL_LOCAL_APPDATA, "CSIDL_LOCAL_APPDATA");
static_assert(platform::kMaxPath == MAX_PATH, "MAX_PATH");
static_assert(platform::kShowDefault == SW_SHOWDEFAULT, "SW_SHOWDEFAULT");
static_assert(platform::kRegSz == REG_SZ, "REG_SZ");
static_assert(platform::kErrorFileNotFound == ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND");
static_assert(platform::kErrorPathNotFound == ERROR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND");

namespace platform {

namespace {

HKEY toHandle(RegKey key) { return reinterpret_cast<HKEY>(key); }

KeyOpen openKey(const char* path, REGSAM access, RegKey* key) {
    HKEY handle = nullptr;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &handle);
    if (status == ERROR_FILE_NOT_FOUND) return KeyOpen::Missing;
    if (status != ERROR_SUCCESS) return KeyOpen::Failed;
    *key = reinterpret_cast<RegKey>(handle);
    return KeyOpen::Opened;
}

}  // namespace

bool regOpenKey(const char* path, RegKey* key) {
    HKEY handle = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &handle) != ERROR_SUCCESS) return false;
    *key = reinterpret_cast<RegKey>(handle);
    return true;
}

KeyOpen regOpenKeyForValues(const char* path, RegKey* key) {
    return openKey(path, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
}

KeyOpen regOpenKeyForReading(const char* path, RegKey* key) { return openKey(path, KEY_QUERY_VALUE, key); }

ValueRead regQueryValue(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                        unsigned long* type) {
    DWORD valueType = 0;
    DWORD bytes = static_cast<DWORD>(*size);
    const LONG status = RegQueryValueExA(toHandle(key), name, nullptr, &valueType, data, &bytes);
    *size = bytes;
    if (type != nullptr) *type = valueType;
    if (status == ERROR_SUCCESS) return ValueRead::Fitted;
    if (status == ERROR_MORE_DATA) return ValueRead::MoreData;
    return ValueRead::Failed;
}

bool regDeleteValue(RegKey key, const char* name) { return RegDeleteValueA(toHandle(key), name) == ERROR_SUCCESS; }

void regSetString(RegKey key, const char* name, const char* text, unsigned long sizeWithNul) {
    RegSetValueExA(toHandle(key), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(sizeWithNul));
}

void regCloseKey(RegKey key) { RegCloseKey(toHandle(key)); }

namespace {

unsigned long long ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// What a search found, from its find record (ANSI or wide); the handle is closed.
template <typename FindData>
PathKind foundKind(HANDLE search, const FindData& data, PathFound* found) {
    PathFound result;
    if (search == INVALID_HANDLE_VALUE) {
        result.error = GetLastError();
    } else {
        FindClose(search);
        result.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
        result.created = ticks(data.ftCreationTime);
        result.written = ticks(data.ftLastWriteTime);
        result.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    if (found != nullptr) *found = result;
    return result.kind;
}

}  // namespace

bool regKeyLastWrite(RegKey key, unsigned long long* time) {
    FILETIME written = {};
    if (RegQueryInfoKeyA(toHandle(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, &written) != ERROR_SUCCESS) {
        return false;
    }
    *time = ticks(written);
    return true;
}

bool specialFolderPath(int csidl, char* buffer) {
    return SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE) != FALSE;
}

PathKind pathKind(const char* path, PathFound* found) {
    WIN32_FIND_DATAA data = {};
    return foundKind(FindFirstFileA(path, &data), data, found);
}

bool findBelowFolderWide(int csidl, const char* suffix, WideFind* found) {
    found->utf8[0] = found->ansi[0] = '\0';
    // The folder, then the suffix: what a person would type.
    constexpr unsigned kRoom = MAX_PATH + 64;
    wchar_t path[kRoom];
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return false;
    unsigned used = 0;
    while (path[used] != 0) ++used;
    for (const char* c = suffix; *c != '\0'; ++c) {
        if (used + 1 >= kRoom) return false;
        path[used++] = static_cast<unsigned char>(*c);
    }
    path[used] = 0;
    // The \\?\ form lifts MAX_PATH; a folder redirected to a share takes \\?\UNC\.
    const bool share = path[0] == L'\\' && path[1] == L'\\';
    const wchar_t* prefix = share ? L"\\\\?\\UNC" : L"\\\\?\\";
    wchar_t full[kRoom + 8];
    unsigned at = 0;
    for (const wchar_t* c = prefix; *c != 0; ++c) full[at++] = *c;
    for (const wchar_t* c = share ? path + 1 : path; *c != 0; ++c) full[at++] = *c;
    full[at] = 0;

    if (WideCharToMultiByte(CP_UTF8, 0, path, -1, found->utf8, kWidePathBytes, nullptr, nullptr) == 0) {
        found->utf8[0] = '\0';
    }
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path, -1, found->ansi, kWidePathBytes, nullptr, &lossy) ==
            0 ||
        lossy) {
        found->ansi[0] = '\0';
    }
    WIN32_FIND_DATAW data = {};
    foundKind(FindFirstFileW(full, &data), data, &found->found);
    return true;
}

void deleteFile(const char* path) { DeleteFileA(path); }

void formatPrompt(char* buffer, const char* format, const char* path) { wsprintfA(buffer, format, path); }

int showMessage(const char* text, const char* caption, unsigned type) {
    return MessageBoxA(nullptr, text, caption, type);
}

bool searchDllsInSystem32Only() {
    // Looked up rather than imported, so the program still starts where the
    // function is missing. GetModuleHandleA and GetProcAddress load nothing.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return false;
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    return setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

void removeCurrentDirectoryFromDllSearch() { SetDllDirectoryA(""); }

namespace {

void writeTo(DWORD which, const char* text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(handle, text, text::length(text), &written, nullptr);
}

}  // namespace

void writeOutput(const char* text) { writeTo(STD_OUTPUT_HANDLE, text); }

void writeError(const char* text) { writeTo(STD_ERROR_HANDLE, text); }

unsigned long long currentTime() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return ticks(now);
}

Account processAccount() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return Account::Unknown;
    // TOKEN_USER and its SID: a SID takes at most 68 bytes.
    alignas(TOKEN_USER) unsigned char info[256];
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenUser, info, sizeof info, &size);
    CloseHandle(token);
    if (!read) return Account::Unknown;
    // S-1-5-18, S-1-5-19, S-1-5-20: NT AUTHORITY's SYSTEM, LOCAL SERVICE, NETWORK SERVICE.
    const SID* sid = static_cast<const SID*>(reinterpret_cast<const TOKEN_USER*>(info)->User.Sid);
    const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    bool ntAuthority = true;
    for (int i = 0; i < 6; ++i) ntAuthority &= sid->IdentifierAuthority.Value[i] == nt.Value[i];
    const bool service = sid->Revision == SID_REVISION && sid->SubAuthorityCount == 1 && ntAuthority &&
                         sid->SubAuthority[0] >= static_cast<DWORD>(SECURITY_LOCAL_SYSTEM_RID) &&
                         sid->SubAuthority[0] <= static_cast<DWORD>(SECURITY_NETWORK_SERVICE_RID);
    return service ? Account::Service : Account::User;
}

const char* processCommandLine() { return GetCommandLineA(); }

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

void* moduleInstance() { return GetModuleHandleA(nullptr); }

void exitProcess(int code) { ExitProcess(static_cast<UINT>(code)); }

}  // namespace platform
