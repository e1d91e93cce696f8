// The image's load configuration. Its DependentLoadFlags make the loader
// resolve the program's imports, and the DLLs those load in turn, from
// System32 only (Windows 10 1607 and later), before any code of ours runs: a
// DLL planted beside a program elevated from a folder others can write is
// never loaded. The linker points the load configuration directory here.
#include <windows.h>

#include <stddef.h>

namespace {

// These headers still call DependentLoadFlags Reserved1. The record ends
// before the SafeSEH fields (the program registers no exception handlers),
// which also makes it the 64 bytes older x86 loaders require.
constexpr IMAGE_LOAD_CONFIG_DIRECTORY kLoadConfig = {
    offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, SEHandlerTable), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    LOAD_LIBRARY_SEARCH_SYSTEM32, 0, 0, 0, 0};

static_assert(kLoadConfig.Reserved1 == LOAD_LIBRARY_SEARCH_SYSTEM32, "DependentLoadFlags");
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1) + sizeof kLoadConfig.Reserved1 <= kLoadConfig.Size,
              "the record's size covers DependentLoadFlags");

}  // namespace

extern "C" __attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = kLoadConfig;
