#include "registration/extension_entries.h"

#include <sstream>

#include "app/check.h"
#include "reading/run_types.h"
#include "tests/sim/machine_test.h"

namespace {

constexpr const char* kUnrelated = "Some Other Add-in";

// ---- The oracle, written from the product's release and outcome tables ----

// Ceiling: index into kLadder, or -1 for none.
int oracleCeiling(unsigned release, unsigned build) {
    if (release == 900) return 0;
    if (release == 810 || release == 811) return 1;
    if (release == 801 && build >= 500) return 1;
    if (release == 801 && build >= 426 && build <= 499) return 2;
    return -1;
}

struct OutcomeRow {
    const char* ceiling;
    const char* active;
    std::vector<std::string> deleted;
};

const OutcomeRow kOutcomes[] = {
    {"KestrinCorp90", "KestrinCorp90", {"KestrinCorp810", "KestrinCorp801", "Marvil"}},
    {"KestrinCorp90", "KestrinCorp810", {"KestrinCorp801", "Marvil"}},
    {"KestrinCorp90", "KestrinCorp801", {"Marvil"}},
    {"KestrinCorp810", "KestrinCorp810", {"KestrinCorp801", "Marvil"}},
    {"KestrinCorp810", "KestrinCorp801", {"Marvil"}},
    {"KestrinCorp801", "KestrinCorp801", {"Marvil"}},
};

struct Expected {
    std::vector<std::string> log;
    bool entriesRemoved = false;
    bool present[4] = {};  // after the run
};

Expected oracle(unsigned release, unsigned build, const bool present[4]) {
    Expected e;
    e.log.push_back(std::string("openForValues ") + kExtensionsKey);
    for (int i = 0; i < 4; ++i) e.present[i] = present[i];
    const int ceiling = oracleCeiling(release, build);
    const char* active = nullptr;
    if (ceiling >= 0) {
        for (int i = ceiling; i < 3 && active == nullptr; ++i) {  // "Marvil" is never tested
            e.log.push_back(std::string("query ") + kLadder[i]);
            if (present[i]) active = kLadder[i];
        }
    }
    if (active != nullptr) {
        for (const OutcomeRow& row : kOutcomes) {
            if (std::string(row.ceiling) != kLadder[ceiling] || std::string(row.active) != active) continue;
            for (const std::string& name : row.deleted) {
                e.log.push_back("delete " + name);
                for (int i = 0; i < 4; ++i) {
                    if (name == kLadder[i] && e.present[i]) {
                        e.present[i] = false;
                        e.entriesRemoved = true;
                    }
                }
            }
        }
    }
    e.log.push_back("set Outlook Setup Extension");
    e.log.push_back("close");
    return e;
}

// ---- Every release class against every presence pattern ----

struct ReleaseClass {
    unsigned release;
    unsigned build;
};

const ReleaseClass kReleases[] = {
    {900, 1000}, {900, 0},   {810, 1000}, {811, 7},    {801, 0},    {801, 425}, {801, 426}, {801, 499},
    {801, 500},  {801, 65535}, {802, 600}, {809, 600}, {812, 600}, {899, 600}, {800, 600}, {901, 600},
    {0, 0},      {65535, 65535},
};

using ReconcileTest = MachineTest;

TEST_F(ReconcileTest, EveryReleaseAgainstEveryPresencePattern) {
    for (const ReleaseClass& r : kReleases) {
        for (unsigned pattern = 0; pattern < 16; ++pattern) {
            sim::reset();
            bool present[4];
            sim::addKey(kExtensionsKey);
            sim::setString(kExtensionsKey, kUnrelated, "4.0;other.dll;1");
            for (int i = 0; i < 4; ++i) {
                present[i] = (pattern >> i) & 1;
                if (present[i]) sim::setString(kExtensionsKey, kLadder[i], std::string("4.0;") + kLadder[i]);
            }
            std::ostringstream where;
            where << "release " << r.release << " build " << r.build << " pattern " << pattern;
            SCOPED_TRACE(where.str());

            // The check first: it must name exactly what the run then deletes.
            installRelease(r.release, r.build);
            // The setup value is not there yet: that alone is no work left.
            const int code = runCheck("/registry");
            EXPECT_TRUE(sim::onlyReads());
            const std::vector<std::string> named = sim::outputLines("would delete: ");
            EXPECT_EQ(code, named == std::vector<std::string>{"none"} ? 0 : kCheckRegistryRemains);
            sim::machine().log.clear();

            const Reconciliation done = reconcileExtensionEntries(
                ProductRelease{static_cast<unsigned short>(r.release), static_cast<unsigned short>(r.build)});

            const Expected e = oracle(r.release, r.build, present);
            EXPECT_EQ(sim::machine().log, e.log);
            std::vector<std::string> deleted;
            for (int i = 0; i < 4; ++i) {
                if (present[i] && !e.present[i]) deleted.push_back(kLadder[i]);
            }
            EXPECT_EQ(named, deleted.empty() ? std::vector<std::string>{"none"} : deleted);
            sim::machine().output.clear();
            EXPECT_EQ(runCheck("/registry"), 0) << sim::machine().output;
            EXPECT_EQ((done == Reconciliation::Removed), e.entriesRemoved);
            for (int i = 0; i < 4; ++i) EXPECT_EQ(sim::hasValue(kExtensionsKey, kLadder[i]), e.present[i]) << kLadder[i];
            EXPECT_EQ(sim::stringValue(kExtensionsKey, kUnrelated), std::string("4.0;other.dll;1") + '\0');
            EXPECT_EQ(sim::stringValue(kExtensionsKey, kSetupExtension), std::string(kSetupData) + '\0');
            EXPECT_EQ(sim::machine().values[kExtensionsKey][kSetupExtension].data.size(), 51u);
            EXPECT_EQ(sim::machine().values[kExtensionsKey].size(), 2u + e.present[0] + e.present[1] +
                                                                       e.present[2] + e.present[3]);
            EXPECT_EQ(sim::machine().openHandles, 0);
        }
    }
}

// ---- Deletions that fail ----

TEST_F(ReconcileTest, EveryDeletionIsAttemptedWhateverFails) {
    for (unsigned failing = 0; failing < 8; ++failing) {
        sim::reset();
        for (const char* name : kLadder) sim::setString(kExtensionsKey, name, "x");
        for (int i = 0; i < 3; ++i) {
            if ((failing >> i) & 1) sim::machine().values[kExtensionsKey][kLadder[i + 1]].deleteFails = true;
        }
        SCOPED_TRACE("failing mask " + std::to_string(failing));
        const Reconciliation done = reconcileExtensionEntries(ProductRelease{900, 1000});

        EXPECT_EQ(sim::logged("delete "),
                  (std::vector<std::string>{"delete KestrinCorp810", "delete KestrinCorp801", "delete Marvil"}));
        EXPECT_EQ((done == Reconciliation::Removed), failing != 7);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(sim::hasValue(kExtensionsKey, kLadder[i + 1]), ((failing >> i) & 1) != 0);
        EXPECT_TRUE(sim::hasValue(kExtensionsKey, "KestrinCorp90"));
        EXPECT_EQ(sim::logged("set "), std::vector<std::string>{"set Outlook Setup Extension"});
    }
}

// ---- Presence of long values, denied reads ----

TEST_F(ReconcileTest, LongRegistrationOfTheInstalledReleaseIsKept) {
    for (size_t length : {259u, 260u, 261u, 4096u}) {
        sim::reset();
        sim::setValue(kExtensionsKey, "KestrinCorp90", sim::kRegSz, std::vector<unsigned char>(length, 'a'));
        sim::setString(kExtensionsKey, "KestrinCorp810", "x");
        sim::setString(kExtensionsKey, "Marvil", "x");
        SCOPED_TRACE("data of " + std::to_string(length) + " bytes");
        const Reconciliation done = reconcileExtensionEntries(ProductRelease{900, 1000});

        EXPECT_EQ(sim::logged("query "), std::vector<std::string>{"query KestrinCorp90"});
        EXPECT_TRUE(sim::hasValue(kExtensionsKey, "KestrinCorp90"));
        EXPECT_FALSE(sim::hasValue(kExtensionsKey, "KestrinCorp810"));
        EXPECT_FALSE(sim::hasValue(kExtensionsKey, "Marvil"));
        EXPECT_EQ(done, Reconciliation::Removed);
    }
}

TEST_F(ReconcileTest, DeniedReadCountsAsAbsent) {
    for (const char* name : kLadder) sim::setString(kExtensionsKey, name, "x");
    sim::machine().values[kExtensionsKey]["KestrinCorp810"].readDenied = true;
    reconcileExtensionEntries(ProductRelease{810, 1});

    EXPECT_EQ(sim::logged("query "), (std::vector<std::string>{"query KestrinCorp810", "query KestrinCorp801"}));
    EXPECT_EQ(sim::logged("delete "), std::vector<std::string>{"delete Marvil"});
    EXPECT_TRUE(sim::hasValue(kExtensionsKey, "KestrinCorp90"));
    EXPECT_TRUE(sim::hasValue(kExtensionsKey, "KestrinCorp810"));
}

// ---- A key that does not open ----

TEST_F(ReconcileTest, MissingOrDeniedKeyTouchesNothing) {
    for (bool denied : {false, true}) {
        sim::reset();
        if (denied) sim::addKey(kExtensionsKey, sim::KeyState::Denied);
        const Reconciliation done = reconcileExtensionEntries(ProductRelease{900, 1000});
        EXPECT_EQ(sim::machine().log, std::vector<std::string>{std::string("openForValues ") + kExtensionsKey});
        EXPECT_NE(done, Reconciliation::Removed);
        EXPECT_EQ(done == Reconciliation::KeyRefused, denied);
    }
}

TEST_F(ReconcileTest, SetupValueReplacesOldDataOfAnyType) {
    sim::setValue(kExtensionsKey, kSetupExtension, sim::kRegBinary, std::vector<unsigned char>(300, 0xAB));
    reconcileExtensionEntries(ProductRelease{0, 0});
    const sim::Value& value = sim::machine().values[kExtensionsKey][kSetupExtension];
    EXPECT_EQ(value.type, sim::kRegSz);
    EXPECT_EQ(std::string(value.data.begin(), value.data.end()), std::string(kSetupData) + '\0');
}

}  // namespace
