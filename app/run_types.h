// Types shared by the stages of a run.
#pragma once

enum class RunMode { Interactive, Silent };

struct RunOutcome {
    bool productFound = false;
    bool entriesRemoved = false;
    // The Extensions key exists but could not be opened for changing (an
    // unelevated run, say): nothing in it was looked at or changed.
    bool extensionsKeyLocked = false;
};

// The caption of every box the program shows.
constexpr const char* kCaption = "Quillmend";
