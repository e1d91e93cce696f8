#include "registration/detect_product.h"

#include "tests/sim/machine_test.h"

namespace {

struct DetectionCase {
    const char* name;
    unsigned type;
    std::vector<unsigned char> data;
    bool found;
    unsigned releaseCode;
    unsigned buildNumber;
};

const DetectionCase kCases[] = {
    {"dword 900 build 1000", sim::kRegDword, {0x84, 0x03, 0xE8, 0x03}, true, 900, 1000},
    {"dword 900 build 900", sim::kRegDword, {0x84, 0x03, 0x84, 0x03}, true, 900, 900},
    {"dword top bits set", sim::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, true, 65535, 65535},
    {"binary 33 3", sim::kRegBinary, {33, 3}, true, 801, 0},
    {"binary of one byte", sim::kRegBinary, {0x21}, true, 0x21, 0},
    {"binary of three bytes", sim::kRegBinary, {0x21, 0x03, 0x01}, true, 801, 1},
    {"binary of five bytes", sim::kRegBinary, {0x84, 0x03, 0xE8, 0x03, 0}, false, 0, 0},
    {"empty binary", sim::kRegBinary, {}, true, 0, 0},
    {"string of three characters", sim::kRegSz, {'9', '0', '0', 0}, true, '9' | ('0' << 8), '0'},
    {"string of four characters", sim::kRegSz, {'9', '0', '0', '1', 0}, false, 0, 0},
    {"qword", sim::kRegQword, {0x84, 0x03, 0, 0, 0, 0, 0, 0}, false, 0, 0},
};

void PrintTo(const DetectionCase& c, std::ostream* os) { *os << c.name; }

class DetectProductTest : public MachineTest, public ::testing::WithParamInterface<DetectionCase> {};

TEST_P(DetectProductTest, ReadsTheReleaseFromTheValueBytes) {
    const DetectionCase& c = GetParam();
    sim::setValue(kProductKey, "ProductVersion", c.type, c.data);
    ProductRelease release;
    ASSERT_EQ(detectProduct(&release), c.found);
    if (c.found) {
        EXPECT_EQ(release.releaseCode, c.releaseCode);
        EXPECT_EQ(release.buildNumber, c.buildNumber);
    }
    EXPECT_EQ(sim::machine().log,
              (std::vector<std::string>{std::string("open ") + kProductKey, "query ProductVersion", "close"}));
}

INSTANTIATE_TEST_SUITE_P(Values, DetectProductTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DetectionCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) name += (*p == ' ' ? '_' : *p);
                             return name;
                         });

using DetectProductFailureTest = MachineTest;

TEST_F(DetectProductFailureTest, MissingKeyIsNoProductAndOpensNothing) {
    ProductRelease release;
    EXPECT_FALSE(detectProduct(&release));
    EXPECT_EQ(sim::machine().log, (std::vector<std::string>{std::string("open ") + kProductKey}));
}

TEST_F(DetectProductFailureTest, DeniedKeyIsNoProduct) {
    sim::addKey(kProductKey, sim::KeyState::Denied);
    ProductRelease release;
    EXPECT_FALSE(detectProduct(&release));
}

TEST_F(DetectProductFailureTest, MissingValueIsNoProduct) {
    sim::addKey(kProductKey);
    sim::setDword(kProductKey, "ProductVersionX", 900);
    ProductRelease release;
    EXPECT_FALSE(detectProduct(&release));
}

TEST_F(DetectProductFailureTest, DeniedReadIsNoProduct) {
    installRelease(900, 1000);
    sim::machine().values[kProductKey]["ProductVersion"].readDenied = true;
    ProductRelease release;
    EXPECT_FALSE(detectProduct(&release));
}

}  // namespace
