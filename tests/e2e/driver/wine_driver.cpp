// Test-only helper for the end-to-end suite, run under wine64.
//
//   wine_driver.exe REPORT ANSWERS PAUSE_DIR APPLICATION COMMAND_LINE
//
// Starts APPLICATION with COMMAND_LINE given byte for byte (so that quoting
// can be tested; APPLICATION "-": none, so that CreateProcess finds the
// program in the command line, as deployment engines start scripts, and the
// program writes to the driver's own standard output), answers each message box the program shows with the next
// of ANSWERS ("ok,yes,no"; "-" for none), and writes to REPORT one line per
// box and the exit code:
//   box <caption hex> <text hex> <visible buttons> <icon 0|1> <owner 0|1> <x,y,w,h> <answer>
//   exit <code>
// A box beyond the answers is recorded with the answer "unscripted" and
// closed with No (or OK). When PAUSE_DIR is not "-", the driver writes
// PAUSE_DIR\box<N>.shown before answering box N and waits for box<N>.go, so
// that a screenshot can be taken.
//
//   wine_driver.exe --kill-when PATTERN REPORT ANSWERS PAUSE_DIR APPLICATION COMMAND_LINE
//
// The same, and ends the program with TerminateProcess (exit 99), as an
// engine at its time-out does, as soon as a file matching PATTERN exists;
// writes "killed <name found>" to REPORT before the exit line.
//
//   wine_driver.exe --deny-set-value KEY
//
// Gives HKLM\KEY (as a 64-bit program names it) a DACL that lets Everyone do
// anything but set values, as an unelevated user meets the Extensions key.
//
//   wine_driver.exe --trust SDDL...
//
// Runs the programs' own folder trust decision (platform::descriptorTrust,
// with Wine's advapi32) on each descriptor, as this process's account, and
// prints one line per descriptor: "logs=N programs=N", N a FolderTrust.
// "@WHAT": the descriptor of tests/sim/windows_descriptors.h named WHAT.
// "NULL_DACL": owner Administrators and a NULL DACL (see makeDescriptor).
//
//   wine_driver.exe --access
//
// Holds the simulated machine's access model (tests/sim/access_model.h) to
// Wine's AccessCheck: for each descriptor of tests/sim/windows_descriptors.h,
// each account and each right, both decide. Wine runs as one account, so each
// account's SIDs are put onto this process's token: its groups become the
// token's user, its deny-only groups Administrators (deny-only in a
// restricted token), every other SID one the token lacks. Two rules of
// Wine's differ from Windows' documented ones, measured here; a difference is
// put down to one only when the model with that rule gives Wine's answer:
// Wine gives an object's owner DELETE and WRITE_OWNER besides READ_CONTROL
// and WRITE_DAC (Windows: those two only, "How DACLs Control Access to an
// Object"), and Wine's deny entries skip deny-only groups (Windows: they are
// for deny entries only, "SID Attributes in an Access Token"). Prints each
// other difference and "access: N decisions, M differ, K by Wine's rules".
//
//   wine_driver.exe --logon COMPONENT
//
// Does for COMPONENT what Explorer's Active Setup does at a logon, as the
// README's secondary sources describe it (Microsoft documents none): in the
// native and the 32-bit view of the key
// HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components, a component
// with a StubPath and IsInstalled not 0 runs when its Version, compared number
// by number (commas between them), is above the one in the user's state
// (HKCU\Software\Microsoft\Active Setup\Installed Components, for the
// 32-bit view HKCU\Software\Wow6432Node\Microsoft\...), or the user has none. The user's Version is written before StubPath is
// started (the sources do not settle which comes first; this is the order in
// which a failed run is not tried again by Active Setup), then StubPath is
// started as written through CreateProcess and waited for. Prints one line a
// view: "<view>: none", "<view>: skipped <version>" or "<view>: ran <version> exit <code>".
//
//   wine_driver.exe --hold FILE MILLISECONDS
//
// Holds FILE open without sharing (created when missing) for that long, as
// another run holding its lock does; prints "held" once it holds it.
#include <windows.h>
#include <sddl.h>

#include "platform/descriptor_trust.h"
#include "tests/sim/access_model.h"
#include "tests/sim/windows_descriptors.h"

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Found {
    DWORD processId;
    HWND box;
};

BOOL CALLBACK findBox(HWND window, LPARAM parameter) {
    Found* found = reinterpret_cast<Found*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (processId == found->processId && std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        found->box = window;
        return FALSE;
    }
    return TRUE;
}

struct Controls {
    std::string text;
    std::string buttons;
    bool icon = false;
    std::vector<std::pair<int, HWND>> buttonIds;
};

BOOL CALLBACK readControl(HWND control, LPARAM parameter) {
    Controls* controls = reinterpret_cast<Controls*>(parameter);
    if (!IsWindowVisible(control)) return TRUE;
    char className[64] = {};
    GetClassNameA(control, className, sizeof className);
    char text[1024] = {};
    GetWindowTextA(control, text, sizeof text);
    if (lstrcmpiA(className, "Button") == 0) {
        if (!controls->buttons.empty()) controls->buttons += ",";
        std::string label;
        for (const char* p = text; *p; ++p) {
            if (*p != '&') label += *p;
        }
        controls->buttons += label;
        controls->buttonIds.push_back({GetDlgCtrlID(control), control});
    } else if (lstrcmpiA(className, "Static") == 0) {
        const LONG style = GetWindowLongA(control, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            // An icon control may be present but empty.
            if (SendMessageA(control, STM_GETICON, 0, 0) != 0) controls->icon = true;
        } else if (text[0] != '\0') {
            controls->text = text;
        }
    }
    return TRUE;
}

std::string hex(const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out.empty() ? "-" : out;
}

int answerId(const std::string& answer) {
    if (answer == "yes") return IDYES;
    if (answer == "no") return IDNO;
    if (answer == "ok") return IDOK;
    if (answer == "cancel") return IDCANCEL;
    return 0;
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> items;
    if (list == "-") return items;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        items.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int denySetValue(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS) return 3;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    alignas(DWORD) unsigned char aclBuffer[256] = {};
    ACL* acl = reinterpret_cast<ACL*>(aclBuffer);
    SECURITY_DESCRIPTOR descriptor;
    const bool set = InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
                     AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE, everyone) &&
                     AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
                     InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                     SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
                     RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    FreeSid(everyone);
    RegCloseKey(key);
    return set ? 0 : 4;
}

}  // namespace

namespace {

// From SDDL, LocalFree'd by the caller; "NULL_DACL": owner Administrators and
// a NULL DACL, made with SetSecurityDescriptorDacl (Wine's SDDL parser makes
// NO_ACCESS_CONTROL an empty DACL, which grants nothing, where Windows makes
// it a NULL one).
PSECURITY_DESCRIPTOR makeDescriptor(const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (std::strcmp(sddl, "NULL_DACL") != 0) {
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
            return descriptor;
        }
        std::printf("unreadable SDDL (error %lu)\n", GetLastError());
        return nullptr;
    }
    SECURITY_DESCRIPTOR absolute;
    alignas(SID) unsigned char admins[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof admins;
    DWORD relativeSize = 0;
    InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &sidSize);
    SetSecurityDescriptorOwner(&absolute, admins, FALSE);
    SetSecurityDescriptorGroup(&absolute, admins, FALSE);
    SetSecurityDescriptorDacl(&absolute, TRUE, nullptr, FALSE);
    MakeSelfRelativeSD(&absolute, nullptr, &relativeSize);
    descriptor = LocalAlloc(LMEM_FIXED, relativeSize);
    if (descriptor == nullptr || !MakeSelfRelativeSD(&absolute, descriptor, &relativeSize)) {
        std::printf("no NULL DACL (error %lu)\n", GetLastError());
        LocalFree(descriptor);
        return nullptr;
    }
    return descriptor;
}

}  // namespace

int trust(int count, char** sddl) {
    HANDLE token = nullptr;
    alignas(TOKEN_USER) unsigned char user[256];
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
        !GetTokenInformation(token, TokenUser, user, sizeof user, &size)) {
        return 3;
    }
    CloseHandle(token);
    const void* self = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
    for (int i = 0; i < count; ++i) {
        const char* text = sddl[i];
        for (const sim::WindowsDescriptor& row : sim::kWindowsDescriptors) {
            if (text[0] == '@' && row.madeBy == nullptr && std::strcmp(text + 1, row.what) == 0) text = row.sddl;
        }
        PSECURITY_DESCRIPTOR descriptor = makeDescriptor(text);
        if (descriptor == nullptr) continue;
        std::printf("logs=%d programs=%d\n",
                    static_cast<int>(platform::descriptorTrust(descriptor, self, platform::FolderAcl::Logs)),
                    static_cast<int>(platform::descriptorTrust(descriptor, self, platform::FolderAcl::Programs)));
        LocalFree(descriptor);
    }
    return 0;
}

int access() {
    HANDLE process = nullptr;
    HANDLE restricted = nullptr;
    HANDLE token = nullptr;
    alignas(SID) unsigned char admins[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof admins;
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &sidSize);
    SID_AND_ATTRIBUTES denyOnly = {admins, 0};
    alignas(TOKEN_USER) unsigned char user[256];
    DWORD size = 0;
    char* self = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &process) ||
        !CreateRestrictedToken(process, 0, 1, &denyOnly, 0, nullptr, 0, nullptr, &restricted) ||
        !DuplicateToken(restricted, SecurityImpersonation, &token) ||
        !GetTokenInformation(token, TokenUser, user, sizeof user, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &self)) {
        std::printf("no token (error %lu)\n", GetLastError());
        return 3;
    }
    const char* const kForeign = "S-1-5-21-7-7-7-7";
    const unsigned kRights[] = {sim::kReadData, sim::kAddFile, sim::kAddFolder, 0x10, sim::kExecute,
                                sim::kDeleteChild, 0x100, sim::kDelete, 0x20000, sim::kWriteDac,
                                sim::kWriteOwner, 0x80000000u, 0x40000000u, 0x10000000u};
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    unsigned decisions = 0;
    unsigned differ = 0;
    unsigned wineRules = 0;
    for (const sim::WindowsDescriptor& row : sim::kWindowsDescriptors) {
        sim::Descriptor descriptor;
        if (!sim::parseSddl(row.sddl, &descriptor)) {
            std::printf("the model cannot read %s\n", row.sddl);
            ++differ;
            continue;
        }
        if (row.madeBy != nullptr) descriptor = sim::inheritedDescriptor(descriptor, true, sim::account(row.madeBy));
        for (const sim::Account& who : sim::accounts()) {
            const auto onToken = [&](const std::string& sid) -> std::string {
                if (sid == who.user || std::count(who.groups.begin(), who.groups.end(), sid) != 0) return self;
                if (std::count(who.denyOnly.begin(), who.denyOnly.end(), sid) != 0) return "BA";
                return kForeign;
            };
            sim::Descriptor mapped = descriptor;
            mapped.owner = onToken(descriptor.owner);
            for (sim::Ace& ace : mapped.dacl) ace.sid = onToken(ace.sid);
            const std::string text = sim::toSddl(mapped);
            PSECURITY_DESCRIPTOR made = makeDescriptor(text.c_str());
            for (const unsigned right : kRights) {
                DWORD desired = right;
                MapGenericMask(&desired, &mapping);  // AccessCheck takes no generic rights
                DWORD granted = 0;
                BOOL status = FALSE;
                PRIVILEGE_SET privileges;
                DWORD privilegesSize = sizeof privileges;
                const bool checked = made != nullptr && AccessCheck(made, token, desired, &mapping, &privileges,
                                                                     &privilegesSize, &granted, &status);
                const bool wine = checked && status;
                const bool model = sim::accessGranted(descriptor, who, right) != 0;
                ++decisions;
                // The model under Wine's two rules.
                sim::Descriptor ownerRule = descriptor;
                ownerRule.dacl.insert(ownerRule.dacl.begin(), sim::Ace{true, 0, sim::kDelete | sim::kWriteOwner,
                                                                       descriptor.owner});
                sim::Account denyRule = who;
                denyRule.denyOnly.clear();
                const bool byOwner = checked && wine != model && mapped.owner == self &&
                                     (sim::accessGranted(ownerRule, who, right) != 0) == wine;
                const bool byDenyOnly = checked && wine != model && !who.denyOnly.empty() &&
                                        (sim::accessGranted(descriptor, denyRule, right) != 0) == wine;
                if (byOwner || byDenyOnly) {
                    ++wineRules;
                } else if (!checked || wine != model) {
                    ++differ;
                    std::printf("%s, %s, right 0x%x: Wine %s, the model %s (%s)\n", row.what, who.name.c_str(), right,
                                !checked ? "cannot check" : wine ? "grants" : "refuses", model ? "grants" : "refuses",
                                text.c_str());
                }
            }
            LocalFree(made);
        }
    }
    std::printf("access: %u decisions, %u differ, %u by Wine's rules\n", decisions, differ, wineRules);
    LocalFree(self);
    CloseHandle(token);
    CloseHandle(restricted);
    CloseHandle(process);
    return differ == 0 ? 0 : 1;
}

// "4,0,0,1" > "4,0": each number in turn, a missing one 0.
bool versionAbove(const char* a, const char* b) {
    for (;;) {
        const unsigned long x = std::strtoul(a, const_cast<char**>(&a), 10);
        const unsigned long y = std::strtoul(b, const_cast<char**>(&b), 10);
        if (x != y) return x > y;
        if (*a == '\0' && *b == '\0') return false;
        if (*a == ',') ++a;
        if (*b == ',') ++b;
    }
}

int logon(const char* component) {
    const struct {
        const char* name;
        REGSAM view;
        const char* userState;
    } kViews[] = {{"native", KEY_WOW64_64KEY, "Software\\Microsoft\\Active Setup\\Installed Components\\"},
                  {"32-bit", KEY_WOW64_32KEY, "Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components\\"}};
    for (const auto& view : kViews) {
        std::string key = std::string("SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\") + component;
        char version[64] = "";
        char stubPath[MAX_PATH + 2] = "";
        DWORD installed = 1;
        DWORD size = sizeof version;
        HKEY machine = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view.view, &machine) != ERROR_SUCCESS) {
            std::printf("%s: none\n", view.name);
            continue;
        }
        RegQueryValueExA(machine, "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(version), &size);
        size = sizeof stubPath;
        const bool hasStub = RegQueryValueExA(machine, "StubPath", nullptr, nullptr, reinterpret_cast<BYTE*>(stubPath),
                                              &size) == ERROR_SUCCESS;
        size = sizeof installed;
        RegQueryValueExA(machine, "IsInstalled", nullptr, nullptr, reinterpret_cast<BYTE*>(&installed), &size);
        RegCloseKey(machine);
        char seen[64] = "";
        size = sizeof seen;
        const std::string state = std::string(view.userState) + component;
        const bool hasSeen = RegGetValueA(HKEY_CURRENT_USER, state.c_str(), "Version", RRF_RT_REG_SZ, nullptr, seen,
                                          &size) == ERROR_SUCCESS;
        if (!hasStub || installed == 0 || (hasSeen && !versionAbove(version, seen))) {
            std::printf("%s: skipped %s\n", view.name, version);
            continue;
        }
        RegSetKeyValueA(HKEY_CURRENT_USER, state.c_str(), "Version", REG_SZ, version,
                        static_cast<DWORD>(std::strlen(version) + 1));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        DWORD code = 999;
        if (CreateProcessA(nullptr, stubPath, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            WaitForSingleObject(process.hProcess, 120000);
            GetExitCodeProcess(process.hProcess, &code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        std::printf("%s: ran %s exit %lu\n", view.name, version, code);
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--logon") == 0) return logon(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "--trust") == 0) return trust(argc - 2, argv + 2);
    if (argc == 2 && std::strcmp(argv[1], "--access") == 0) return access();
    if (argc == 3 && std::strcmp(argv[1], "--deny-set-value") == 0) return denySetValue(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--hold") == 0) {
        const HANDLE held = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (held == INVALID_HANDLE_VALUE) return 1;
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::atoi(argv[3])));
        CloseHandle(held);
        return 0;
    }
    const char* killWhen = nullptr;
    if (argc == 8 && std::strcmp(argv[1], "--kill-when") == 0) {
        killWhen = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc != 6) {
        std::fprintf(stderr, "usage: wine_driver REPORT ANSWERS PAUSE_DIR APPLICATION COMMAND_LINE\n");
        return 2;
    }
    FILE* report = std::fopen(argv[1], "wb");
    if (report == nullptr) return 2;
    const std::vector<std::string> answers = split(argv[2]);
    const std::string pauseDir = argv[3];
    std::vector<char> commandLine(argv[5], argv[5] + std::strlen(argv[5]) + 1);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    const bool engine = std::strcmp(argv[4], "-") == 0;
    if (engine) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(engine ? nullptr : argv[4], commandLine.data(), nullptr, nullptr, engine, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(report, "error CreateProcess %lu\n", GetLastError());
        std::fclose(report);
        return 2;
    }

    size_t next = 0;
    int boxNumber = 0;
    const DWORD deadline = GetTickCount() + 60000;
    while (WaitForSingleObject(process.hProcess, killWhen != nullptr ? 1 : 50) == WAIT_TIMEOUT) {
        if (GetTickCount() > deadline) {
            std::fprintf(report, "timeout\n");
            TerminateProcess(process.hProcess, 99);
            break;
        }
        if (killWhen != nullptr) {
            WIN32_FIND_DATAA data;
            const HANDLE find = FindFirstFileA(killWhen, &data);
            if (find == INVALID_HANDLE_VALUE) continue;
            FindClose(find);
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, INFINITE);
            std::fprintf(report, "killed %s\n", data.cFileName);
            break;
        }
        Found found = {process.dwProcessId, nullptr};
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&found));
        if (found.box == nullptr) continue;
        Sleep(200);  // let the box finish drawing

        ++boxNumber;
        char caption[256] = {};
        GetWindowTextA(found.box, caption, sizeof caption);
        Controls controls;
        EnumChildWindows(found.box, readControl, reinterpret_cast<LPARAM>(&controls));
        RECT rect = {};
        GetWindowRect(found.box, &rect);
        const bool owned = GetWindow(found.box, GW_OWNER) != nullptr;

        std::string answer = next < answers.size() ? answers[next++] : "unscripted";
        int id = answerId(answer);
        if (id == 0) {
            id = IDNO;
            for (const auto& button : controls.buttonIds) {
                if (button.first == IDOK) id = IDOK;
            }
        }
        std::fprintf(report, "box %s %s %s %d %d %ld,%ld,%ld,%ld %s\n", hex(caption).c_str(),
                     hex(controls.text).c_str(), controls.buttons.empty() ? "-" : controls.buttons.c_str(),
                     controls.icon ? 1 : 0, owned ? 1 : 0, rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top, answer.c_str());
        std::fflush(report);

        if (pauseDir != "-") {
            const std::string shown = pauseDir + "\\box" + std::to_string(boxNumber) + ".shown";
            const std::string go = pauseDir + "\\box" + std::to_string(boxNumber) + ".go";
            FILE* marker = std::fopen(shown.c_str(), "wb");
            if (marker) std::fclose(marker);
            const DWORD wait = GetTickCount() + 30000;
            while (!fileExists(go) && GetTickCount() < wait) Sleep(50);
        }

        PostMessageA(found.box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        const DWORD closeBy = GetTickCount() + 10000;
        while (IsWindow(found.box) && GetTickCount() < closeBy) Sleep(20);
    }

    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::fprintf(report, "exit %lu\n", code);
    std::fclose(report);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
