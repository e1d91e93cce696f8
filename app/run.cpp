// quillmend.exe's run sequence: the stages in their order, the result box, the process start.
#include "app/run.h"

#include "datafiles/extend_dat.h"
#include "platform/platform.h"
#include "reading/command_line.h"
#include "registration/detect_product.h"
#include "registration/extension_entries.h"

void reportOutcome(RunMode mode, const RunOutcome& outcome) {
    if (mode == RunMode::Silent) return;
    const char* message = "No active Kestrin product found";
    if (outcome.productFound && outcome.extensionsKeyRefused) {
        message = "Kestrin entries could not be changed. Run Quillmend as an administrator.";
    } else if (outcome.productFound) {
        message = outcome.entriesRemoved ? "Additional Kestrin entries have been removed"
                                         : "No additional Kestrin entries found";
    }
    platform::showMessage(message, kCaption, platform::kMessageOk);
}

int runQuillmend(const char* arguments) {
    const RunMode mode = parseRunMode(arguments);
    RunOutcome outcome;
    ProductRelease release;
    if (detectProduct(&release)) {
        outcome.productFound = true;
        const Reconciliation done = reconcileExtensionEntries(release);
        outcome.entriesRemoved = done == Reconciliation::Removed;
        outcome.extensionsKeyRefused = done == Reconciliation::KeyRefused;
    }
    reportOutcome(mode, outcome);
    cleanExtensionDataFiles(mode == RunMode::Interactive);
    return 0;
}

int startQuillmend() {
    guardDllSearch();
    const char* arguments = argumentString(platform::processCommandLine());
    return WinMain(platform::moduleInstance(), nullptr, const_cast<char*>(arguments), platform::kShowDefault);
}

extern "C" int QUILLMEND_WINAPI WinMain(void* instance, void* previousInstance, char* arguments, int showCommand) {
    (void)instance;
    (void)previousInstance;
    (void)showCommand;
    return runQuillmend(arguments);
}
