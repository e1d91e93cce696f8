#include "reading/command_line.h"

#include <cctype>
#include <cstring>
#include <memory>

#include "tests/sim/machine_test.h"

namespace {

struct CommandLineCase {
    const char* name;
    const char* commandLine;
    const char* arguments;  // what WinMain must be given
    RunMode mode;
    bool japanese;          // system code page 932
};

const CommandLineCase kCases[] = {
    {"name only", "quillmend.exe", "", RunMode::Interactive, false},
    {"empty line", "", "", RunMode::Interactive, false},
    {"blanks after name only", "quillmend.exe   ", "", RunMode::Interactive, false},
    {"upper switch", "quillmend.exe /S", "/S", RunMode::Silent, false},
    {"lower switch", "quillmend.exe /s", "/s", RunMode::Silent, false},
    {"several blanks go with the name", "quillmend.exe    /S", "/S", RunMode::Silent, false},
    {"tabs go with the name", "quillmend.exe\t\t/S", "/S", RunMode::Silent, false},
    {"control characters go with the name", "quillmend.exe \x01\x1f/S", "/S", RunMode::Silent, false},
    {"trailing blank", "quillmend.exe /S ", "/S ", RunMode::Interactive, false},
    {"trailing tab", "quillmend.exe /S\t", "/S\t", RunMode::Interactive, false},
    {"second argument", "quillmend.exe /S /x", "/S /x", RunMode::Interactive, false},
    {"dash", "quillmend.exe -S", "-S", RunMode::Interactive, false},
    {"longer word", "quillmend.exe /Silent", "/Silent", RunMode::Interactive, false},
    {"slash alone", "quillmend.exe /", "/", RunMode::Interactive, false},
    {"quoted switch", "quillmend.exe \"/S\"", "\"/S\"", RunMode::Interactive, false},
    {"quoted path with blanks", "\"C:\\Program Files\\Q\\quillmend.exe\" /S", "/S", RunMode::Silent, false},
    {"quoted path, no blank", "\"C:\\q\\quillmend.exe\"/S", "/S", RunMode::Silent, false},
    {"quoted path alone", "\"C:\\Program Files\\quillmend.exe\"", "", RunMode::Interactive, false},
    {"missing closing quote", "\"C:\\q\\quillmend.exe /S", "", RunMode::Interactive, false},
    {"quote inside unquoted name", "prog\"a b\" /S", "b\" /S", RunMode::Interactive, false},
    {"unquoted name ends at first blank", "C:\\Program Files\\q.exe /S", "Files\\q.exe /S", RunMode::Interactive,
     false},
    {"high bytes in unquoted name", "C:\\\xe9t\xe9\\q\xff.exe /S", "/S", RunMode::Silent, false},
    {"high bytes in quoted name", "\"C:\\\xe9t\xe9 \xa0\\q.exe\" /s", "/s", RunMode::Silent, false},
    // 0x95 0x5c is one character whose second byte is a backslash; 0x83 0x22
    // would hide a quote inside a double-byte character.
    {"double-byte name", "\"C:\\\x95\x5c\\q.exe\" /S", "/S", RunMode::Silent, true},
    {"double-byte hides a quote", "\"C:\\\x83\"x\" /S", "/S", RunMode::Silent, true},
    {"lead byte at end of quoted name", "\"C:\\q\x81", "", RunMode::Interactive, true},
    {"lead byte before closing quote without code page", "\"C:\\\x83\" /S", "/S", RunMode::Silent, false},
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class CommandLineTest : public MachineTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineTest, ArgumentStringAndMode) {
    const CommandLineCase& c = GetParam();
    if (c.japanese) sim::useJapaneseCodePage();
    // An exact-size copy: reading past its end shows under AddressSanitizer.
    const size_t size = std::strlen(c.commandLine) + 1;
    std::unique_ptr<char[]> line(new char[size]);
    std::memcpy(line.get(), c.commandLine, size);
    const char* arguments = argumentString(line.get());
    EXPECT_STREQ(arguments, c.arguments);
    EXPECT_EQ(parseRunMode(arguments), c.mode);
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CommandLineCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 name += (std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
                             }
                             return name;
                         });

}  // namespace
