// Types shared by the stages of a run.
#pragma once

enum class RunMode { Interactive, Silent };

struct RunOutcome {
    bool productFound = false;
    bool entriesRemoved = false;
};

// The caption of every box the program shows.
constexpr const char* kCaption = "Quillmend";
