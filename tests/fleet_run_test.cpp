#include "fleet/fleet_run.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "app/check.h"
#include "app/fleet_run_start.h"
#include "fleet/backup.h"
#include "fleet/event_record.h"
#include "fleet/install.h"
#include "fleet/lock.h"
#include "fleet/run_log.h"
#include "platform/text.h"
#include "tests/fresh_fleet_run.h"
#include "tests/sim/machine_test.h"
#include "tests/sim/windows_descriptors.h"

namespace {

constexpr const char* kProgramFiles = "C:\\Program Files (x86)";
constexpr const char* kInstalled = "C:\\Program Files (x86)\\Quillmend";
constexpr const char* kLogs = "C:\\Program Files (x86)\\Quillmend Logs";
constexpr const char* kRelease = "C:\\Release";
constexpr const char* kUserLogs = "C:\\Users\\ann\\AppData\\Local\\Quillmend";
// 2026-12-09T13:20:05Z, and the backup a run then writes.
constexpr unsigned long long kNow = 134412960050000000ull;
const std::string kBackup = std::string(kLogs) + "\\extensions-0000000001-20261209T132005Z-4242.reg";
const std::string kPartial = kBackup + ".partial";  // until it is whole
const std::string kLog = std::string(kLogs) + "\\quillmend-run.log";
const std::string kLock = std::string(kLogs) + "\\quillmend-run.lck";
const std::string kEventSourceKey = kEventSourceKeys[0];  // the machine half's

std::string path(const char* folder, const std::string& name) { return std::string(folder) + "\\" + name; }

// A machine an engine meets: Program Files, the release folder with the
// three programs, the user's profile, and the demo machine's registrations
// and stale copies.
class FleetTest : public ProfileTest {
protected:
    void SetUp() override {
        ProfileTest::SetUp();
        sim::Machine& m = sim::machine();
        m.now = kNow;
        m.programFilesFolder = kProgramFiles;
        sim::addFolder(kProgramFiles);
        sim::addFolder(kLocal);
        sim::addFolder(kRelease);
        m.programPath = path(kRelease, "quillmend-run.exe");
        for (const char* program : kReleasePrograms) sim::addContent(path(kRelease, program), std::string("new ") + program);
        installRelease(900, 1000);
        addAllEntries();
        sim::addFile(kRoamingCopy);
        sim::addFile(kLocalCopy);
    }

    // Every registry operation that changes something.
    static std::vector<std::string> registryChanges() {
        std::vector<std::string> changes;
        for (const std::string& entry : sim::machine().log) {
            if (entry.rfind("delete ", 0) == 0 || entry.rfind("set ", 0) == 0) changes.push_back(entry);
        }
        return changes;
    }

    static std::vector<std::string> ladderLeft() {
        std::vector<std::string> left;
        for (const char* name : kLadder) {
            if (sim::hasValue(kExtensionsKey, name)) left.push_back(name);
        }
        return left;
    }

    // The log's texts, each line's type before it: "2 verdict: ...".
    static std::vector<std::string> logTexts(const std::string& file = kLog) {
        std::vector<std::string> texts;
        const std::string& content = sim::machine().files[file].content;
        for (size_t at = 0; (at = content.find("<![LOG[", at)) != std::string::npos;) {
            const size_t end = content.find("]LOG]!>", at);
            const size_t type = content.find("type=\"", end) + 6;
            texts.push_back(content.substr(type, 1) + " " + content.substr(at + 7, end - at - 7));
            at = end;
        }
        return texts;
    }
};

TEST_F(FleetTest, RegistryWorkIsBackedUpCleanedLoggedAndRestorable) {
    sim::setValue(kExtensionsKey, "Marvil", 0x12345678, {0xab});  // a type of eight hex digits
    const auto before = sim::machine().values[kExtensionsKey];
    sim::machine().commandLine = "\"C:\\Release\\quillmend-run.exe\" /registry";
    EXPECT_EQ(startFleetRun(), 0);
    EXPECT_EQ(sim::machine().log[0], "dllSearch system32") << "the DLL search is guarded before anything else";
    EXPECT_EQ(sim::machine().log[1], "dllSearch noCurrentDirectory");
    EXPECT_EQ(ladderLeft(), std::vector<std::string>{"KestrinCorp90"});
    EXPECT_EQ(sim::stringValue(kExtensionsKey, kSetupExtension), std::string(kSetupData) + '\0');
    EXPECT_TRUE(sim::hasFile(kRoamingCopy) && sim::hasFile(kLocalCopy)) << "a registry run touches no Extend.dat";
    EXPECT_EQ(sim::machine().files[kLogs].acl, platform::FolderAcl::Logs);
    EXPECT_EQ(sim::filesIn(kLogs), (std::vector<std::string>{"extensions-0000000001-20261209T132005Z-4242.reg", "quillmend-run.lck",
                                                             "quillmend-run.log"}));
    const std::vector<std::string> texts = logTexts();
    ASSERT_GE(texts.size(), 8u);
    EXPECT_EQ(texts[0], "1 quillmend-run.exe /registry as ann on PC-7, check time 2026-12-09T13:20:05Z");
    EXPECT_EQ(texts[1], "1 checked: 2026-12-09T13:20:05Z");
    const std::vector<std::string> expectedTail = {
        "2 verdict: registry work remains (exit code 1)", "1 backup: " + kBackup,
        "1 logon: version 1: each user's stale Extend.dat goes at their next logon", "1 deleted: KestrinCorp810",
        "1 deleted: KestrinCorp801", "1 deleted: Marvil", "1 written: Outlook Setup Extension"};
    EXPECT_NE(std::search(texts.begin(), texts.end(), expectedTail.begin(), expectedTail.end()), texts.end());
    EXPECT_EQ(texts[texts.size() - 2], "1 verdict: nothing left to clean (exit code 0)");
    EXPECT_EQ(texts.back(), "1 exit code 0");
    EXPECT_NE(sim::machine().output.find("verdict: registry work remains (exit code 1)\r\n"), std::string::npos);

    // The backup holds exactly what changed: importing it gives the key back.
    const std::string& saved = sim::machine().files[kBackup].content;
    std::string narrow;
    for (size_t i = 2; i < saved.size(); i += 2) narrow += saved[i];
    EXPECT_NE(narrow.find("\"KestrinCorp810\"=hex(1):78,00\r\n"), std::string::npos) << narrow;
    EXPECT_NE(narrow.find("\"Outlook Setup Extension\"=-\r\n"), std::string::npos) << narrow;
    EXPECT_NE(narrow.find("\"Marvil\"=hex(12345678):ab\r\n"), std::string::npos) << narrow;
    EXPECT_NE(narrow.find("; Quillmend backup 2026-12-09T13:20:05Z; restore: reg import FILE"), std::string::npos) << narrow;
    EXPECT_EQ(narrow.find("KestrinCorp90\""), std::string::npos) << "a value the run keeps is not in it";
    EXPECT_EQ(sim::importRegFile(kBackup), "");
    const auto& after = sim::machine().values[kExtensionsKey];
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [name, value] : before) {
        EXPECT_EQ(after.at(name).type, value.type) << name;
        EXPECT_EQ(after.at(name).data, value.data) << name;
    }
}

TEST_F(FleetTest, AFaultBeforeTheBackupLeavesTheRegistryAlone) {
    struct Case {
        const char* name;
        void (*fault)();
        int code;
        const char* line;  // standard output holds it
    };
    const Case kCases[] = {
        {"lock held", [] { sim::addFolder(kLogs); sim::machine().heldFiles.insert(kLock); }, kRunLockHeld,
         "lock: held by another run for more than 30 seconds"},
        {"log folder a reparse point",
         [] { sim::addFolder(kLogs); sim::setFolderTrust(kLogs, platform::FolderTrust::ReparsePoint); },
         kRunNoBackup, "log: \"C:\\Program Files (x86)\\Quillmend Logs\" is a link (a reparse point); this run keeps no log"},
        {"log folder of a foreign owner",
         [] { sim::addFolder(kLogs); sim::setFolderTrust(kLogs, platform::FolderTrust::ForeignOwner); },
         kRunNoBackup, "backup: not written (no usable log folder); the registry was not changed"},
        {"log folder of a foreign owner, said",
         [] { sim::addFolder(kLogs); sim::setFolderTrust(kLogs, platform::FolderTrust::ForeignOwner); },
         kRunNoBackup,
         "log: \"C:\\Program Files (x86)\\Quillmend Logs\" is not owned by SYSTEM or Administrators; this run keeps no log"},
        {"log folder users may write",
         [] { sim::addFolder(kLogs); sim::setFolderTrust(kLogs, platform::FolderTrust::OthersMayWrite); },
         kRunNoBackup,
         "log: \"C:\\Program Files (x86)\\Quillmend Logs\" lets others than SYSTEM and Administrators write in it; "
         "this run keeps no log"},
        {"log folder users may open, its permissions not to be reset",
         [] {
             sim::addFolder(kLogs);
             sim::setFolderTrust(kLogs, platform::FolderTrust::OthersMayOpen);
             sim::machine().aclResetFails.insert(kLogs);
         },
         kRunNoBackup,
         "log: \"C:\\Program Files (x86)\\Quillmend Logs\" lets others than SYSTEM and Administrators open what it "
         "holds, and its permissions cannot be reset; this run keeps no log"},
        {"Program Files named too long for the log folder's name",
         [] { sim::machine().programFilesFolder = "C:\\" + std::string(244, 'p'); }, kRunNoBackup,
         "log: \"\" is not a folder; this run keeps no log"},
        {"Program Files not named", [] { sim::machine().programFilesFolder.reset(); }, kRunNoBackup,
         "log: \"\" is not a folder; this run keeps no log"},
        {"log folder a file", [] { sim::addContent(kLogs, "a file"); }, kRunNoBackup,
         "log: \"C:\\Program Files (x86)\\Quillmend Logs\" is not a folder; this run keeps no log"},
        {"log folder cannot be made", [] { sim::machine().createFails.insert(kLogs); }, kRunNoBackup,
         "log: \"C:\\Program Files (x86)\\Quillmend Logs\" cannot be made; this run keeps no log"},
        {"backup cannot be created", [] { sim::addFolder(kLogs); sim::machine().createFails.insert(kPartial); },
         kRunNoBackup, "backup: not written (the file cannot be created); the registry was not changed"},
        {"backup cannot be written", [] { sim::machine().writeFails.insert(kPartial); }, kRunNoBackup,
         "backup: not written (a write failed); the registry was not changed"},
        {"backup cannot be renamed once whole", [] { sim::machine().moveFails.insert(kPartial); }, kRunNoBackup,
         "backup: not written (it cannot be put under its name); the registry was not changed"},
        {"a backup of that name made meanwhile",
         [] {
             sim::machine().onOperation = [](const std::string& operation) {
                 if (operation == "fileOpen createNew " + kPartial) sim::addContent(kBackup, "another run's");
             };
         },
         kRunNoBackup, "backup: not written (it cannot be put under its name); the registry was not changed"},
        {"a value to delete unreadable", [] { sim::machine().values[kExtensionsKey]["Marvil"].readDenied = true; },
         kRunNoBackup, "backup: not written (a value is unreadable or too long); the registry was not changed"},
        {"log folder's permissions unreadable",
         [] { sim::addFolder(kLogs); sim::setFolderTrust(kLogs, platform::FolderTrust::Unreadable); },
         kRunNoBackup,
         "log: \"C:\\Program Files (x86)\\Quillmend Logs\" has permissions that cannot be read; this run keeps no log"},
        {"the key opens for reading only (not elevated)",
         [] { sim::machine().keys[kExtensionsKey] = sim::KeyState::Denied; }, kCheckRegistryRemains,
         "registry: the Extensions key cannot be opened to change it; the registry was not changed"},
        {"a value to delete too long",
         [] { sim::setValue(kExtensionsKey, "KestrinCorp801", sim::kRegBinary, std::vector<unsigned char>(2049, 1)); },
         kRunNoBackup, "backup: not written (a value is unreadable or too long); the registry was not changed"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.fault();
        const auto before = sim::machine().values;
        EXPECT_EQ(runFleet("/registry"), c.code) << sim::machine().output;
        EXPECT_TRUE(registryChanges().empty());
        EXPECT_EQ(sim::machine().values, before);
        EXPECT_FALSE(sim::hasFile(kPartial)) << "no partial backup is left";
        EXPECT_EQ(sim::hasFile(kBackup), std::string(c.name) == "a backup of that name made meanwhile");
        EXPECT_NE(sim::machine().output.find(std::string(c.line) + "\r\n"), std::string::npos) << sim::machine().output;
        EXPECT_EQ(sim::machine().openHandles, 0);
        if (c.code == kRunLockHeld) {
            EXPECT_EQ(sim::machine().slept, kLockWaitMilliseconds);
        }
    }
}

// Every value the backup saves at the limit a backup takes, with a type of
// eight hex digits: the text holds them whole, and importing it gives them back.
TEST_F(FleetTest, EveryValueAtTheLimitIsBackedUpWhole) {
    const std::vector<unsigned char> atTheLimit(2048, 0xff);
    for (const char* name : kLadder) sim::setValue(kExtensionsKey, name, 0xffffffff, atTheLimit);
    sim::setValue(kExtensionsKey, kSetupExtension, 0xffffffff, atTheLimit);
    const auto before = sim::machine().values[kExtensionsKey];
    EXPECT_EQ(runFleet("/registry"), 0) << sim::machine().output;
    EXPECT_EQ(ladderLeft(), std::vector<std::string>{"KestrinCorp90"});
    EXPECT_EQ(sim::importRegFile(kBackup), "");
    EXPECT_EQ(sim::machine().values[kExtensionsKey], before);
}

// Kestrin or someone else changes the key after the run has made its plan
// and saved its backup: nothing is deleted that the backup does not hold as
// it was deleted, and the next run, with a backup of its own, takes the rest.
TEST_F(FleetTest, AChangeAfterThePlanIsLeftForTheNextRun) {
    struct Case {
        const char* name;
        void (*change)();
        std::vector<std::string> left, leftByTheNextRun;
        const char* line;
    };
    const Case kCases[] = {
        {"Kestrin upgraded to 900 and registered",
         [] {
             installRelease(900, 1000);
             sim::setString(kExtensionsKey, "KestrinCorp90", "new");
         },
         {"KestrinCorp90", "KestrinCorp810", "KestrinCorp801", "Marvil"}, {"KestrinCorp90"},
         "kept: every registration (the release changed after the backup; the next run takes them)"},
        // Its first byte only: the comparison is of every byte.
        {"a registration rewritten", [] { sim::setString(kExtensionsKey, "Marvil", "y"); }, {"KestrinCorp810", "Marvil"},
         {"KestrinCorp810"}, "kept: Marvil (it changed after the backup; the next run looks again)"},
        {"a registration deleted by someone else", [] { sim::machine().values[kExtensionsKey].erase("Marvil"); },
         {"KestrinCorp810"}, {"KestrinCorp810"}, "kept: Marvil (it changed after the backup; the next run looks again)"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        installRelease(810, 0);
        sim::machine().values[kExtensionsKey].erase("KestrinCorp90");
        sim::setString(kExtensionsKey, kSetupExtension, "old");
        std::map<std::string, sim::Value> deleted;  // each value as it was when the run deleted it
        sim::machine().onOperation = [&](const std::string& operation) {
            if (operation == "fileOpen createNew " + kPartial) c.change();
            if (operation.rfind("delete ", 0) == 0) deleted[operation.substr(7)] = sim::machine().values[kExtensionsKey][operation.substr(7)];
        };
        const int code = runFleet("/registry");
        EXPECT_EQ(code, std::string(c.name) == "a registration deleted by someone else" ? 0 : kCheckRegistryRemains);
        sim::machine().onOperation = nullptr;
        EXPECT_EQ(ladderLeft(), c.left);
        EXPECT_NE(sim::machine().output.find(std::string(c.line) + "\r\n"), std::string::npos) << sim::machine().output;
        EXPECT_EQ(deleted.count("Outlook Setup Extension"), 0u) << "the value a run writes is written, not deleted";
        const auto after = sim::machine().values;
        EXPECT_EQ(sim::importRegFile(kBackup), "");
        for (const auto& [name, value] : deleted) {
            EXPECT_EQ(sim::machine().values[kExtensionsKey][name], value) << name << " is in the backup as it was deleted";
        }
        sim::machine().values = after;
        sim::machine().processId = 4343;
        EXPECT_EQ(runFleet("/registry"), 0);
        EXPECT_EQ(ladderLeft(), c.leftByTheNextRun);
    }
}

TEST_F(FleetTest, AnotherRunFinishingInTimeIsWaitedFor) {
    sim::addFolder(kLogs);
    sim::machine().heldFiles.insert(kLock);
    sim::machine().heldUntil = 2000;
    EXPECT_EQ(runFleet("/registry"), 0);
    EXPECT_EQ(sim::machine().slept, 2000u);
    EXPECT_EQ(ladderLeft(), std::vector<std::string>{"KestrinCorp90"});
}

TEST_F(FleetTest, TheLogRollsOverAtOneMebibyteAndOneThatCannotBeWrittenChangesNothingElse) {
    for (const size_t size : {size_t{1024 * 1024 - 1}, size_t{1024 * 1024}}) {
        SCOPED_TRACE(size);
        SetUp();
        sim::addFolder(kLogs);
        sim::addContent(kLog, std::string(size, 'x'));
        EXPECT_EQ(runFleet("/registry"), 0);
        EXPECT_EQ(sim::hasFile(path(kLogs, "quillmend-run.lo_")), size == 1024 * 1024);
    }
    SetUp();
    sim::addFolder(kLogs);
    sim::machine().heldFiles.insert(kLog);
    EXPECT_EQ(runFleet("/registry"), 0);
    EXPECT_EQ(ladderLeft(), std::vector<std::string>{"KestrinCorp90"});
    EXPECT_TRUE(sim::hasFile(kBackup));
    EXPECT_NE(sim::machine().output.find("log: cannot write \"" + kLog + "\" (error 32); this run keeps no log\r\n"),
              std::string::npos);
}

TEST_F(FleetTest, ExitZeroOnlyWhenTheCheckAfterSaysSo) {
    sim::machine().values[kExtensionsKey]["Marvil"].deleteFails = true;
    EXPECT_EQ(runFleet("/registry"), kCheckRegistryRemains);
    EXPECT_EQ(logTexts().back(), "3 exit code 1");
    // Outlook deleted the setup value: nothing to do, nothing written.
    SetUp();
    runFleet("/registry");
    sim::machine().values[kExtensionsKey].erase(kSetupExtension);
    sim::machine().log.clear();
    EXPECT_EQ(runFleet("/registry"), 0);
    EXPECT_TRUE(registryChanges().empty());
    EXPECT_FALSE(sim::hasValue(kExtensionsKey, kSetupExtension));
}

TEST_F(FleetTest, RetentionKeepsTheNewestTwentyAndTheOneJustWritten) {
    // Backups an earlier release named by the clock alone, then ones this
    // release numbered with their times ahead of a clock since set back; then
    // two runs under that clock.
    struct Case {
        const char* name;
        const char* form;  // 25 names, %02d counting from the oldest
        int firstNumber;
        std::string first;  // the first run's own name
    };
    const Case kCases[] = {
        {"an earlier release's names", "extensions-20250101T0000%02dZ-1.reg", 0, kBackup},
        {"an earlier release's names, the clock set back", "extensions-20300101T0000%02dZ-1.reg", 0, kBackup},
        {"numbered ahead of the clock", "extensions-00000000%02d-20300101T000000Z-1.reg", 1,
         path(kLogs, "extensions-0000000026-20261209T132005Z-4242.reg")},
    };
    constexpr unsigned kRuns = 2;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sim::addFolder(kLogs);
        std::vector<std::string> old;
        for (int i = 0; i < 25; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, c.form, i + c.firstNumber);
            old.push_back(name);
            sim::addContent(path(kLogs, old.back()), "old");
        }
        const std::string leftover = path(kLogs, "extensions-20250101T000000Z-7.reg.partial");  // a run ended midway
        sim::addContent(leftover, "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL");
        for (unsigned run = 0; run < kRuns; ++run) {
            addAllEntries();
            sim::machine().processId = 4242 + run;
            EXPECT_EQ(runFleet("/registry"), 0);
        }
        EXPECT_FALSE(sim::hasFile(leftover));
        std::vector<std::string> backups;
        for (const std::string& name : sim::filesIn(kLogs)) {
            if (name.rfind("extensions-", 0) == 0) backups.push_back(name);
        }
        EXPECT_EQ(backups.size(), kBackupsKept);
        EXPECT_TRUE(sim::hasFile(c.first)) << "the first run's backup stays, whatever the clock says";
        // The oldest went: of the 25, the last 20 - 2 stay.
        const size_t gone = 25 - (kBackupsKept - kRuns);
        EXPECT_FALSE(sim::hasFile(path(kLogs, old[gone - 1])));
        EXPECT_TRUE(sim::hasFile(path(kLogs, old[gone])));
    }
}

TEST_F(FleetTest, UserRunDeletesOnlyStaleCopiesItCanReachAndNeverTouchesTheRegistry) {
    struct Case {
        const char* name;
        void (*change)();
        int code;
        bool roamingLeft;
        const char* line;
        const char* logged = nullptr;  // the line as the log holds it (UTF-8), where it differs
    };
    const Case kCases[] = {
        {"both stale", [] {}, 0, false, "deleted: C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\Extend.dat"},
        {"roaming named in the code page",
         [] {
             sim::machine().files.erase(kRoamingCopy);
             sim::machine().roamingFolder = "C:\\Users\\Caf\xe9";
             sim::addFile("C:\\Users\\Caf\xe9\\Microsoft\\Outlook\\Extend.dat");
         },
         0, false, "deleted: C:\\Users\\Caf\xe9\\Microsoft\\Outlook\\Extend.dat",
         "deleted: C:\\Users\\Caf\xc3\xa9\\Microsoft\\Outlook\\Extend.dat"},
        {"roaming read-only", [] { sim::machine().files[kRoamingCopy].readOnly = true; }, kCheckExtendDatRemains, true,
         "kept: C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\Extend.dat (delete it by hand)"},
        {"roaming in use", [] { sim::machine().files[kRoamingCopy].deleteFails = true; }, kCheckExtendDatRemains, true,
         "kept: C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Outlook\\Extend.dat (deleting it failed: error 5)"},
        {"roaming rebuilt", [] { sim::machine().files[kRoamingCopy].created = sim::machine().files[kRoamingCopy].written = 99; },
         0, true, "verdict: nothing left to clean (exit code 0)"},
        {"a service account", [] { sim::machine().serviceAccount = true; }, kCheckCannotTell, true,
         "verdict: cannot tell what is left: a line above says why (exit code 4)"},
        // What it cannot tell about stops the half: it deletes nothing then.
        {"roaming stale, local not looked up", [] { sim::machine().lookupErrors[kLocalCopy] = 5; }, kCheckCannotTell,
         true, "verdict: cannot tell what is left: a line above says why (exit code 4)"},
        {"roaming named outside the code page",
         [] {
             sim::machine().files.erase(kRoamingCopy);
             sim::machine().roamingFolder = "C:\\Users\\ann\\???";
             sim::machine().wideFolders[26] = "C:\\Users\\ann\\\u65e5";
             sim::addFile(sim::machine().wideFolders[26] + "\\Microsoft\\Outlook\\Extend.dat");
         },
         kCheckExtendDatRemains, false,
         "roaming Extend.dat: present and stale (a file), out of a run's reach (the folder's name holds characters "
         "outside the ANSI code page): delete it by hand, at (UTF-8) C:\\Users\\ann\\\u65e5\\Microsoft\\Outlook\\Extend.dat"},
    };
    // Each as /user, and as the logon program, which runs the same half.
    for (const Case& c : kCases) {
      for (const bool logon : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (logon ? ", at a logon" : ""));
        SetUp();
        c.change();
        auto before = sim::machine().values;
        sim::machine().programPath = path(kRelease, logon ? "quillmend-logon.exe" : "quillmend-run.exe");
        EXPECT_EQ(logon ? runLogon() : runFleet("/user"), c.code);
        // Work left at a logon: the one change beyond the files, the program once more at the next logon.
        EXPECT_EQ(sim::hasValue(kRunOnce, "Quillmend"), logon && c.code != 0);
        if (logon && c.code != 0) {
            EXPECT_EQ(sim::stringValue(kRunOnce, "Quillmend"), "\"" + path(kRelease, "quillmend-logon.exe") + "\"" + '\0');
            before[kRunOnce] = sim::machine().values[kRunOnce];
        }
        if (logon) {
            EXPECT_EQ(sim::machine().events.back().text.rfind("quillmend-logon.exe as ann on PC-7", 0), 0u);
        }
        EXPECT_EQ(sim::machine().values, before);
        EXPECT_TRUE(sim::logged("openForValues").empty() && registryChanges().empty());
        EXPECT_EQ(sim::hasFile(kRoamingCopy), c.roamingLeft);
        EXPECT_NE(sim::machine().output.find(std::string(c.line) + "\r\n"), std::string::npos) << sim::machine().output;
        const std::vector<std::string> texts = logTexts(kUserLogs + std::string("\\quillmend-run.log"));
        const std::string logged = c.logged != nullptr ? c.logged : c.line;
        const auto found =
            std::find_if(texts.begin(), texts.end(), [&](const std::string& t) { return t.find(logged) == 2; });
        ASSERT_NE(found, texts.end()) << "the log holds the line";
        EXPECT_TRUE(c.code != kCheckCannotTell || (*found)[0] == '3') << "a verdict that cannot tell is an error";
        EXPECT_EQ(sim::machine().files[kUserLogs].acl, platform::FolderAcl::Inherited);
        EXPECT_FALSE(sim::hasFile(kLogs)) << "the machine's log folder is not a user run's";
      }
    }
}

TEST_F(FleetTest, TheLogonProgramNeverWaitsForItsLock) {
    sim::addFolder(kUserLogs);
    sim::machine().heldFiles.insert(path(kUserLogs, "quillmend-run.lck"));
    sim::machine().heldUntil = ~0ull;
    EXPECT_EQ(runLogon(), kCheckCannotTell);
    EXPECT_EQ(sim::machine().slept, 0u) << "a logon waits for nobody";
    EXPECT_TRUE(sim::hasFile(kRoamingCopy) && sim::hasFile(kLocalCopy));
    EXPECT_NE(sim::machine().output.find("lock: held by another run; nothing done at this logon\r\n"), std::string::npos);
    EXPECT_TRUE(sim::hasValue(kRunOnce, "Quillmend")) << "the next logon tries again";
    EXPECT_EQ(sim::machine().events.back().source, "Quillmend User");
    EXPECT_EQ(sim::machine().events.back().id, 2003u);
}

TEST_F(FleetTest, NoArgumentRunsBothHalves) {
    EXPECT_EQ(runFleet(""), 0);
    EXPECT_EQ(ladderLeft(), std::vector<std::string>{"KestrinCorp90"});
    EXPECT_FALSE(sim::hasFile(kRoamingCopy) || sim::hasFile(kLocalCopy));
    EXPECT_EQ(logTexts(kUserLogs + std::string("\\quillmend-run.log")).back(), "1 exit code 0");
    // The registry half cannot back up: its 8 speaks first, the user half still runs.
    SetUp();
    sim::machine().createFails.insert(kLogs);
    EXPECT_EQ(runFleet(""), kRunNoBackup);
    EXPECT_FALSE(sim::hasFile(kRoamingCopy));
    // Registry work left (1) and a user half that cannot tell (4): cannot tell, not the two combined.
    SetUp();
    sim::machine().serviceAccount = true;
    sim::addKey(kExtensionsKey, sim::KeyState::Denied);
    EXPECT_EQ(runFleet(""), kCheckCannotTell);
}

// Each half's outcome: one record, its ID and level, and a text that says
// what the half said, the log's path last.
TEST_F(FleetTest, EachHalfLeavesOneEventLogRecordForItsOutcome) {
    struct Case {
        const char* name;
        const char* arguments;
        void (*setUp)();
        std::vector<std::pair<unsigned long, unsigned short>> records;  // ID, level
        std::vector<std::string> lines;                                  // of the last record, in order
    };
    const std::string userLog = std::string("log: ") + kUserLogs + "\\quillmend-run.log";
    const Case kCases[] = {
        {"registry cleaned", "/registry", [] {}, {{1001, platform::kEventInformation}},
         {"quillmend-run.exe /registry as ann on PC-7, check time 2026-12-09T13:20:05Z",
          "verdict: registry work remains (exit code 1)", "backup: " + kBackup, "deleted: Marvil",
          "written: Outlook Setup Extension", "verdict: nothing left to clean (exit code 0)", "exit code 0",
          "log: " + kLog}},
        {"registry clean already", "/registry", [] { runFleet("/registry"); sim::machine().events.clear(); },
         {{1000, platform::kEventInformation}}, {"verdict: nothing left to clean (exit code 0)", "exit code 0"}},
        {"registry work remains", "/registry", [] { sim::machine().values[kExtensionsKey]["Marvil"].deleteFails = true; },
         {{1002, platform::kEventWarning}},
         {"verdict: registry work remains (exit code 1)", "kept: Marvil (deleting it failed)", "exit code 1"}},
        {"registry not backed up", "/registry", [] { sim::machine().createFails.insert(kPartial); },
         {{1003, platform::kEventError}}, {"backup: not written (the file cannot be created); the registry was not changed",
                                           "exit code 8"}},
        {"lock held", "/registry", [] { sim::addFolder(kLogs); sim::machine().heldFiles.insert(kLock); },
         {{1003, platform::kEventError}}, {"lock: held by another run for more than 30 seconds", "exit code 9"}},
        {"install failed", "/install", [] { sim::machine().files.erase(path(kRelease, "quillmend.exe")); },
         {{1003, platform::kEventError}}, {"install: quillmend.exe is missing from \"C:\\Release\"", "exit code 6"}},
        {"user cleaned", "/user", [] {}, {{2001, platform::kEventInformation}},
         {"verdict: a stale Extend.dat remains (exit code 2)", "deleted: " + kRoamingCopy, "deleted: " + kLocalCopy,
          "verdict: nothing left to clean (exit code 0)", "exit code 0", userLog}},
        {"user cleaned, a folder named in the code page", "/user",
         [] {
             sim::machine().roamingFolder = "C:\\Users\\Zo\xe9";
             sim::addFile("C:\\Users\\Zo\xe9\\Microsoft\\Outlook\\Extend.dat");
         },
         {{2001, platform::kEventInformation}},
         {"roaming Extend.dat: present and stale (a file): a run deletes it unless it is in use, at "
          "C:\\Users\\Zo\xc3\xa9\\Microsoft\\Outlook\\Extend.dat"}},
        {"user clean already", "/user", [] { sim::machine().files.clear(); sim::addFolder(kLocal); },
         {{2000, platform::kEventInformation}}, {"exit code 0"}},
        {"user work remains", "/user", [] { sim::machine().files[kRoamingCopy].readOnly = true; },
         {{2002, platform::kEventWarning}}, {"kept: " + kRoamingCopy + " (delete it by hand)", "exit code 2"}},
        {"user cannot tell", "/user", [] { sim::machine().serviceAccount = true; }, {{2003, platform::kEventError}},
         {"exit code 4"}},
        {"both halves", "", [] {}, {{1001, platform::kEventInformation}, {2001, platform::kEventInformation}},
         {"quillmend-run.exe /user as ann on PC-7, check time 2026-12-09T13:20:05Z", "exit code 0", userLog}},
        {"uninstall: the source goes, no record", "/uninstall", [] {}, {}, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.setUp();
        runFleet(c.arguments);
        const std::vector<sim::Event>& events = sim::machine().events;
        ASSERT_EQ(events.size(), c.records.size());
        for (size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i].id, c.records[i].first);
            EXPECT_EQ(events[i].source, events[i].id >= kEventUserHalf ? kUserEventSource : kEventSource);
            EXPECT_EQ(events[i].type, c.records[i].second);
        }
        if (events.empty()) continue;
        // The record's lines are the half's own, in its order; the log's path ends it.
        const std::string& text = events.back().text;
        size_t at = 0;
        for (const std::string& line : c.lines) {
            const size_t found = text.find(line + "\r\n", at);
            EXPECT_NE(found, std::string::npos) << line << " in\n" << text;
            if (found != std::string::npos) at = found + line.size();
        }
    }
}

// A half that says more than a record holds: whole lines in order, the cut
// said, the log's path kept; the log has every line.
TEST_F(FleetTest, ALongRecordIsCutBetweenLinesAndStillNamesTheLog) {
    sim::addFolder(kLogs);
    const std::unique_ptr<RunLog> log(new RunLog());
    startEventText(log.get());
    openLog(log.get(), kLogs);
    // Long and short lines in turn: a short one would still fit after a long one did not.
    const auto line = [](int i) { return "line " + std::to_string(i) + (i % 2 == 0 ? std::string(300, '.') : ""); };
    for (int i = 0; i < 60; ++i) logFact(log.get(), kLogInfo, "%", line(i).c_str());
    logFact(log.get(), kLogInfo, "too long: %", std::string(5000, 'x').c_str());  // the fact without its argument
    reportEventRecord(log.get(), RunHalf::Registry, 1, 0);
    closeLog(log.get());
    ASSERT_EQ(sim::machine().events.size(), 1u);
    const std::string& text = sim::machine().events[0].text;
    EXPECT_LT(text.size(), 8192u);
    const std::string tail = "(cut: the rest is in the log)\r\nlog: " + kLog + "\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // Every line before the cut is whole and in its place.
    const std::string lines = text.substr(0, text.size() - tail.size());
    std::string expected;
    for (int i = 0; expected.size() < lines.size(); ++i) expected += line(i) + "\r\n";
    EXPECT_EQ(lines, expected);
    EXPECT_NE(sim::machine().files[kLog].content.find(line(59)), std::string::npos);
    EXPECT_NE(sim::machine().files[kLog].content.find("<![LOG[too long: %]LOG]!>"), std::string::npos);
}

// A record that cannot be written is one line; the run is the same.
TEST_F(FleetTest, ARecordThatCannotBeWrittenChangesNothingElse) {
    EXPECT_EQ(runFleet(""), 0);
    const auto values = sim::machine().values;
    const std::string output = sim::machine().output;
    SetUp();
    sim::machine().eventError = 1502;  // ERROR_LOG_FILE_FULL
    EXPECT_EQ(runFleet(""), 0);
    EXPECT_EQ(sim::machine().values, values);
    const std::string line = "event: the record for source Quillmend was not written (error 1502)\r\n";
    // Each half's "exit code 0" is followed by the line, with the half's own source.
    std::string expected;
    const char* const sources[] = {"Quillmend", "Quillmend User"};
    int half = 0;
    for (size_t at = 0, end; (end = output.find("exit code 0\r\n", at)) != std::string::npos; at = end + 13) {
        expected += output.substr(at, end + 13 - at) + "event: the record for source " + sources[half++ % 2] +
                    " was not written (error 1502)\r\n";
    }
    EXPECT_EQ(sim::machine().output, expected);
    EXPECT_EQ(logTexts().back(), "2 " + line.substr(0, line.size() - 2));
}

TEST_F(FleetTest, VerbsAreComparedAsTheCheckComparesItsSwitches) {
    EXPECT_EQ(parseRunVerb(""), RunVerb::Both);
    EXPECT_EQ(parseRunVerb("  "), RunVerb::Both);
    EXPECT_EQ(parseRunVerb("/Registry "), RunVerb::Registry);
    EXPECT_EQ(parseRunVerb("\t/USER"), RunVerb::User);
    EXPECT_EQ(parseRunVerb("/install"), RunVerb::Install);
    EXPECT_EQ(parseRunVerb("/UnInstall"), RunVerb::Uninstall);
    EXPECT_EQ(parseRunVerb(" /ROLLBACK"), RunVerb::Rollback);
    EXPECT_EQ(parseRunVerb("/restore"), RunVerb::Restore);
    for (const char* wrong : {"/S", "/registry /user", "-user", "/users", "install"}) {
        SCOPED_TRACE(wrong);
        SetUp();
        EXPECT_EQ(runFleet(wrong), kCheckUsage);
        EXPECT_EQ(sim::machine().errorOutput,
                  "usage: quillmend-run.exe [/registry | /user | /install | /uninstall | /rollback | /restore] (none: "
                  "/registry, then /user)\r\n");
        EXPECT_TRUE(sim::machine().log.empty()) << "nothing done";
    }
}

// The release folders, by name, below the install folder.
std::string releaseFolder(const std::string& name) { return path(kInstalled, name); }
const std::string kThisFolder = releaseFolder(kThisRelease);
const std::string kOldFolder = releaseFolder("2.0.0");
const std::string kNewerFolder = releaseFolder("10.0.1");

// The installed release's folder, as the detection finds it: the highest
// version-named folder that holds the check and no mark; "" for none.
std::string installedFolder() {
    std::string best;
    ReleaseNumber bestNumber{};
    for (const std::string& name : sim::filesIn(kInstalled)) {
        ReleaseNumber number;
        const std::string folder = releaseFolder(name);
        if (!parseReleaseName(name.c_str(), &number) || !sim::hasFile(path(folder.c_str(), "quillmend-check.exe")) ||
            sim::hasFile(path(folder.c_str(), "retired"))) {
            continue;
        }
        if (best.empty() || std::lexicographical_compare(bestNumber.parts, bestNumber.parts + 4, number.parts, number.parts + 4)) {
            best = folder;
            bestNumber = number;
        }
    }
    return best;
}

// The installed release's files and their contents.
std::map<std::string, std::string> installed() {
    std::map<std::string, std::string> files;
    const std::string folder = installedFolder();
    if (folder.empty()) return files;
    for (const std::string& name : sim::filesIn(folder)) files[name] = sim::machine().files[path(folder.c_str(), name)].content;
    return files;
}

std::map<std::string, std::string> release(const char* prefix) {
    std::map<std::string, std::string> files;
    for (const char* program : kReleasePrograms) files[program] = std::string(prefix) + program;
    return files;
}

// A release's folder with its programs, each "<prefix><name>".
void addRelease(const std::string& folder, const char* prefix) {
    sim::addFolder(kInstalled);
    sim::addFolder(folder);
    for (const char* program : kReleasePrograms) sim::addContent(path(folder.c_str(), program), std::string(prefix) + program);
}

// Release 2.0.0 installed, as it registered its source.
void installOld() {
    sim::setString(kOldEventSourceKey, "EventMessageFile", "an older release's");
    addRelease(kOldFolder, "old ");
}

TEST_F(FleetTest, InstallIsWholeOrNothing) {
    struct Case {
        const char* name;
        void (*setUp)();
        int code;
        std::map<std::string, std::string> after;
        std::vector<std::string> folders;  // below the install folder after it
        std::string line;
        std::string also = "";  // a second line it says
        const char* command = "/install";
    };
    const std::string installedThis = "install: installed \"" + kThisFolder + "\"";
    const Case kCases[] = {
        {"fresh", [] {}, 0, release("new "), {kThisRelease}, installedThis},
        {"over an older release", installOld, 0, release("new "), {kThisRelease}, installedThis,
         "install: removed \"" + kOldFolder + "\""},
        {"over the programs of a release up to 2.1.0, in the install folder itself",
         [] {
             sim::addFolder(kInstalled);
             for (const char* p : kReleasePrograms) sim::addContent(path(kInstalled, p), std::string("old ") + p);
             sim::addContent(path(kInstalled, "quillmend-run.exe.old"), "older");
         },
         0, release("new "), {kThisRelease},
         "install: removed an earlier release's \"" + path(kInstalled, "quillmend-check.exe") + "\"",
         "install: removed an earlier release's \"" + path(kInstalled, "quillmend-run.exe.old") + "\""},
        // A newer release's deployment may be assigned beside an older one's: the older keeps the newer.
        {"over a newer release", [] { addRelease(kNewerFolder, "other "); }, 0, release("other "), {"10.0.1"},
         std::string("install: \"") + kInstalled + "\" holds release 10.0.1, newer than this one (" + kThisRelease +
             "): kept"},
        {"back to this release over a newer one", [] { addRelease(kNewerFolder, "other "); }, 0, release("new "),
         {kThisRelease},
         std::string("install: \"") + kInstalled + "\" holds release 10.0.1, newer than this one (" + kThisRelease +
             "): replaced, as /rollback asks",
         "install: removed \"" + kNewerFolder + "\"", "/rollback"},
        {"back over a newer one that nothing can take away",
         [] {
             addRelease(kNewerFolder, "other ");
             sim::machine().files[path(kNewerFolder.c_str(), "quillmend-check.exe")].deleteFails = true;
             sim::machine().createFails.insert(path(kNewerFolder.c_str(), "retired"));
         },
         kRunInstallFailed, release("other "), {"10.0.1", kThisRelease},
         "install: a newer release stays installed: run /rollback again once nothing holds it", "", "/rollback"},
        {"the same release again", [] { addRelease(kThisFolder, "new "); }, 0, release("new "), {kThisRelease},
         "install: \"" + kThisFolder + "\" holds this release already"},
        {"a later build of this release", [] { addRelease(kThisFolder, "test build "); }, 0, release("new "),
         {kThisRelease + std::string("+1")}, "install: installed \"" + kThisFolder + "+1\"",
         "install: removed \"" + kThisFolder + "\""},
        {"a program missing from the release",
         [] {
             installOld();
             sim::machine().files.erase(path(kRelease, "quillmend-check.exe"));
         },
         kRunProgramMissing, release("old "), {"2.0.0"}, "install: quillmend-check.exe is missing from \"C:\\Release\""},
        {"a copy failing midway",
         [] {
             installOld();
             sim::machine().writeFails.insert(path(kInstalled, "staging-4242\\quillmend-run.exe"));
         },
         kRunInstallFailed, release("old "), {"2.0.0"},
         "install: copying \"C:\\Release\\quillmend-run.exe\" failed (a write failed)"},
        {"a copy that cannot be made",
         [] {
             installOld();
             sim::machine().createFails.insert(path(kInstalled, "staging-4242\\quillmend-run.exe"));
         },
         kRunInstallFailed, release("old "), {"2.0.0"}, "install: copying \"C:\\Release\\quillmend-run.exe\" failed (error 5)"},
        {"a copy that differs from its source",
         [] {
             installOld();
             sim::machine().writesGarbled.insert(path(kInstalled, "staging-4242\\quillmend-run.exe"));
         },
         kRunInstallFailed, release("old "), {"2.0.0"},
         "install: copying \"C:\\Release\\quillmend-run.exe\" failed (the copy differs)"},
        {"a release folder too long for a program's name",
         [] {
             installOld();
             const std::string folder = "C:\\" + std::string(238, 'r');  // quillmend-run.exe fits, quillmend-check.exe not
             sim::addFolder(folder);
             for (const char* p : {"quillmend.exe", "quillmend-run.exe"}) sim::addContent(folder + "\\" + p, "new");
             sim::machine().programPath = folder + "\\quillmend-run.exe";
         },
         kRunInstallFailed, release("old "), {"2.0.0"}, "install: a path cannot be named"},
        {"the staged folder not to be put in place",
         [] {
             installOld();
             sim::machine().moveFails.insert(path(kInstalled, "staging-4242"));
         },
         kRunInstallFailed, release("old "), {"2.0.0"},
         "install: \"" + path(kInstalled, "staging-4242") + "\" could not be put in place as \"" + kThisFolder + "\""},
        {"what a killed run staged, and a marked folder, left before",
         [] {
             installOld();
             addRelease(path(kInstalled, "staging-77"), "half ");
             addRelease(releaseFolder("1.9.0"), "older ");
             sim::addContent(path(releaseFolder("1.9.0").c_str(), "retired"), "");
         },
         0, release("new "), {kThisRelease}, "install: removed \"" + path(kInstalled, "staging-77") + "\"",
         "install: removed \"" + releaseFolder("1.9.0") + "\""},
        {"the Event Log source denied", [] { sim::addKey(kEventSourceKey, sim::KeyState::Denied); }, 0, release("new "),
         {kThisRelease}, "install: Event Log source Quillmend: not registered (error 5)"},
        {"the log folder, and so the lock, unusable",
         [] {
             installOld();
             sim::addFolder(kLogs);
             sim::setFolderTrust(kLogs, platform::FolderTrust::ForeignOwner);
         },
         kRunInstallFailed, release("old "), {"2.0.0"}, "install: not run without the lock; nothing changed"},
        {"the install folder a link",
         [] {
             installOld();
             sim::setFolderTrust(kInstalled, platform::FolderTrust::ReparsePoint);
         },
         kRunInstallFailed, release("old "), {"2.0.0"},
         std::string("install: \"") + kInstalled + "\" is a link (a reparse point)"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.setUp();
        sim::machine().log.clear();
        EXPECT_EQ(runFleet(c.command), c.code);
        EXPECT_EQ(installed(), c.after);
        EXPECT_EQ(sim::filesIn(kInstalled), c.folders);
        if (!c.also.empty()) {
            EXPECT_NE(sim::machine().output.find(c.also + "\r\n"), std::string::npos) << c.also;
        }
        EXPECT_NE(sim::machine().output.find(c.line + "\r\n"), std::string::npos) << sim::machine().output;
        EXPECT_TRUE(sim::machine().atRestart.empty());
        // After an install that succeeded, the registry half ran.
        EXPECT_EQ(ladderLeft().size(), c.code == 0 ? 1u : 4u);
        // The source names the installed program as its message file, once the install is whole.
        const bool registered = sim::hasValue(kEventSourceKey, "EventMessageFile");
        const bool keptNewer = std::string(c.name) == "over a newer release";  // its own install registered them
        const bool placed = c.code == 0 || std::string(c.name) == "back over a newer one that nothing can take away";
        EXPECT_EQ(registered, placed && !keptNewer && sim::machine().keys[kEventSourceKey] == sim::KeyState::Present);
        for (const char* key : kEventSourceKeys) {
            if (!registered || c.code != 0) break;
            EXPECT_EQ(sim::machine().values[key]["EventMessageFile"].type, sim::kRegExpandSz);
            EXPECT_EQ(sim::stringValue(key, "EventMessageFile"), path(installedFolder().c_str(), "quillmend-run.exe") + '\0');
            EXPECT_EQ(sim::machine().values[key]["TypesSupported"].data, (std::vector<unsigned char>{7, 0, 0, 0}));
            EXPECT_EQ(sim::stringValue(kEventLogKey, "CustomSD"), std::string(kEventLogAccess) + '\0');
            EXPECT_EQ(sim::machine().keys.count(kOldEventSourceKey), 0u) << "the name is in one log only";
        }
        if (std::string(c.name) == "the same release again") {
            EXPECT_TRUE(sim::logged("fileOpen createNew C:\\Program Files (x86)\\Quillmend\\").empty()) << "nothing copied";
        }
        if (std::string(c.name) == "fresh") {
            EXPECT_EQ(sim::machine().files[kInstalled].acl, platform::FolderAcl::Programs);
        }
    }
}

// Each user's half at logon: the component, and a version that rises with a change only.
TEST_F(FleetTest, TheLogonVersionRisesOnlyWithAChange) {
    struct Step {
        const char* what;
        void (*change)();
        const char* command;
        const char* version;  // the component's, "<absent>" without one
    };
    const Step kSteps[] = {
        {"the first install, with work: registered, then raised before the first deletion", [] {}, "/install", "2"},
        {"a second install, nothing to clean", [] {}, "/install", "2"},
        {"a registry run that finds nothing", [] {}, "/registry", "2"},
        {"Outlook consuming its setup value", [] { sim::machine().values[kExtensionsKey].erase(kSetupExtension); },
         "/registry", "2"},
        {"registrations back", addAllEntries, "/registry", "3"},
        {"the component taken away, as a feature update may: put back as it was",
         [] { sim::machine().keys.erase(kLogonComponent); }, "/registry", "3"},
        {"a later build: pointed at its folder, not raised",
         [] {
             for (const char* p : kReleasePrograms) sim::addContent(path(kRelease, p), std::string("newer build ") + p);
         },
         "/install", "3"},
        {"the clock a year back, registrations back: raised all the same",
         [] {
             sim::machine().now -= 365ull * 24 * 3600 * 10000000;
             addAllEntries();
         },
         "/registry", "4"},
        {"the uninstall: the component goes, its count stays", [] {}, "/uninstall", "<absent>"},
        {"installed again, nothing to clean: not lowered, not raised", [] {}, "/install", "4"},
        {"a restore: raised, the registrations back", [] {}, "/restore", "5"},
    };
    for (const Step& step : kSteps) {
        SCOPED_TRACE(step.what);
        step.change();
        sim::machine().now += 10000000;
        EXPECT_EQ(runFleet(step.command), 0) << sim::machine().output;
        const bool registered = sim::hasValue(kLogonComponent, "Version");
        EXPECT_EQ(sim::stringValue(kLogonComponent, "Version"), registered ? step.version + std::string(1, '\0') : step.version);
        if (!registered) continue;
        EXPECT_EQ(sim::stringValue(kLogonComponent, "StubPath"),
                  "\"" + path(installedFolder().c_str(), "quillmend-logon.exe") + "\"" + '\0');
        EXPECT_EQ(sim::machine().values[kLogonComponent]["IsInstalled"].data, (std::vector<unsigned char>{1, 0, 0, 0}));
        EXPECT_FALSE(sim::hasValue(kLogonComponent, "")) << "no name shown at logon";
        EXPECT_EQ(sim::machine().values[kLogonCounter]["Logon run version"].data[0], std::stoi(step.version));
    }
    EXPECT_EQ(ladderLeft().size(), 4u) << "the restore put them back";
}

TEST_F(FleetTest, ARestoreSaysWhichBackupItUsedOrThatThereIsNone) {
    EXPECT_EQ(runFleet("/restore"), kRunNoBackup);
    EXPECT_NE(sim::machine().output.find("restore: no backup in \"" + std::string(kLogs) + "\"; nothing changed\r\n"),
              std::string::npos);
    EXPECT_EQ(runFleet("/registry"), 0);
    // A second run under a clock set back: its backup is the newest by sequence, not by time.
    sim::setString(kExtensionsKey, "Marvil", "a later Marvil");
    sim::machine().now -= 3600ull * 10000000;
    EXPECT_EQ(runFleet("/registry"), 0);
    std::string second;
    for (const std::string& name : sim::filesIn(kLogs)) {
        if (name.rfind("extensions-0000000002-", 0) == 0) second = path(kLogs, name);
    }
    sim::machine().output.clear();
    EXPECT_EQ(runFleet("/restore"), 0);
    EXPECT_NE(sim::machine().output.find("restore: \"" + second + "\"\r\nlogon: version"), std::string::npos)
        << sim::machine().output;
    EXPECT_NE(sim::machine().output.find("restored: Marvil\r\n"), std::string::npos);
    EXPECT_EQ(sim::stringValue(kExtensionsKey, "Marvil"), std::string("a later Marvil") + '\0');
    EXPECT_EQ(sim::stringValue(kExtensionsKey, kSetupExtension), std::string(kSetupData) + '\0') << "as that run found it";
    EXPECT_EQ(sim::machine().values[kExtensionsKey].count("KestrinCorp810"), 0u) << "not in that backup";
    // Run again, as a startup script runs at every startup: its values are back already; no logon run asked for.
    const auto back = sim::machine().values;
    EXPECT_EQ(runFleet("/restore"), 0);
    EXPECT_NE(sim::machine().output.find("restore: the registry holds that backup's values already; nothing changed\r\n"),
              std::string::npos);
    EXPECT_EQ(sim::machine().values, back) << "the logon count as it was";
    // A value that cannot be written back is said, and the run exits 1.
    sim::machine().keys[kExtensionsKey] = sim::KeyState::Denied;
    EXPECT_EQ(runFleet("/restore"), 1);
    EXPECT_NE(sim::machine().output.find("restore: Marvil could not be written back (error 5)\r\n"), std::string::npos);
    sim::machine().keys[kExtensionsKey] = sim::KeyState::Present;
    // A character the run never writes, even on a line of its own after whole ones: not the run's file.
    std::string& content = sim::machine().files[second].content;
    content += std::string("\xe9\0\r\0\n\0", 6);
    EXPECT_EQ(runFleet("/restore"), kRunNoBackup);
    content.resize(content.size() - 6);
    // A file naming another key is not the run's: nothing changes.
    content[content.find(std::string("E\0x\0t\0e\0n", 9))] = 'X';
    const auto restored = sim::machine().values;
    EXPECT_EQ(runFleet("/restore"), kRunNoBackup);
    EXPECT_NE(sim::machine().output.find("is not a backup this program wrote whole; nothing changed\r\n"),
              std::string::npos);
    EXPECT_EQ(sim::machine().values, restored);
}

TEST(ReleaseName, OneSpellingForEachNumber) {
    ReleaseNumber number;
    ASSERT_TRUE(parseReleaseName("3.0.0+12", &number));
    EXPECT_EQ(std::vector<unsigned>(number.parts, number.parts + 4), (std::vector<unsigned>{3, 0, 0, 12}));
    ASSERT_TRUE(parseReleaseName("65535.10.0", &number));
    EXPECT_EQ(std::vector<unsigned>(number.parts, number.parts + 4), (std::vector<unsigned>{65535, 10, 0, 0}));
    for (const char* name : {"3.0", "3.0.0.1", "03.0.0", "3.0.0+", "3.0.0+01", "65536.0.0", "3..0", "3.0.0 ", "staging-1",
                             "3.0.0+1234567890", ""}) {
        EXPECT_FALSE(parseReleaseName(name, &number)) << name;
    }
}

TEST_F(FleetTest, AnOlderReleaseAUserHoldsStaysMarkedUntilALaterRun) {
    installOld();
    const std::string oldCheck = path(kOldFolder.c_str(), "quillmend-check.exe");
    sim::machine().files[oldCheck].running = true;
    EXPECT_EQ(runFleet("/install"), 0);
    EXPECT_EQ(installed(), release("new "));
    EXPECT_EQ(sim::filesIn(kOldFolder), (std::vector<std::string>{"quillmend-check.exe", "retired"}));
    EXPECT_NE(sim::machine().output.find("install: \"" + kOldFolder +
                                         "\" holds a file in use: it stays, as no release, until a later run removes it\r\n"),
              std::string::npos);
    EXPECT_TRUE(sim::machine().atRestart.empty());
    sim::restart();
    EXPECT_EQ(runFleet("/install"), 0);
    EXPECT_EQ(sim::filesIn(kInstalled), std::vector<std::string>{kThisRelease});
}

TEST_F(FleetTest, UninstallRemovesTheProgramsAndKeepsTheLogs) {
    EXPECT_EQ(runFleet("/install"), 0);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        sim::machine().output.clear();
        EXPECT_EQ(runFleet("/uninstall"), 0);
        EXPECT_EQ(sim::machine().output.find("uninstall: \"" + std::string(kInstalled) + "\" is not there\r\n") !=
                      std::string::npos,
                  attempt == 2);
        EXPECT_FALSE(sim::hasFile(kInstalled));
        for (const std::string& key : {kEventSourceKey, std::string(kEventLogKey), std::string(kEventSourceKeys[1])}) {
            EXPECT_EQ(sim::machine().keys.count(key), 0u) << key;
        }
        EXPECT_TRUE(sim::hasFile(kBackup) && sim::hasFile(kLog));
    }
    // A source that cannot be removed fails the uninstall, which still removes the files.
    EXPECT_EQ(runFleet("/install"), 0);
    sim::machine().keys[kEventSourceKey] = sim::KeyState::Denied;
    EXPECT_EQ(runFleet("/uninstall"), 1);
    EXPECT_FALSE(sim::hasFile(kInstalled));
    EXPECT_NE(sim::machine().output.find("uninstall: Event Log source Quillmend: not removed (error 5)\r\n"),
              std::string::npos);
    EXPECT_EQ(runFleet("/uninstall"), 1) << "the folder gone, the source still there";
    sim::machine().keys.erase(kEventSourceKey);
    // Without the lock, nothing is removed.
    EXPECT_EQ(runFleet("/install"), 0);
    sim::setFolderTrust(kLogs, platform::FolderTrust::OthersMayWrite);
    EXPECT_EQ(runFleet("/uninstall"), 1);
    EXPECT_EQ(installed(), release("new "));
    EXPECT_NE(sim::machine().output.find("uninstall: not run without the lock; nothing changed\r\n"), std::string::npos);
    sim::setSecurity(kLogs, sim::folderSddl(platform::FolderAcl::Logs));
    // A check in use: its folder is marked at once as no release, and stays for a later run; nothing waits
    // for a restart, so an install before one keeps what it placed.
    const std::string check = path(kThisFolder.c_str(), "quillmend-check.exe");
    sim::machine().files[check].running = true;
    EXPECT_EQ(runFleet("/uninstall"), 0);
    EXPECT_TRUE(installed().empty());
    EXPECT_TRUE(sim::machine().atRestart.empty());
    EXPECT_NE(sim::machine().output.find("uninstall: \"" + kThisFolder +
                                         "\" holds a file in use: it stays, as no release, until a later run removes it\r\n"),
              std::string::npos);
    EXPECT_EQ(runFleet("/install"), 0);
    EXPECT_EQ(installedFolder(), kThisFolder + "+1");
    sim::restart();
    EXPECT_EQ(installed(), release("new "));
    // Someone else's file in the folder: it stays, and says so.
    sim::addContent(path(kInstalled, "notes.txt"), "mine");
    EXPECT_EQ(runFleet("/uninstall"), 0);
    EXPECT_EQ(sim::filesIn(kInstalled), std::vector<std::string>{"notes.txt"});
    EXPECT_NE(sim::machine().output.find("uninstall: \"" + std::string(kInstalled) +
                                         "\" is not empty: it stays, with no release in it\r\n"),
              std::string::npos);
    // A check that can be neither deleted nor marked: said, and the uninstall fails.
    sim::machine().files.erase(path(kInstalled, "notes.txt"));
    EXPECT_EQ(runFleet("/install"), 0);
    sim::machine().files[check].deleteFails = true;
    sim::machine().createFails.insert(path(kThisFolder.c_str(), "retired"));
    EXPECT_EQ(runFleet("/uninstall"), 1);
    EXPECT_EQ(installed(), release("new "));
    EXPECT_NE(sim::machine().output.find("uninstall: \"" + kThisFolder +
                                         "\" is in use and cannot be marked: it stays installed (error 5)\r\n"),
              std::string::npos);
}

// What the installed programs may not be at any moment; "" when nothing:
// one whole release, old or new, or none before the first install or after
// an uninstall (mayBeNone).
std::string releaseFault(bool mayBeNone) {
    const auto now = installed();
    if (now == release("new ") || now == release("old ") || now == release("other ") || (now.empty() && mayBeNone)) {
        return "";
    }
    std::string names;
    for (const auto& [name, content] : now) names += " " + name + "=" + content;
    return "not one whole release installed (" + installedFolder() + ":" + names + ")";
}

// What a run ended midway and a restart may not leave; "" when nothing.
// before: the Extensions key's values.
std::string endedRunFault(const sim::Values& before, bool mayBeNone) {
    sim::Machine& m = sim::machine();
    const auto values = m.values;
    for (const std::string& name : sim::filesIn(kLogs)) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".reg") != 0) continue;
        const std::string error = sim::importRegFile(path(kLogs, name));
        if (!error.empty()) return name + " has its final name but does not import: " + error;
    }
    for (const auto& [name, value] : before) {
        if (values.at(kExtensionsKey).count(name) != 0) continue;
        if (m.values[kExtensionsKey].count(name) == 0 || !(m.values[kExtensionsKey][name] == value)) {
            return name + " is gone and no backup restores it";
        }
    }
    m.values = values;
    return releaseFault(mayBeNone);
}

// What is wrong with a log that held before and holds now; "" when nothing.
// Every line is one whole CMTrace line, but for the last of before when a
// power cut (cut) may have cut it, and what was added starts a line of its own.
std::string logFault(const std::string& before, const std::string& now, bool cut) {
    if (now.compare(0, before.size(), before) != 0) return "the log lost lines";
    const auto once = [](const std::string& line, const char* part) {
        const size_t at = line.find(part);
        return at != std::string::npos && line.find(part, at + 1) == std::string::npos;
    };
    const std::string tail = "file=\"\">";
    for (size_t at = 0, end; at < now.size(); at = end + 2) {
        end = now.find("\r\n", at);
        const std::string line = now.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const bool whole = end != std::string::npos && line.rfind("<![LOG[", 0) == 0 && once(line, "<![LOG[") &&
                           once(line, "]LOG]!>") && line.size() > tail.size() &&
                           line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
        if (!whole && !(cut && at < before.size() && at + line.size() == before.size())) {
            return "a log line cut: " + line;
        }
        if (end == std::string::npos) break;
    }
    return "";
}

// Each command ended at each of its calls, by a kill or a power cut, then a
// restart and the same commands again, as a new process: nothing is lost or
// half installed, no file is cut, and the next run finishes the work.
TEST_F(FleetTest, ARunEndedAtAnyCallLosesNothingAndTheNextFinishesIt) {
    struct Verb {
        const char* name;
        void (*setUp)();
        std::vector<const char*> commands;
        bool installs, mayBeNone;
    };
    // "let go": the user's process that held a file ends.
    const Verb kVerbs[] = {
        {"/install over an older release", installOld, {"/install"}, true, false},
        {"/install fresh", [] {}, {"/install"}, true, true},
        {"/install over an older release whose check a user holds",
         [] {
             installOld();
             sim::userHolds(path(kOldFolder.c_str(), "quillmend-check.exe"));
         },
         {"/install"}, true, false},
        {"/rollback over a newer release", [] { addRelease(kNewerFolder, "other "); }, {"/rollback"}, true, false},
        {"/uninstall with a program in use, then /install",
         [] {
             installOld();
             sim::machine().files[path(kOldFolder.c_str(), "quillmend-check.exe")].running = true;
         },
         {"/uninstall", "/install"}, true, true},
        {"an upgrade with the check held, let go, /uninstall, /install",
         [] {
             installOld();
             sim::userHolds(path(kOldFolder.c_str(), "quillmend-check.exe"));
         },
         {"/install", "let go", "/uninstall", "/install"}, true, true},
        {"/registry with work", [] {}, {"/registry"}, false, true},
        {"/user with stale copies", [] {}, {"/user"}, false, true},
        {"/registry, then /restore", [] {}, {"/registry", "/restore"}, false, true},
    };
    // The logon count, so that a deletion it did not precede shows.
    const auto logonCount = [](const std::map<std::string, sim::Values>& values) {
        const auto key = values.find(kLogonCounter);
        if (key == values.end() || key->second.count("Logon run version") == 0) return 0u;
        unsigned count = 0;
        std::memcpy(&count, key->second.at("Logon run version").data.data(), sizeof count);
        return count;
    };
    const auto run = [](const char* command) {
        if (std::string(command) != "let go") return runFleet(command);
        sim::machine().heldFiles.clear();
        return 0;
    };
    unsigned tried = 0;
    unsigned broken = 0;
    for (const Verb& verb : kVerbs) {
        SetUp();
        verb.setUp();
        for (const char* command : verb.commands) run(command);
        const unsigned long long calls = sim::machine().calls;
        std::printf("crash points of %s: %llu calls, each ended three ways\n", verb.name, calls);
        // A kill; a power cut before the hives reached the disk; one after, as a flush may have come just before.
        for (const int way : {0, 1, 2}) {
            const sim::Ending how = way == 0 ? sim::Ending::Kill : sim::Ending::PowerCut;
            for (unsigned long long at = 1; at <= calls; ++at) {
                SetUp();
                verb.setUp();
                sim::Machine& m = sim::machine();
                const auto before = m.values[kExtensionsKey];
                const auto valuesAtStart = m.values;
                const auto restartAtStart = m.atRestart;
                m.endAt = at;
                try {
                    for (const char* command : verb.commands) run(command);
                } catch (const sim::ProcessEnded&) {
                }
                const std::string operation = m.log.empty() ? "" : m.log.back();
                sim::endProcess(how);
                // The hives reach the disk by a lazy flusher (RegFlushKey, Microsoft Learn): a power cut may
                // lose every registry change the run made, and with them the moves scheduled for the restart.
                if (way == 1) {
                    m.values = valuesAtStart;
                    m.atRestart = restartAtStart;
                }
                std::string fault = releaseFault(verb.mayBeNone);
                for (const char* name : kLadder) {
                    if (fault.empty() && before.count(name) != 0 && !sim::hasValue(kExtensionsKey, name) &&
                        logonCount(m.values) <= logonCount(valuesAtStart)) {
                        fault = std::string(name) + " deleted before each user's logon run was asked for";
                    }
                }
                sim::restart();
                if (fault.empty()) fault = endedRunFault(before, verb.mayBeNone);
                const bool cut = how == sim::Ending::PowerCut;
                std::string logs[2];
                const std::string kLogFiles[2] = {kLog, std::string(kUserLogs) + "\\quillmend-run.log"};
                for (int i = 0; i < 2; ++i) {
                    if (sim::hasFile(kLogFiles[i])) logs[i] = m.files[kLogFiles[i]].content;
                    if (fault.empty()) fault = logFault(logs[i], logs[i], cut);
                }
                m.processId = 4343;
                m.now += 10000000;
                int code = 0;
                for (const char* command : verb.commands) code = run(command);
                m.output.clear();
                for (int i = 0; i < 2 && fault.empty(); ++i) {
                    fault = logFault(logs[i], sim::hasFile(kLogFiles[i]) ? m.files[kLogFiles[i]].content : "", cut);
                }
                if (fault.empty() && code != 0) fault = "the next run exits " + std::to_string(code);
                const std::string last = verb.commands.back();
                if (last == "/restore") {
                    // Its 0 says the newest backup's registrations are back, which the check then counts as work.
                    std::string newest;
                    for (const std::string& name : sim::filesIn(kLogs)) {
                        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".reg") == 0) newest = name;
                    }
                    std::string text;
                    for (size_t i = 0; i < m.files[path(kLogs, newest)].content.size(); i += 2) {
                        text += m.files[path(kLogs, newest)].content[i];
                    }
                    for (const char* name : kLadder) {
                        if (fault.empty() && text.find("\"" + std::string(name) + "\"=hex") != std::string::npos &&
                            !sim::hasValue(kExtensionsKey, name)) {
                            fault = std::string("the next restore did not put back ") + name;
                        }
                    }
                } else if (fault.empty() && runCheck(last == "/user" ? "/user" : "/registry") != 0) {
                    fault = "the next run's exit 0 is not the check's";
                }
                if (fault.empty() && verb.installs && installed() != release("new ")) fault = "the next run did not install";
                ++tried;
                if (!fault.empty()) {
                    ++broken;
                    ADD_FAILURE() << verb.name << (way == 0 ? ", killed" : way == 1 ? ", power cut" : ", power cut, hives flushed")
                                  << " at call "
                                  << at << " (" << operation << "): " << fault;
                }
            }
        }
    }
    std::printf("crash points: %u tried, %u broken\n", tried, broken);
    EXPECT_EQ(broken, 0u);
}

// A standard user's moves against the SYSTEM runs, each made only where
// Windows lets a standard user make it. None may block the registry half
// for good, lose a backup, break the install, give an exit 0 the check does
// not, or leave the user a way into the machine's log folder.
TEST_F(FleetTest, AStandardUsersMovesAchieveNothing) {
    struct Move {
        const char* name;
        bool (*make)();  // false: Windows refuses it to a standard user
        const char* command;
        int code;      // the command's exit code after the move
        bool restart;  // then a restart, and the command again: exit 0
        const char* madeIsTheAim = nullptr;  // what the move achieves by being made at all
        const char* said = nullptr;          // a line the command says
        const char* installedAfter = "new ";  // the release an /install leaves installed
    };
    static const std::string kOldLock = std::string(kLogs) + "\\quillmend-run.lock";  // what 2.1 used
    static const std::string kRolled = std::string(kLogs) + "\\quillmend-run.lo_";
    static const std::string kOldest = kBackup;  // the first run's
    static const std::string kHeldCheck = path(kOldFolder.c_str(), "quillmend-check.exe");
    static std::string underTheClock;  // the backup of a run under a clock set back
    const Move kMoves[] = {
        {"hold the lock", [] { return sim::userHolds(kLock); }, "/registry", 0, false},
        {"hold the log", [] { return sim::userHolds(kLog); }, "/registry", 0, false},
        {"hold the rolled log", [] { return sim::userHolds(kRolled); }, "/registry", 0, false},
        {"hold the oldest backup", [] { return sim::userHolds(kOldest); }, "/registry", 0, false},
        {"pre-create the lock",
         [] {
             sim::machine().files.erase(kLock);
             return sim::userCreates(kLock) || sim::userCreates(kOldLock);
         },
         "/registry", 0, false},
        {"pre-create a backup's name", [] { return sim::userCreates(kPartial); }, "/registry", 0, false},
        {"pre-create or link the log folder",
         [] {
             for (const std::string& name : sim::filesIn(kLogs)) sim::machine().files.erase(path(kLogs, name));
             sim::machine().files.erase(kLogs);
             return sim::userCreates(kLogs, true);
         },
         "/registry", 0, false},
        {"pre-create or link the install folder",
         [] {
             for (const std::string& name : sim::filesIn(kInstalled)) sim::machine().files.erase(path(kInstalled, name));
             sim::machine().files.erase(kInstalled);
             return sim::userCreates(kInstalled, true);
         },
         "/install", 0, false},
        {"pre-create the staging folder", [] { return sim::userCreates(path(kInstalled, "staging-4343"), true); },
         "/install", 0, false},
        // A link needs a name in the folder: the right to create a file there, as any file does.
        {"link a file in the log folder", [] { return sim::userCreates(kRolled + ".link"); }, "/registry", 0, false},
        {"link a file in the install folder", [] { return sim::userCreates(path(kInstalled, "quillmend-check.exe")); },
         "/install", 0, false},
        {"mark the installed release as retired", [] { return sim::userCreates(path(kOldFolder.c_str(), "retired")); },
         "/registry", 0, false},
        {"hold the installed check through an upgrade", [] { return sim::userHolds(kHeldCheck); }, "/install", 0, false},
        {"hold a newer release's check, for a downgrade",
         [] {
             addRelease(kNewerFolder, "other ");
             return sim::userHolds(path(kNewerFolder.c_str(), "quillmend-check.exe"));
         },
         "/install", 0, false, nullptr, nullptr, "other "},
        // Share mode 0 refuses every later open for reading ("CreateFileA", Microsoft Learn), and so every start.
        {"hold the installed quillmend-run.exe", [] { return sim::userHolds(path(kOldFolder.c_str(), "quillmend-run.exe")); },
         "/registry", 0, false},
        {"start on a machine whose log folder an earlier release left open to Users, holding its lock and log",
         [] {
             sim::addContent(kOldLock, "");
             sim::setSecurity(kLogs, sim::kOldLogFolderSddl);
             return sim::userHolds(kOldLock) && sim::userHolds(kLog);
         },
         "/registry", 0, false, nullptr,
         "log: \"C:\\Program Files (x86)\\Quillmend Logs\" let others than SYSTEM and Administrators open what it "
         "holds; now it lets only them"},
        // The user's own run, as the user, beside SYSTEM's.
        {"start a run of the user's own at the same time",
         [] {
             sim::Machine& m = sim::machine();
             m.actor = "a standard user";
             m.output.clear();
             const int code = runFleet("/registry");
             const bool tookTheLock = m.output.find("lock: cannot open") == std::string::npos;
             m.actor = "SYSTEM";
             m.output.clear();
             return tookTheLock || code == 0;
         },
         "/registry", 0, false, "the user's run took the machine lock, or said it did the work"},
        // Not the user's move (only Administrators and LOCAL SERVICE may set the clock), but Windows' own: a
        // snapshot restored. With 19 backups kept, a run under that clock, then the command.
        {"the clock goes back by itself, 20 backups kept",
         [] {
             sim::Machine& m = sim::machine();
             for (int i = 2; i <= 19; ++i) {
                 char name[64];
                 std::snprintf(name, sizeof name, "extensions-%010d-20261209T1330%02dZ-1.reg", i, i);
                 sim::addContent(path(kLogs, name), m.files.at(kOldest).content);
             }
             m.now -= 365ull * 24 * 3600 * 10000000;
             runFleet("/registry");
             for (const std::string& name : sim::filesIn(kLogs)) {
                 if (name.rfind("extensions-0000000020-", 0) == 0) underTheClock = path(kLogs, name);
             }
             addAllEntries();
             return !underTheClock.empty();
         },
         "/registry", 0, false},
        {"forge the machine half's record", [] { return sim::userReportsEvent(kEventSource); }, "/registry", 0, false,
         "a record in the machine half's name"},
    };
    unsigned achieved = 0;
    std::vector<std::string> achievedMoves;
    for (const Move& move : kMoves) {
        SetUp();
        underTheClock.clear();
        sim::setSecurity(kProgramFiles, sim::kProgramFilesSddl);
        sim::setSecurity(kRelease, sim::kEngineCacheSddl);
        sim::setSecurity("C:\\Users\\ann", sim::kProfileSddl);
        installOld();
        runFleet("/install");  // the log folder, its lock, log and first backup, this release installed
        sim::Machine& m = sim::machine();
        m.now += 10000000;  // the runs after: a backup name of their own
        m.processId = 4343;
        sim::addContent(kRolled, "");
        for (auto file = m.files.begin(); file != m.files.end();) {
            file = file->first.rfind(std::string(kInstalled) + "\\", 0) == 0 ? m.files.erase(file) : std::next(file);
        }
        installOld();  // an older release again, and registry work again
        addAllEntries();
        const auto before = m.values[kExtensionsKey];
        const bool made = move.make();
        std::string aim = made && move.madeIsTheAim != nullptr ? move.madeIsTheAim : "";
        // Every command but the install, which runs from the engine's own copy, starts the installed program.
        const std::string runProgram = path(installedFolder().c_str(), "quillmend-run.exe");
        if (made && aim.empty() && move.command != std::string("/install") && !sim::mayStart(runProgram)) {
            aim = "no engine can start the installed quillmend-run.exe";
        }
        if (made && aim.empty()) {
            int code = runFleet(move.command);
            if (code != move.code) aim = "exit code " + std::to_string(code);
            if (aim.empty() && move.restart) {
                sim::restart();
                m.now += 10000000;
                if ((code = runFleet(move.command)) != 0) aim = "after the restart, exit code " + std::to_string(code);
            }
            if (aim.empty() && move.said != nullptr && m.output.find(std::string(move.said) + "\r\n") == std::string::npos) {
                aim = std::string("it does not say ") + move.said;
            }
            const bool installs = move.command == std::string("/install");
            if (aim.empty()) aim = endedRunFault(before, false);
            if (aim.empty() && ladderLeft() != std::vector<std::string>{"KestrinCorp90"}) aim = "the registry half was blocked";
            if (aim.empty() && runCheck("/registry") != 0) aim = "the check after does not say 0";
            if (aim.empty() && !underTheClock.empty() && !sim::hasFile(underTheClock)) {
                aim = "a backup of one of the last 20 runs is gone";
            }
            if (aim.empty() && installs && installed() != release(move.installedAfter)) aim = "the install is not whole";
            for (const std::string& name : sim::filesIn(kLogs)) {
                if (aim.empty() && name != "quillmend-run.lock" && sim::userMayOpen(path(kLogs, name))) {
                    aim = "the user may open " + name;
                }
            }
        }
        std::printf("hostile move \"%s\": %s\n", move.name,
                    !made ? "refused by Windows" : aim.empty() ? "made, achieved nothing" : ("ACHIEVED: " + aim).c_str());
        if (!aim.empty()) {
            ++achieved;
            achievedMoves.push_back(move.name);
        }
    }
    std::printf("hostile moves: %zu tried, %u achieved their aim\n", sizeof kMoves / sizeof kMoves[0], achieved);
    EXPECT_EQ(achievedMoves, std::vector<std::string>{"hold the installed quillmend-run.exe"}) << "SECURITY.md names each";
}

TEST(CmTraceLine, HoldsOneFactWhateverItsText) {
    char line[512];
    ASSERT_TRUE(cmTraceLine(line, sizeof line, "deleted: a\r\nb ]LOG]!> c", kLogWarning, kNow + 1234567, 4242));
    EXPECT_STREQ(line,
                 "<![LOG[deleted: a  b ]LOG]!) c]LOG]!><time=\"13:20:05.123+000\" date=\"12-09-2026\" "
                 "component=\"quillmend-run\" context=\"\" type=\"2\" thread=\"4242\" file=\"\">\r\n");
    const unsigned needed = static_cast<unsigned>(std::strlen(line)) + 1;
    std::vector<char> exact(12);  // the text alone passes it: nothing is written past its end
    EXPECT_FALSE(cmTraceLine(exact.data(), static_cast<unsigned>(exact.size()), "a longer text", kLogInfo, kNow, 1));
    EXPECT_FALSE(cmTraceLine(exact.data(), 7, "", kLogInfo, kNow, 1)) << "not even its start fits";
    EXPECT_TRUE(cmTraceLine(line, needed, "deleted: a\r\nb ]LOG]!> c", kLogWarning, kNow + 1234567, 4242));
    EXPECT_FALSE(cmTraceLine(line, needed - 1, "deleted: a\r\nb ]LOG]!> c", kLogWarning, kNow + 1234567, 4242));
}

// Dates across centuries and leap days, through Windows' calendar (the
// simulated machine's civil-date arithmetic here), for both the check's time
// and the log's stamps.
TEST(TimeText, DatesAcrossCenturiesLeapDaysAndTheLargestFileTime) {
    struct Case {
        unsigned long long time;
        const char* iso;
        const char* cmTrace;
    };
    const Case kCases[] = {
        {0, "1601-01-01T00:00:00Z", "time=\"00:00:00.000+000\" date=\"01-01-1601\""},
        {31607712000000000ull, "1701-03-01T00:00:00Z", "time=\"00:00:00.000+000\" date=\"03-01-1701\""},
        {30661632000000000ull, "1698-03-01T00:00:00Z", "time=\"00:00:00.000+000\" date=\"03-01-1698\""},
        {31292352000000000ull, "1700-03-01T00:00:00Z", "time=\"00:00:00.000+000\" date=\"03-01-1700\""},
        {31292351999990000ull, "1700-02-28T23:59:59Z", "time=\"23:59:59.999+000\" date=\"02-28-1700\""},
        {94405823990000000ull, "1900-02-28T23:59:59Z", "time=\"23:59:59.000+000\" date=\"02-28-1900\""},
        {94405824000000000ull, "1900-03-01T00:00:00Z", "time=\"00:00:00.000+000\" date=\"03-01-1900\""},
        {125963424000000000ull, "2000-03-01T00:00:00Z", "time=\"00:00:00.000+000\" date=\"03-01-2000\""},
        {125962560000000000ull, "2000-02-29T00:00:00Z", "time=\"00:00:00.000+000\" date=\"02-29-2000\""},
        {125989776000000000ull, "2000-03-31T12:00:00Z", "time=\"12:00:00.000+000\" date=\"03-31-2000\""},
        {157520160000000000ull, "2100-03-01T00:00:00Z", "time=\"00:00:00.000+000\" date=\"03-01-2100\""},
        {157520159990000000ull, "2100-02-28T23:59:59Z", "time=\"23:59:59.000+000\" date=\"02-28-2100\""},
        {134412960050010000ull, "2026-12-09T13:20:05Z", "time=\"13:20:05.001+000\" date=\"12-09-2026\""},
        {0x7FFFFFFFFFFFFFFFull, "30828-09-14T02:48:05Z", "time=\"02:48:05.477+000\" date=\"09-14-30828\""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.iso);
        char iso[32] = "";
        EXPECT_TRUE(text::appendUtcTime(iso, sizeof iso, c.time));
        EXPECT_STREQ(iso, c.iso);
        char stamp[64] = "";
        EXPECT_TRUE(text::appendCmTraceTime(stamp, sizeof stamp, c.time));
        EXPECT_STREQ(stamp, c.cmTrace);
    }
}

// Each bounded write at its exact capacity: what fits with its NUL is
// written, one byte less writes nothing.
TEST(TextBounds, EachAppendAtItsExactCapacity) {
    char buffer[32] = "ab";
    EXPECT_FALSE(text::append(buffer, 5, "cde"));
    EXPECT_STREQ(buffer, "ab");
    EXPECT_TRUE(text::append(buffer, 6, "cde"));
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_FALSE(text::appendNumber(buffer, 15, 4294967295u));
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_TRUE(text::appendNumber(buffer, 16, 4294967295u));
    EXPECT_STREQ(buffer, "abcde4294967295");
    EXPECT_FALSE(text::appendPart(buffer, 15, "x", 1)) << "a full buffer takes nothing";
    char time[32] = "";
    EXPECT_FALSE(text::appendUtcTime(time, 21, 0x7FFFFFFFFFFFFFFFull));
    EXPECT_STREQ(time, "");
    EXPECT_TRUE(text::appendUtcTime(time, 22, 0x7FFFFFFFFFFFFFFFull));
    EXPECT_STREQ(time, "30828-09-14T02:48:05Z");
    char stamp[64] = "";
    const unsigned stampBytes = sizeof "time=\"00:00:00.000+000\" date=\"01-01-1601\"";
    EXPECT_FALSE(text::appendCmTraceTime(stamp, stampBytes - 1, 0));
    EXPECT_STREQ(stamp, "");
    EXPECT_TRUE(text::appendCmTraceTime(stamp, stampBytes, 0));
}

}  // namespace
