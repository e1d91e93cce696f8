#include "app/run.h"

#include "tests/sim/machine_test.h"

namespace {

const std::string kPrompt = "A copy of Extend.dat was found at the following location. Delete this file?\r\n ";

sim::Box result(const char* text) { return sim::Box{text, "Quillmend", 0}; }

using RunSequenceTest = ProfileTest;

TEST_F(RunSequenceTest, NoProductInteractiveShowsOneBoxAndStillCleansFiles) {
    addAllEntries();
    sim::machine().answers = {sim::kAnswerOk};
    EXPECT_EQ(runQuillmend(""), 0);
    EXPECT_EQ(sim::machine().boxes, std::vector<sim::Box>{result("No active Kestrin product found")});
    EXPECT_EQ(sim::machine().log,
              (std::vector<std::string>{std::string("open ") + kProductKey, "box No active Kestrin product found",
                                        "folder 26", "find " + kRoamingCopy, "folder 28", "find " + kLocalCopy}));
    for (const char* name : kLadder) {
        EXPECT_TRUE(sim::hasValue(kExtensionsKey, name));
    }
    EXPECT_FALSE(sim::hasValue(kExtensionsKey, kSetupExtension));
}

TEST_F(RunSequenceTest, NoProductSilentShowsNothingAndStillDeletesFiles) {
    sim::addKey(kProductKey);  // key present, value absent
    sim::addFile(kRoamingCopy);
    EXPECT_EQ(runQuillmend("/S"), 0);
    EXPECT_TRUE(sim::machine().boxes.empty());
    EXPECT_FALSE(sim::hasFile(kRoamingCopy));
    EXPECT_EQ(sim::logged("query "), std::vector<std::string>{"query ProductVersion"});
    EXPECT_TRUE(sim::logged("openForValues").empty());
}

TEST_F(RunSequenceTest, ResultMessages) {
    enum KeyState { kMissing, kPresent, kDenied };
    struct Case {
        const char* name;
        bool product;
        KeyState extensionsKey;
        bool olderEntries;
        const char* message;
    };
    const Case kCases[] = {
        {"no product", false, kPresent, true, "No active Kestrin product found"},
        {"no product, key denied", false, kDenied, true, "No active Kestrin product found"},
        {"key missing", true, kMissing, false, "No additional Kestrin entries found"},
        {"key denied", true, kDenied, true, "Kestrin entries could not be changed. Run Quillmend as an administrator."},
        {"nothing older", true, kPresent, false, "No additional Kestrin entries found"},
        {"older removed", true, kPresent, true, "Additional Kestrin entries have been removed"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.product) installRelease(900, 1000);
        if (c.extensionsKey != kMissing) sim::setString(kExtensionsKey, "KestrinCorp90", "x");
        if (c.olderEntries) sim::setString(kExtensionsKey, "Marvil", "x");
        if (c.extensionsKey == kDenied) sim::addKey(kExtensionsKey, sim::KeyState::Denied);
        const auto valuesBefore = sim::machine().values;
        sim::machine().answers = {sim::kAnswerOk};
        EXPECT_EQ(runQuillmend("-S"), 0);
        EXPECT_EQ(sim::machine().boxes, std::vector<sim::Box>{result(c.message)});
        if (c.extensionsKey == kDenied) {
            EXPECT_TRUE(sim::logged("query K").empty() && sim::logged("set ").empty());
            EXPECT_EQ(sim::machine().values.size(), valuesBefore.size());
        }
        // Silent runs show nothing, whatever the key.
        SetUp();
        if (c.product) installRelease(900, 1000);
        if (c.extensionsKey == kDenied) sim::addKey(kExtensionsKey, sim::KeyState::Denied);
        EXPECT_EQ(runQuillmend("/S"), 0);
        EXPECT_TRUE(sim::machine().boxes.empty());
        TearDown();
    }
}

// The first two operations of every process, whatever the command line and
// whether or not this Windows can restrict the search; the run after them is
// the same as without.
TEST_F(RunSequenceTest, DllSearchIsGuardedBeforeAnythingElse) {
    for (bool available : {true, false}) {
        for (const char* commandLine : {"quillmend.exe", "\"C:\\Users\\ann\\Downloads\\quillmend.exe\" /S"}) {
            SCOPED_TRACE(std::string(commandLine) + (available ? "" : ", SetDefaultDllDirectories missing"));
            const bool silent = commandLine[0] == '"';
            const auto prepare = [&] {
                SetUp();
                installRelease(900, 1000);
                addAllEntries();
                sim::addFile(kRoamingCopy);
                if (!silent) sim::machine().answers = {sim::kAnswerOk, sim::kAnswerYes};
                sim::machine().commandLine = commandLine;
                sim::machine().hasDefaultDllDirectories = available;
            };
            prepare();
            EXPECT_EQ(runQuillmend(silent ? "/S" : ""), 0);
            const std::vector<std::string> unguarded = sim::machine().log;

            prepare();
            EXPECT_EQ(startQuillmend(), 0);
            std::vector<std::string> expected = {available ? "dllSearch system32" : "dllSearch system32 (unavailable)",
                                                 "dllSearch noCurrentDirectory"};
            expected.insert(expected.end(), unguarded.begin(), unguarded.end());
            EXPECT_EQ(sim::machine().log, expected);
        }
    }
}

TEST_F(RunSequenceTest, TypicalInteractiveRunBoxesInOrder) {
    installRelease(900, 1000);
    addAllEntries();
    sim::addFile(kRoamingCopy);
    sim::addFile(kLocalCopy);
    sim::machine().answers = {sim::kAnswerOk, sim::kAnswerYes, sim::kAnswerYes};
    EXPECT_EQ(runQuillmend(""), 0);
    EXPECT_EQ(sim::machine().boxes,
              (std::vector<sim::Box>{result("Additional Kestrin entries have been removed"),
                                     sim::Box{kPrompt + kRoamingCopy, "Quillmend", 4},
                                     sim::Box{kPrompt + kLocalCopy, "Quillmend", 4}}));
    EXPECT_EQ(sim::logged("delete "),
              (std::vector<std::string>{"delete KestrinCorp810", "delete KestrinCorp801", "delete Marvil"}));
    EXPECT_TRUE(sim::hasValue(kExtensionsKey, "KestrinCorp90"));
    EXPECT_EQ(sim::stringValue(kExtensionsKey, kSetupExtension), std::string(kSetupData) + '\0');
    EXPECT_FALSE(sim::hasFile(kRoamingCopy));
    EXPECT_FALSE(sim::hasFile(kLocalCopy));
}

TEST_F(RunSequenceTest, TypicalSilentRun) {
    installRelease(900, 1000);
    addAllEntries();
    sim::addFile(kRoamingCopy);
    sim::addFile(kLocalCopy);
    EXPECT_EQ(runQuillmend("/s"), 0);
    EXPECT_TRUE(sim::machine().boxes.empty());
    EXPECT_FALSE(sim::hasValue(kExtensionsKey, "Marvil"));
    EXPECT_FALSE(sim::hasFile(kRoamingCopy));
    EXPECT_FALSE(sim::hasFile(kLocalCopy));
}

}  // namespace
