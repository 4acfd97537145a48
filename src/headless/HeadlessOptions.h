#pragma once
// HeadlessOptions: the command line of `lanternwick --headless`, parsed.
// Flags only switch options on or replace a setting for one run; whatever is
// not given comes from the settings store. Pure; any thread.

#include <cstdint>
#include <functional>
#include <map>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/SettingsStore.h"
#include "support/Result.h"

namespace lanternwick {

struct HeadlessOptions {
    enum class DeletionAnswer { ask, yes, no };

    std::optional<std::filesystem::path> file;
    std::optional<std::string> host;
    std::optional<std::uint16_t> port;
    bool updateOnConnect = false;
    bool syncLabels = false;
    bool deleteCues = false;
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

// The settings the flags set for this run, keyed as the store keys them;
// options can only be switched on from the command line.
std::map<std::string, SettingsStore::Value, std::less<>> settingsFromFlags(const HeadlessOptions& options);

}  // namespace lanternwick
