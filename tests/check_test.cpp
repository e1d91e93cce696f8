#include "app/check.h"
#include "reading/command_line.h"
#include "reading/run_types.h"

#include "app/run.h"
#include "tests/sim/machine_test.h"

namespace {

using CheckTest = ProfileTest;

const char* const kCannotTell = "cannot tell what is left: a line above says why (exit code 4)";
const char* const kServiceAccount =
    "cannot tell: this runs as a service account (SYSTEM, LOCAL SERVICE or NETWORK SERVICE), whose profile says "
    "nothing about any user's Extend.dat; run the check in the user's context";

// The demo machine: release 900 build 1000, all four registrations, both copies.
void demoMachine() {
    installRelease(900, 1000);
    addAllEntries();
    sim::addFile(kRoamingCopy);
    sim::addFile(kLocalCopy);
}

TEST_F(CheckTest, BeforeAndAfterASilentRunOnTheDemoMachine) {
    demoMachine();
    sim::machine().commandLine = "\"C:\\Deploy\\quillmend-check.exe\"";
    sim::machine().now = 134412960050000000ull;
    EXPECT_EQ(startCheck(), kCheckRegistryRemains | kCheckExtendDatRemains);
    EXPECT_EQ(sim::machine().output,
              "checked: 2026-12-09T13:20:05Z\r\n"
              "product: release 900, build 1000\r\n"
              "extensions key: present and readable\r\n"
              "keeps: KestrinCorp90\r\n"
              "would delete: KestrinCorp810\r\n"
              "would delete: KestrinCorp801\r\n"
              "would delete: Marvil\r\n"
              "setup extension: Outlook Setup Extension is absent (Outlook removes it once it has reloaded its extensions)\r\n"
              "registrations last changed: 1601-01-01T00:00:00Z\r\n"
              "roaming Extend.dat: present and stale (a file): a run deletes it unless it is in use, at " + kRoamingCopy + "\r\n"
              "local Extend.dat: present and stale (a file): a run deletes it unless it is in use, at " + kLocalCopy + "\r\n"
              "verdict: registry work and a stale Extend.dat remain (exit code 3)\r\n");
    EXPECT_EQ(sim::machine().log[0], "dllSearch system32");
    EXPECT_EQ(sim::machine().log[1], "dllSearch noCurrentDirectory");
    sim::machine().log.erase(sim::machine().log.begin(), sim::machine().log.begin() + 2);
    EXPECT_TRUE(sim::onlyReads());

    EXPECT_EQ(runQuillmend("/S"), 0);
    sim::machine().output.clear();
    EXPECT_EQ(runCheck(""), 0);
    EXPECT_EQ(sim::outputLines("would delete: "), std::vector<std::string>{"none"});
    EXPECT_EQ(sim::outputLines("setup extension: "),
              std::vector<std::string>{"Outlook Setup Extension holds what a run writes"});
    EXPECT_EQ(sim::outputLines("local Extend.dat: "), std::vector<std::string>{"none at " + kLocalCopy});
    EXPECT_EQ(sim::outputLines("verdict: "), std::vector<std::string>{"nothing left to clean (exit code 0)"});

    // Outlook deletes the setup value once it has reloaded: still nothing to clean.
    sim::machine().values[kExtensionsKey].erase("Outlook Setup Extension");
    EXPECT_EQ(runCheck("/registry"), 0);
}

TEST_F(CheckTest, TheTimeLineIsUtcIso8601) {
    const std::pair<unsigned long long, const char*> kTimes[] = {
        {0, "1601-01-01T00:00:00Z"},
        {125963423999999999ull, "2000-02-29T23:59:59Z"},
        {134412960050000000ull, "2026-12-09T13:20:05Z"},
    };
    for (const auto& [time, expected] : kTimes) {
        SetUp();
        sim::machine().now = time;
        runCheck("/registry");
        EXPECT_EQ(sim::outputLines("checked: "), std::vector<std::string>{expected});
        EXPECT_EQ(sim::machine().output.rfind("checked: ", 0), 0u) << "the first line";
    }
}

// One change to the demo machine after a run, and what the check then says.
TEST_F(CheckTest, WhatEachHalfReports) {
    struct Case {
        const char* name;
        const char* arguments;
        void (*change)();
        int code;
        const char* prefix;  // the line that says why
        std::string line;  // empty: no such line
    };
    const Case kCases[] = {
        {"no product key", "", [] { sim::machine().keys.erase(kProductKey); sim::machine().values.erase(kProductKey); },
         0, "product: ", "none (no key HKLM\\Software\\Ostrand\\Fellgate\\Wardline6\\CurrentVersion)"},
        {"version of five bytes", "/registry",
         [] { sim::setValue(kProductKey, "ProductVersion", sim::kRegBinary, {0x84, 3, 0xE8, 3, 0}); }, 0, "product: ",
         "none (no readable \"ProductVersion\" value of at most 4 bytes)"},
        {"product key unreadable", "/registry", [] { sim::addKey(kProductKey, sim::KeyState::Unreadable); },
         kCheckCannotTell, "verdict: ", kCannotTell},
        {"extensions key missing", "", [] { sim::machine().keys.erase(kExtensionsKey); }, 0, "extensions key: ",
         "none (a run changes nothing) at HKLM\\Software\\Microsoft\\Exchange\\Client\\Extensions"},
        {"extensions key denies changes", "/registry",
         [] { sim::setString(kExtensionsKey, "Marvil", "x"); sim::addKey(kExtensionsKey, sim::KeyState::Denied); },
         kCheckRegistryRemains, "would delete: ", "Marvil"},
        {"extensions key unreadable", "", [] { sim::addKey(kExtensionsKey, sim::KeyState::Unreadable); },
         kCheckCannotTell, "extensions key: ",
         "cannot tell (this cannot read HKLM\\Software\\Microsoft\\Exchange\\Client\\Extensions)"},
        {"setup value as REG_EXPAND_SZ", "",
         [] {
             sim::setString(kExtensionsKey, "Outlook Setup Extension", kSetupData);
             sim::machine().values[kExtensionsKey]["Outlook Setup Extension"].type = 2;
         },
         0, "setup extension: ", "Outlook Setup Extension holds other data"},
        {"setup value without its NUL", "",
         [] { sim::setValue(kExtensionsKey, "Outlook Setup Extension", sim::kRegSz, {kSetupData, kSetupData + 50}); },
         0, "setup extension: ", "Outlook Setup Extension holds other data"},
        {"setup value deleted as Outlook does", "/registry",
         [] { sim::machine().values[kExtensionsKey].erase("Outlook Setup Extension"); }, 0, "setup extension: ",
         "Outlook Setup Extension is absent (Outlook removes it once it has reloaded its extensions)"},
        {"release 802, no setup value", "",
         [] {
             installRelease(802, 600);
             sim::setString(kExtensionsKey, "Marvil", "x");
             sim::machine().values[kExtensionsKey].erase("Outlook Setup Extension");
         },
         0, "keeps: ", "none (this release owns no registration)"},
        {"release 810, nothing of its own", "",
         [] { installRelease(810, 1); sim::machine().values[kExtensionsKey].erase("KestrinCorp90"); }, 0, "keeps: ",
         "none (KestrinCorp810 and every older KestrinCorp entry are absent)"},
        {"a folder named Extend.dat", "/user", [] { sim::addFile(kRoamingCopy, true); }, kCheckExtendDatRemains,
         "roaming Extend.dat: ", "present and stale (a folder of that name): delete it by hand, at C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\Extend.dat"},
        {"roaming copy rebuilt after the run", "/user",
         [] { sim::addFile(kRoamingCopy, false, sim::keyTime(kExtensionsKey) + 1); }, 0, "roaming Extend.dat: ",
         "present, rebuilt since the registrations last changed (a file): nothing to do, at C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\Extend.dat"},
        {"local copy written at the key's last change", "",
         [] { sim::addFile(kLocalCopy, false, sim::keyTime(kExtensionsKey)); }, 0, "local Extend.dat: ",
         "present, rebuilt since the registrations last changed (a file): nothing to do, at C:\\Users\\ann\\AppData\\Local\\Microsoft\\Outlook\\Extend.dat"},
        {"local copy older than the key's last change", "/user",
         [] { sim::addFile(kLocalCopy, false, sim::keyTime(kExtensionsKey) - 1); }, kCheckExtendDatRemains,
         "local Extend.dat: ", "present and stale (a file): a run deletes it unless it is in use, at C:\\Users\\ann\\AppData\\Local\\Microsoft\\Outlook\\Extend.dat"},
        {"a copy written after the change but created before it", "/user",
         [] {
             sim::addFile(kLocalCopy, false, sim::keyTime(kExtensionsKey) + 1);
             sim::machine().files[kLocalCopy].created = sim::keyTime(kExtensionsKey) - 1;
         },
         kCheckExtendDatRemains, "local Extend.dat: ",
         "present and stale (a file): a run deletes it unless it is in use, at " + kLocalCopy},
        {"a read-only stale copy", "/user",
         [] { sim::addFile(kRoamingCopy); sim::machine().files[kRoamingCopy].readOnly = true; }, kCheckExtendDatRemains,
         "roaming Extend.dat: ", "present and stale (a read-only file): delete it by hand, at " + kRoamingCopy},
        {"key time more than 5 minutes ahead of the clock", "/user",
         [] { sim::machine().now = 1; sim::machine().keyWritten[kExtensionsKey] = 3000000002ull; }, kCheckCannotTell,
         "registrations last changed: ", "1601-01-01T00:05:00Z, cannot tell: more than 5 minutes ahead of this "
         "machine's clock, so every copy rebuilt since would look stale"},
        {"key time more than 5 minutes ahead, a copy", "/user",
         [] {
             sim::machine().now = 1;
             sim::machine().keyWritten[kExtensionsKey] = 3000000002ull;
             sim::addFile(kLocalCopy, false, 3000000002ull);
         },
         kCheckCannotTell, "local Extend.dat: ",
         "present (a file), cannot tell whether stale (the Extensions key's last change is ahead of this machine's "
         "clock), at " + kLocalCopy},
        {"no Extensions key", "/user", [] { sim::machine().keys.erase(kExtensionsKey); }, 0,
         "registrations last changed: ", "never (no Extensions key)"},
        {"key time 5 minutes ahead, a copy rebuilt", "/user",
         [] {
             sim::machine().keyWritten[kExtensionsKey] = 3000000001ull;
             sim::machine().now = 1;
             sim::addFile(kLocalCopy, false, 3000000001ull);
         },
         0, "local Extend.dat: ",
         "present, rebuilt since the registrations last changed (a file): nothing to do, at " + kLocalCopy},
        {"as a service account, user half", "/user", [] { sim::machine().serviceAccount = true; }, kCheckCannotTell,
         "user: ", kServiceAccount},
        {"as a service account, both halves", "", [] { sim::machine().serviceAccount = true; }, kCheckCannotTell,
         "user: ", kServiceAccount},
        {"as a service account, registry half", "/registry", [] { sim::machine().serviceAccount = true; }, 0,
         "user: ", ""},
        {"own token unreadable", "/user", [] { sim::machine().tokenUnreadable = true; }, kCheckCannotTell, "user: ",
         "cannot tell: this cannot read whose account it runs as; run the check in the user's context"},
        {"no Extensions key, a copy left", "/user",
         [] { sim::machine().keys.erase(kExtensionsKey); sim::addFile(kRoamingCopy); }, 0, "roaming Extend.dat: ",
         "present, no registrations to rebuild it from (a file): nothing to do, at C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\Extend.dat"},
        {"key time unreadable, a copy left", "/user",
         [] { sim::machine().keyTimeUnreadable.insert(kExtensionsKey); sim::addFile(kLocalCopy, false, ~0ull); },
         kCheckCannotTell, "local Extend.dat: ",
         "present (a file), cannot tell whether stale (the Extensions key's last change cannot be read), at C:\\Users\\ann\\AppData\\Local\\Microsoft\\Outlook\\Extend.dat"},
        {"key unreadable, a copy left", "/user",
         [] { sim::addKey(kExtensionsKey, sim::KeyState::Unreadable); sim::addFile(kRoamingCopy, false, ~0ull); },
         kCheckCannotTell, "verdict: ", kCannotTell},
        {"key time unreadable, no copy", "/user", [] { sim::machine().keyTimeUnreadable.insert(kExtensionsKey); }, 0,
         "verdict: ", "nothing left to clean (exit code 0)"},
        {"roaming folder named outside the code page", "/user",
         [] {
             sim::machine().roamingFolder = "C:\\Users\\ann\\???";
             sim::machine().wideFolders[26] = "C:\\Users\\ann\\\u65e5\u672c\u8a9e";
             sim::addFile(sim::machine().wideFolders[26] + "\\Microsoft\\Outlook\\Extend.dat");
         },
         kCheckExtendDatRemains, "roaming Extend.dat: ",
         "present and stale (a file), out of a run's reach (the folder's name holds characters outside the ANSI code "
         "page): delete it by hand, at (UTF-8) C:\\Users\\ann\\\u65e5\u672c\u8a9e\\Microsoft\\Outlook\\Extend.dat"},
        {"a copy left, registry only", "/registry", [] { sim::addFile(kLocalCopy); }, 0, "local Extend.dat: ", ""},
        {"roaming folder unavailable", "/user", [] { sim::machine().roamingFolder.reset(); }, 0, "roaming Extend.dat: ",
         "none (the system names no such folder)"},
        {"local folder of 231 characters, a stale copy", "/user",
         [] {
             sim::machine().localFolder = "C:\\" + std::string(228, 'l');
             sim::addFile(*sim::machine().localFolder + "\\Microsoft\\Outlook\\Extend.dat");
         },
         kCheckExtendDatRemains, "local Extend.dat: ",
         "present and stale (a file), out of a run's reach (the folder's path is too long): delete it by hand, at C:\\" +
             std::string(228, 'l') + "\\Microsoft\\Outlook\\Extend.dat"},
        {"roaming folder of 259 characters, a rebuilt copy", "/user",
         [] {
             sim::machine().roamingFolder = "C:\\" + std::string(256, 'r');
             sim::addFile(*sim::machine().roamingFolder + "\\Microsoft\\Outlook\\Extend.dat", false, ~0ull);
         },
         0, "roaming Extend.dat: ",
         "present, rebuilt since the registrations last changed (a file), out of a run's reach (the folder's path is "
         "too long): nothing to do, at C:\\" + std::string(256, 'r') + "\\Microsoft\\Outlook\\Extend.dat"},
        {"a registration left, user only", "/user", [] { sim::setString(kExtensionsKey, "Marvil", "x"); }, 0,
         "would delete: ", ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        demoMachine();
        runQuillmend("/S");
        sim::machine().log.clear();
        c.change();
        EXPECT_EQ(runCheck(c.arguments), c.code) << sim::machine().output;
        EXPECT_EQ(sim::outputLines(c.prefix), c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
        EXPECT_EQ(sim::outputLines("verdict: ").size(), 1u);
        EXPECT_TRUE(sim::onlyReads());
        EXPECT_TRUE(sim::machine().errorOutput.empty());
    }
}

// Only "no such file" and "no such path" mean no copy; any other failed
// search says nothing, for the run's own path and the wide look-up alike.
TEST_F(CheckTest, AFailedLookUpIsNotNone) {
    const std::string kWideCopy = "C:\\Users\\ann\\\u65e5\\Microsoft\\Outlook\\Extend.dat";
    for (const bool wide : {false, true}) {
        for (const unsigned long error : {2ul, 3ul, 5ul, 21ul, 53ul, 67ul, 1231ul}) {
            SCOPED_TRACE(std::to_string(error) + (wide ? " wide" : ""));
            SetUp();
            if (wide) {
                sim::machine().roamingFolder = "C:\\Users\\ann\\?";
                sim::machine().wideFolders[26] = "C:\\Users\\ann\\\u65e5";
            }
            const std::string path = wide ? kWideCopy : kRoamingCopy;
            sim::machine().lookupErrors[path] = error;
            const bool missing = error == 2 || error == 3;
            EXPECT_EQ(runCheck("/user"), missing ? 0 : kCheckCannotTell);
            const std::string at = std::string(wide ? " at (UTF-8) " : " at ") + path;
            EXPECT_EQ(sim::outputLines("roaming Extend.dat: "),
                      std::vector<std::string>{missing ? "none" + at
                                                       : "cannot tell: looking for it failed with error " +
                                                             std::to_string(error) + at});
            runQuillmend("/S");  // a run passes over it in silence
            EXPECT_TRUE(sim::machine().boxes.empty());
        }
    }
}

TEST_F(CheckTest, SwitchesAsAdministratorsTypeThem) {
    // "/registry >nul" reaches the check as "/registry ".
    for (const char* arguments : {"/registry ", "/Registry", " /REGISTRY\t "}) {
        EXPECT_EQ(parseCheckScope(arguments), CheckScope::Registry) << arguments;
    }
    for (const char* arguments : {"/user  ", "/User", "\t/uSeR"}) EXPECT_EQ(parseCheckScope(arguments), CheckScope::User);
    for (const char* arguments : {"", " ", "\t "}) EXPECT_EQ(parseCheckScope(arguments), CheckScope::Both);
}

TEST_F(CheckTest, AnyOtherArgumentChecksNothing) {
    for (const char* arguments : {"/S", "/user /registry", "-user", "registry", "/ user", "/registry x", "/users"}) {
        SCOPED_TRACE(arguments);
        SetUp();
        demoMachine();
        EXPECT_EQ(runCheck(arguments), kCheckUsage);
        EXPECT_EQ(sim::machine().errorOutput, "usage: quillmend-check.exe [/registry | /user] (no argument: both)\r\n");
        EXPECT_TRUE(sim::machine().output.empty());
        EXPECT_TRUE(sim::machine().log.empty());
    }
}

}  // namespace
