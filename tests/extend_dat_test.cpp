#include "datafiles/extend_dat.h"

#include "tests/sim/machine_test.h"

namespace {

constexpr const char* kSuffix = "\\Microsoft\\Outlook\\Extend.dat";
constexpr const char* kPromptStart = "A copy of Extend.dat was found at the following location. Delete this file?\r\n ";

std::string roamingCopy() { return std::string(kRoaming) + kSuffix; }
std::string localCopy() { return std::string(kLocal) + kSuffix; }

sim::Box prompt(const std::string& path) { return sim::Box{kPromptStart + path, "Quillmend", 4}; }

using ExtendDatTest = ProfileTest;

TEST_F(ExtendDatTest, BothCopiesEachCombinationOfAnswers) {
    const int kAnswers[] = {sim::kAnswerYes, sim::kAnswerNo};
    for (int roamingAnswer : kAnswers) {
        for (int localAnswer : kAnswers) {
            SetUp();
            sim::addFile(roamingCopy());
            sim::addFile(localCopy());
            sim::machine().answers = {roamingAnswer, localAnswer};
            cleanExtensionDataFiles(true);

            EXPECT_EQ(sim::machine().boxes, (std::vector<sim::Box>{prompt(roamingCopy()), prompt(localCopy())}));
            EXPECT_EQ(sim::hasFile(roamingCopy()), roamingAnswer != sim::kAnswerYes);
            EXPECT_EQ(sim::hasFile(localCopy()), localAnswer != sim::kAnswerYes);
        }
    }
}

TEST_F(ExtendDatTest, AnswersOtherThanYesKeepTheFile) {
    sim::addFile(roamingCopy());
    sim::addFile(localCopy());
    sim::machine().answers = {2 /* IDCANCEL */, 0 /* the box failed */};
    cleanExtensionDataFiles(true);
    EXPECT_TRUE(sim::hasFile(roamingCopy()));
    EXPECT_TRUE(sim::hasFile(localCopy()));
    EXPECT_TRUE(sim::logged("deleteFile").empty());
}

TEST_F(ExtendDatTest, SilentDeletesBothWithoutAsking) {
    sim::addFile(roamingCopy());
    sim::addFile(localCopy());
    cleanExtensionDataFiles(false);
    EXPECT_TRUE(sim::machine().boxes.empty());
    EXPECT_FALSE(sim::hasFile(roamingCopy()));
    EXPECT_FALSE(sim::hasFile(localCopy()));
}

TEST_F(ExtendDatTest, NeitherPresentShowsNothing) {
    sim::addFile(std::string(kRoaming) + "\\Microsoft\\Outlook\\Extend.dat.bak");
    cleanExtensionDataFiles(true);
    EXPECT_TRUE(sim::machine().boxes.empty());
    EXPECT_EQ(sim::machine().log, (std::vector<std::string>{"folder 26", "find " + roamingCopy(), "folder 28",
                                                            "find " + localCopy()}));
    EXPECT_TRUE(sim::hasFile(std::string(kRoaming) + "\\Microsoft\\Outlook\\Extend.dat.bak"));
}

TEST_F(ExtendDatTest, UnavailableFolderIsPassedOver) {
    for (bool roamingAvailable : {false, true}) {
        SetUp();
        if (roamingAvailable) {
            sim::machine().localFolder.reset();
        } else {
            sim::machine().roamingFolder.reset();
        }
        sim::addFile(roamingCopy());
        sim::addFile(localCopy());
        cleanExtensionDataFiles(false);
        EXPECT_EQ(sim::hasFile(roamingCopy()), !roamingAvailable);
        EXPECT_EQ(sim::hasFile(localCopy()), roamingAvailable);
        EXPECT_EQ(sim::logged("folder"), (std::vector<std::string>{"folder 26", "folder 28"}));
    }
}

TEST_F(ExtendDatTest, DirectoryNamedExtendDatOrUndeletableFileStaysInSilence) {
    sim::addFile(roamingCopy(), /*directory=*/true);
    sim::addFile(localCopy());
    sim::machine().files[localCopy()].deleteFails = true;
    for (const bool askFirst : {true, false}) {
        sim::machine().boxes.clear();
        sim::machine().answers = {sim::kAnswerYes, sim::kAnswerYes};
        sim::machine().answersUsed = 0;
        if (!askFirst) sim::machine().answers.clear();
        cleanExtensionDataFiles(askFirst);
        EXPECT_EQ(sim::machine().boxes.size(), askFirst ? 2u : 0u);
        EXPECT_TRUE(sim::hasFile(roamingCopy()));
        EXPECT_TRUE(sim::hasFile(localCopy()));
    }
    EXPECT_EQ(sim::logged("deleteFile").size(), 4u);
}

// ---- Folder paths of every length ----

std::string folderOfLength(size_t length, const std::string& fill = "u") {
    std::string folder = "C:\\Users\\";
    while (folder.size() < length) folder += fill;
    folder.resize(length);
    return folder;
}

struct LengthCase {
    size_t folderLength;
    bool handled;       // the copy is looked for and can be deleted
    bool promptWhole;   // the prompt shows the whole path
};

const LengthCase kLengths[] = {
    {151, true, true},   {152, true, true},   {153, true, false}, {200, true, false},
    {230, true, false},  {231, false, false}, {259, false, false}, {300, false, false},
};

TEST_F(ExtendDatTest, LongFolderPathsNeverOverrunAndNeverDeleteUnasked) {
    for (const LengthCase& c : kLengths) {
        for (int answer : {sim::kAnswerYes, sim::kAnswerNo}) {
            SCOPED_TRACE("folder of " + std::to_string(c.folderLength) + " characters, answer " +
                         std::to_string(answer));
            SetUp();
            const std::string folder = folderOfLength(c.folderLength);
            const std::string copy = folder + kSuffix;
            sim::machine().roamingFolder = folder;
            sim::machine().localFolder.reset();
            sim::addFile(copy);
            if (c.handled) sim::machine().answers = {answer};
            cleanExtensionDataFiles(true);

            if (!c.handled) {
                EXPECT_TRUE(sim::machine().boxes.empty());
                EXPECT_TRUE(sim::logged("find").empty());
                EXPECT_TRUE(sim::hasFile(copy));
                continue;
            }
            ASSERT_EQ(sim::machine().boxes.size(), 1u);
            const std::string& shown = sim::machine().boxes[0].text;
            EXPECT_LE(shown.size(), 259u);
            if (c.promptWhole) {
                EXPECT_EQ(shown, kPromptStart + copy);
            } else {
                // The start of the path and its end, the file's own folders, stay readable.
                EXPECT_EQ(shown.size(), 259u);
                EXPECT_EQ(shown.substr(0, std::string(kPromptStart).size() + 9), kPromptStart + std::string("C:\\Users\\"));
                EXPECT_NE(shown.find("..."), std::string::npos);
                EXPECT_EQ(shown.substr(shown.size() - 29), kSuffix);
            }
            EXPECT_EQ(sim::hasFile(copy), answer != sim::kAnswerYes);
        }
    }
}

TEST_F(ExtendDatTest, LongFolderPathsSilent) {
    for (const LengthCase& c : kLengths) {
        SCOPED_TRACE("folder of " + std::to_string(c.folderLength) + " characters");
        SetUp();
        const std::string copy = folderOfLength(c.folderLength) + kSuffix;
        sim::machine().localFolder = folderOfLength(c.folderLength);
        sim::addFile(copy);
        cleanExtensionDataFiles(false);
        EXPECT_TRUE(sim::machine().boxes.empty());
        EXPECT_EQ(sim::hasFile(copy), !c.handled);
    }
}

TEST_F(ExtendDatTest, ShortenedPromptKeepsDoubleByteCharactersWhole) {
    sim::useJapaneseCodePage();
    for (size_t length = 200; length <= 204; ++length) {
        SCOPED_TRACE("folder of " + std::to_string(length) + " bytes");
        SetUp();
        sim::useJapaneseCodePage();
        std::string folder = "C:\\" + std::string(length % 2 == 0 ? "" : "a");
        while (folder.size() + 2 <= length) folder += "\x83\x41";  // one double-byte character
        folder.resize(length, 'b');
        sim::machine().roamingFolder = folder;
        sim::machine().localFolder.reset();
        sim::addFile(folder + kSuffix);
        sim::machine().answers = {sim::kAnswerNo};
        cleanExtensionDataFiles(true);

        ASSERT_EQ(sim::machine().boxes.size(), 1u);
        const std::string shownPath = sim::machine().boxes[0].text.substr(std::string(kPromptStart).size());
        const size_t cut = shownPath.find("...");
        ASSERT_NE(cut, std::string::npos);
        // The head must be whole characters of the folder: the same prefix,
        // and no lead byte left without its partner.
        EXPECT_EQ(shownPath.substr(0, cut), folder.substr(0, cut));
        EXPECT_EQ(std::count(shownPath.begin(), shownPath.begin() + cut, '\x83'),
                  std::count(shownPath.begin(), shownPath.begin() + cut, '\x41'));
        // The tail starts on a character boundary of the full path.
        const std::string tail = shownPath.substr(cut + 3);
        const std::string full = folder + kSuffix;
        const size_t tailStart = full.size() - tail.size();
        EXPECT_EQ(full.substr(tailStart), tail);
        size_t at = 0;
        while (at < tailStart) at += (static_cast<unsigned char>(full[at]) == 0x83) ? 2 : 1;
        EXPECT_EQ(at, tailStart) << "the tail starts inside a double-byte character";
    }
}

}  // namespace
