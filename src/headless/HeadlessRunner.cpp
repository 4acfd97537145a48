#include "headless/HeadlessRunner.h"

#include <iostream>
#include <map>
#include <memory>
#include <unistd.h>

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

int runHeadless(const std::vector<std::string>& args, SettingsStore& store) {
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
    const bool askOnTerminal =
        options->deletionAnswer == HeadlessOptions::DeletionAnswer::ask && ::isatty(STDIN_FILENO) == 1;
    std::shared_ptr<CueDeletionPrompt> prompt;
    if (askOnTerminal) {
        prompt = std::make_shared<TerminalDeletionPrompt>(STDIN_FILENO, std::cout,
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
    if (!askOnTerminal) {
        monitor->setCueDeletionPromptPolicy(options->deletionAnswer == HeadlessOptions::DeletionAnswer::yes
                                                ? CueDeletionPromptPolicy::autoYes
                                                : CueDeletionPromptPolicy::autoNo);
    }

    {
        HeadlessReporter reporter(*monitor, std::cout);
        std::cout << "Watching " << monitor->fileURL().string() << ", console " << monitor->eosHost() << ":"
                  << monitor->eosPort() << " (Ctrl-C stops)" << std::endl;
        monitor->startMonitoring();
        queue->run();
        std::cout << "Stopped." << std::endl;
    }
    monitor.reset();
    return 0;
}

}  // namespace lanternwick
