#pragma once
// HeadlessOptions: the command line of `lanternwick --headless`, parsed.
// Flags switch an option on or off or replace a setting for one run;
// whatever is not given comes from the settings store. Pure; any thread.

#include <cstdint>
#include <functional>
#include <map>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eos/EosConsoleSettings.h"
#include "monitor/SettingsStore.h"
#include "support/Result.h"

namespace lanternwick {

struct HeadlessOptions {
    enum class DeletionAnswer { ask, yes, no };

    std::optional<std::filesystem::path> file;
    std::optional<std::string> host;
    std::optional<std::uint16_t> port;
    // Absent: the saved setting holds.
    std::optional<bool> updateOnConnect;
    std::optional<bool> syncLabels;
    std::optional<bool> deleteCues;
    std::optional<EosFraming> framing;
    DeletionAnswer deletionAnswer = DeletionAnswer::ask;
    bool showHelp = false;
    // JSON Lines on standard output instead of lines for a person.
    bool json = false;
    bool showVersion = false;

    friend bool operator==(const HeadlessOptions&, const HeadlessOptions&) = default;
};

// The failure is the message to show, without the usage text.
Result<HeadlessOptions, std::string> parseHeadlessArguments(const std::vector<std::string>& args);

extern const std::string_view headlessUsage;

// The flag that set a setting for this run ("--sync-labels",
// "--no-sync-labels", "--port"), or empty when no flag did.
std::string_view flagFor(const HeadlessOptions& options, std::string_view settingsKey);

// The settings the flags set for this run, keyed as the store keys them.
std::map<std::string, SettingsStore::Value, std::less<>> settingsFromFlags(const HeadlessOptions& options);

}  // namespace lanternwick

namespace lanternwick {

// The start-up check of --file: the path made absolute, read by the poll's
// own bounded reader (so a named pipe, a device or a huge file is refused at
// once, with the poll's texts) and its header checked. The failure is the
// whole message, escaped for a terminal.
Result<std::filesystem::path, std::string> checkedMarkerFile(const std::filesystem::path& file);

}  // namespace lanternwick
