#include "headless/HeadlessRunner.h"

#include <iostream>
#include <map>
#include <memory>

#include "headless/FlagOverlaySettingsStore.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessReporter.h"
#include "headless/StopSignal.h"
#include "headless/TerminalDeletionPrompt.h"
#include "LanternwickVersion.h"
#include "markers/TempolaneFileValidationError.h"
#include "monitor/LightingFileMonitor.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {

namespace {

constexpr int badUsage = 2;

}  // namespace

int runHeadless(const std::vector<std::string>& args, SettingsStore& store, const std::filesystem::path& terminal) {
    auto options = parseHeadlessArguments(args);
    if (!options) {
        std::cerr << "lanternwick: " << options.error() << "\n\n" << headlessUsage;
        return badUsage;
    }
    if (options->showHelp) {
        std::cout << headlessUsage;
        return 0;
    }
    if (options->showVersion) {
        std::cout << "lanternwick " << version << "\n";
        return 0;
    }
    if (options->file) {
        std::error_code ignored;
        const std::filesystem::path absolute = std::filesystem::absolute(*options->file, ignored);
        if (!absolute.empty()) options->file = absolute;
        const auto valid = validateMarkerFile(*options->file);
        if (!valid) {
            std::cerr << "lanternwick: " << options->file->string() << ":\n" << valid.error().description() << "\n";
            return badUsage;
        }
    }

    const auto queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::real);
    StopSignal stopSignal([queue] { queue->stop(); });
    const bool ask = options->deletionAnswer == HeadlessOptions::DeletionAnswer::ask;
    std::shared_ptr<CueDeletionPrompt> prompt;
    if (ask) {
        prompt = std::make_shared<TerminalDeletionPrompt>(terminal, *queue,
                                                          [&stopSignal] { return stopSignal.requested(); });
    } else {
        prompt = std::make_shared<FixedDeletionPrompt>(options->deletionAnswer ==
                                                       HeadlessOptions::DeletionAnswer::yes);
    }

    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = queue;
    dependencies.settings = std::make_shared<FlagOverlaySettingsStore>(store, settingsFromFlags(*options));
    dependencies.deletionPrompt = prompt;
    auto monitor = LightingFileMonitor::create(std::move(dependencies));
    if (!ask) {
        monitor->setCueDeletionPromptPolicy(options->deletionAnswer == HeadlessOptions::DeletionAnswer::yes
                                                ? CueDeletionPromptPolicy::autoYes
                                                : CueDeletionPromptPolicy::autoNo);
    }

    {
        // JSON Lines stay pure: the words for the person go to standard error.
        std::ostream& notes = options->json ? std::cerr : std::cout;
        HeadlessReporter reporter(*monitor, std::cout, std::cerr,
                                  options->json ? HeadlessReporter::Format::json : HeadlessReporter::Format::text);
        notes << "Watching " << monitor->fileURL().string() << ", console " << monitor->eosHost() << ":"
              << monitor->eosPort() << " (Ctrl-C stops)" << std::endl;
        monitor->startMonitoring();
        // Said once, as information: the check every second still sees every save.
        if (!monitor->fileWatchNote().empty()) {
            notes << monitor->fileWatchNote() << std::endl;
        }
        queue->run();
        notes << "Stopped." << std::endl;
    }
    monitor.reset();
    return 0;
}

}  // namespace lanternwick
