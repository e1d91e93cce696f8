#include "app/check.h"

#include "app/run.h"
#include "tests/sim/machine_test.h"

namespace {

using CheckTest = ProfileTest;

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
    EXPECT_EQ(startCheck(), kCheckRegistryRemains | kCheckExtendDatRemains);
    EXPECT_EQ(sim::machine().output,
              "product: release 900, build 1000\r\n"
              "extensions key: present and readable\r\n"
              "keeps: KestrinCorp90\r\n"
              "would delete: KestrinCorp810\r\n"
              "would delete: KestrinCorp801\r\n"
              "would delete: Marvil\r\n"
              "setup extension: Outlook Setup Extension does not hold what a run writes\r\n"
              "roaming Extend.dat: present and stale (a file): a run deletes it unless it is in use or read-only, at " + kRoamingCopy + "\r\n"
              "local Extend.dat: present and stale (a file): a run deletes it unless it is in use or read-only, at " + kLocalCopy + "\r\n"
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
    EXPECT_EQ(sim::outputLines("verdict: "), std::vector<std::string>{"nothing left for quillmend.exe /S to do (exit code 0)"});
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
         kCheckCannotTell, "verdict: ", "cannot tell: a key exists but it or its last-write time cannot be read (exit code 4)"},
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
         kCheckRegistryRemains, "setup extension: ", "Outlook Setup Extension does not hold what a run writes"},
        {"setup value without its NUL", "",
         [] { sim::setValue(kExtensionsKey, "Outlook Setup Extension", sim::kRegSz, {kSetupData, kSetupData + 50}); },
         kCheckRegistryRemains, "setup extension: ", "Outlook Setup Extension does not hold what a run writes"},
        {"release 802", "", [] { installRelease(802, 600); sim::setString(kExtensionsKey, "Marvil", "x"); }, 0,
         "keeps: ", "none (this release owns no registration)"},
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
         "local Extend.dat: ", "present and stale (a file): a run deletes it unless it is in use or read-only, at C:\\Users\\ann\\AppData\\Local\\Microsoft\\Outlook\\Extend.dat"},
        {"no Extensions key, a copy left", "/user",
         [] { sim::machine().keys.erase(kExtensionsKey); sim::addFile(kRoamingCopy); }, 0, "roaming Extend.dat: ",
         "present, no registrations to rebuild it from (a file): nothing to do, at C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\Extend.dat"},
        {"key time unreadable, a copy left", "/user",
         [] { sim::machine().keyTimeUnreadable.insert(kExtensionsKey); sim::addFile(kLocalCopy, false, ~0ull); },
         kCheckCannotTell, "local Extend.dat: ",
         "present (a file), cannot tell whether stale (the Extensions key's last change cannot be read), at C:\\Users\\ann\\AppData\\Local\\Microsoft\\Outlook\\Extend.dat"},
        {"key unreadable, a copy left", "/user",
         [] { sim::addKey(kExtensionsKey, sim::KeyState::Unreadable); sim::addFile(kRoamingCopy, false, ~0ull); },
         kCheckCannotTell, "verdict: ", "cannot tell: a key exists but it or its last-write time cannot be read (exit code 4)"},
        {"key time unreadable, no copy", "/user", [] { sim::machine().keyTimeUnreadable.insert(kExtensionsKey); }, 0,
         "verdict: ", "nothing left for quillmend.exe /S to do (exit code 0)"},
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
