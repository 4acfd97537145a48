#include "headless/HeadlessRunner.h"

#include <iostream>
#include <map>
#include <memory>

#include "headless/FlagOverlaySettingsStore.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessRecordFormat.h"
#include "headless/HeadlessReporter.h"
#include "headless/NonBlockingOutput.h"
#include "headless/StandardStreams.h"
#include "headless/StopSignal.h"
#include "headless/TerminalDeletionPrompt.h"
#include "LanternwickVersion.h"
#include "monitor/ConsoleLock.h"
#include "monitor/LightingFileMonitor.h"
#include "monitor/SettingsKeys.h"
#include "support/RunLoopMainQueue.h"
#include "support/TextRules.h"

namespace lanternwick {

namespace {

constexpr int badUsage = 2;
constexpr int anotherCopy = 2;
constexpr std::size_t noteCapacity = 64 * 1024;
// What is still waiting for a slow reader when the run ends gets this long.
constexpr auto finalWritePatience = std::chrono::milliseconds(1500);

// Standard output and standard error of one run, neither of which can hold
// up the sync.
class RunOutput final : public RecordOutput {
public:
    explicit RunOutput(bool json)
        : err_(standardErrorDescriptor, noteCapacity,
               [](std::uint64_t count) {
                   return "lanternwick: " + std::to_string(count) + " notes not printed: standard error was not read\n";
               }),
          out_(standardOutputDescriptor, NonBlockingOutput::recordCapacity,
               [json](std::uint64_t count) {
                   const auto now = std::chrono::system_clock::now();
                   return json ? notPrintedJsonLine(now, Uuid::random(), count)
                               : localClockText(now) + " " + notPrintedText(count) + "\n";
               },
               [this](const std::string& reason) {
                   note("lanternwick: standard output is gone (" + printableText(reason) +
                        "): records are no longer printed; the sync goes on");
               }) {}

    ~RunOutput() override {
        out_.waitUntilWritten(finalWritePatience);
        err_.waitUntilWritten(finalWritePatience);
    }

    void record(std::string_view text) override { out_.write(text); }
    void note(std::string_view line) override { err_.write(std::string(line) + "\n"); }

private:
    NonBlockingOutput err_;
    NonBlockingOutput out_;
};

std::string sourceOf(const HeadlessOptions& options, const SettingsStore& saved, std::string_view key) {
    if (const std::string_view flag = flagFor(options, key); !flag.empty()) return std::string(flag);
    bool isSaved = false;
    if (key == settingsKey::eosPort) {
        const auto port = saved.integerValue(key);
        isSaved = port && *port >= 1 && *port <= 65535;
    } else if (key == settingsKey::optUpdateOnConnect || key == settingsKey::optSyncLabels ||
               key == settingsKey::optDeleteCues) {
        isSaved = saved.boolValue(key).has_value();
    } else {
        const auto text = saved.stringValue(key);
        isSaved = text && (key == settingsKey::eosFraming || !trimmed(*text).empty());
    }
    return isSaved ? "saved" : "default";
}

StartNote startNote(const LightingFileMonitor& monitor, const HeadlessOptions& options, const SettingsStore& saved,
                    bool canAsk) {
    StartNote note;
    note.time = std::chrono::system_clock::now();
    note.file = monitor.fileURL().string();
    note.fileSource = sourceOf(options, saved, settingsKey::filePath);
    note.host = monitor.eosHost();
    note.hostSource = sourceOf(options, saved, settingsKey::eosHost);
    note.port = monitor.eosPort();
    note.portSource = sourceOf(options, saved, settingsKey::eosPort);
    note.framing = monitor.eosFraming();
    note.framingSource = sourceOf(options, saved, settingsKey::eosFraming);
    note.options = {
        {"updateOnConnect", monitor.optUpdateOnConnect(), sourceOf(options, saved, settingsKey::optUpdateOnConnect)},
        {"syncLabels", monitor.optSyncLabels(), sourceOf(options, saved, settingsKey::optSyncLabels)},
        {"deleteCues", monitor.optDeleteCues(), sourceOf(options, saved, settingsKey::optDeleteCues)},
    };
    switch (options.deletionAnswer) {
    case HeadlessOptions::DeletionAnswer::ask:
        note.deletion = canAsk ? StartNote::Deletion::ask : StartNote::Deletion::noTerminal;
        break;
    case HeadlessOptions::DeletionAnswer::yes: note.deletion = StartNote::Deletion::yes; break;
    case HeadlessOptions::DeletionAnswer::no: note.deletion = StartNote::Deletion::no; break;
    }
    return note;
}

}  // namespace

int runHeadless(const std::vector<std::string>& args, SettingsStore& store, const std::filesystem::path& terminal) {
    ignoreBrokenPipes();
    auto options = parseHeadlessArguments(args);
    if (!options) {
        std::cerr << "lanternwick: " << printableText(options.error()) << "\n\n" << headlessUsage;
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
        const auto checked = checkedMarkerFile(*options->file);
        if (!checked) {
            std::cerr << "lanternwick: " << checked.error() << "\n";
            return badUsage;
        }
        options->file = *checked;
    }

    const auto queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::real);
    StopSignal stopSignal([queue] { queue->stop(); });
    const bool ask = options->deletionAnswer == HeadlessOptions::DeletionAnswer::ask;
    std::shared_ptr<CueDeletionPrompt> prompt;
    bool canAsk = false;
    if (ask) {
        auto terminalPrompt = std::make_shared<TerminalDeletionPrompt>(
            terminal, *queue, [&stopSignal] { return stopSignal.requested(); });
        canAsk = terminalPrompt->hasTerminal();
        prompt = std::move(terminalPrompt);
    } else {
        prompt = std::make_shared<FixedDeletionPrompt>(options->deletionAnswer ==
                                                       HeadlessOptions::DeletionAnswer::yes);
    }

    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = queue;
    // The terminal has only flags to edit settings with, and flags are for
    // one run: whatever the monitor writes stays in memory.
    dependencies.settings = std::make_shared<FlagOverlaySettingsStore>(
        store, settingsFromFlags(*options), FlagOverlaySettingsStore::Writes::keptForRun);
    dependencies.deletionPrompt = prompt;
    auto monitor = LightingFileMonitor::create(std::move(dependencies));
    if (!ask) {
        monitor->setCueDeletionPromptPolicy(options->deletionAnswer == HeadlessOptions::DeletionAnswer::yes
                                                ? CueDeletionPromptPolicy::autoYes
                                                : CueDeletionPromptPolicy::autoNo);
    }

    auto lock = ConsoleLock::acquire(monitor->eosHost(), monitor->eosPort());
    if (!lock) {
        std::cerr << "lanternwick: " << printableText(lock.error().description())
                  << "; stop it, or pick another console with --host and --port\n";
        return anotherCopy;
    }

    {
        RunOutput output(options->json);
        const StartNote note = startNote(*monitor, *options, store, canAsk);
        const auto say = [&](std::string_view line) {
            // JSON Lines stay pure: the words for the person go to standard error.
            if (options->json) {
                output.note(line);
            } else {
                output.record(std::string(line) + "\n");
            }
        };
        if (options->json) {
            output.record(startJsonLine(note, Uuid::random()));
            std::string text = startNoteText(note);
            text.pop_back();
            output.note(text);
        } else {
            output.record(startNoteText(note));
        }
        HeadlessReporter reporter(*monitor, output,
                                  options->json ? HeadlessReporter::Format::json : HeadlessReporter::Format::text);
        monitor->startMonitoring();
        // Said once, as information: the check every second still sees every save.
        if (!monitor->fileWatchNote().empty()) say(printableText(monitor->fileWatchNote()));
        queue->run();
        say("Stopped.");
    }
    monitor.reset();
    return 0;
}

}  // namespace lanternwick
