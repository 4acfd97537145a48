#include "headless/HeadlessOptions.h"

#include "headless/HeadlessRecordFormat.h"
#include "markers/TempolaneFileValidationError.h"
#include "monitor/FileSystem.h"
#include "monitor/SettingsKeys.h"

namespace lanternwick {

const std::string_view headlessUsage =
    "usage: lanternwick [--headless] [--file PATH] [--host HOST] [--port PORT]\n"
    "                   [--framing slip|length] [--[no-]update-on-connect]\n"
    "                   [--[no-]sync-labels] [--[no-]delete-cues]\n"
    "                   [--assume-yes | --assume-no] [--json]\n"
    "       lanternwick --help | --version\n"
    "  --headless           run in the terminal, without a window\n"
    "  --file PATH          marker file to watch (must be a valid Tempolane file)\n"
    "  --host HOST          console host (default: saved setting, else 127.0.0.1)\n"
    "  --port PORT          console OSC TCP port, 1-65535 (default: saved setting, else 8555)\n"
    "  --framing MODE       how packets are framed on the console link: slip (OSC 1.1)\n"
    "                       or length (OSC 1.0 packet length) (default: saved, else slip)\n"
    "  --update-on-connect  send every cue of the file whenever the console connects\n"
    "  --sync-labels        send marker labels as cue labels\n"
    "  --delete-cues        delete cues whose markers were deleted\n"
    "  --no-update-on-connect, --no-sync-labels, --no-delete-cues\n"
    "                       switch a saved option off for this run\n"
    "  --assume-yes         delete without asking\n"
    "  --assume-no          never delete (the answer when there is no terminal to ask)\n"
    "  --json               print one JSON object per line instead of text\n"
    "  --version            print the version and exit\n"
    "Flags apply to this run only and are never saved; a terminal run saves nothing.\n"
    "The start-up note lists the options in force and where each comes from.\n"
    "One copy per console: a second one for the same host and port refuses (status 2).\n";

namespace {

std::optional<std::uint16_t> portNumber(const std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

struct SwitchedOption {
    std::string_view name;
    std::optional<bool> HeadlessOptions::*field;
    std::string_view key;
    bool on;
};

constexpr std::string_view optionNames[] = {"update-on-connect", "sync-labels", "delete-cues"};
constexpr std::optional<bool> HeadlessOptions::*optionFields[] = {
    &HeadlessOptions::updateOnConnect, &HeadlessOptions::syncLabels, &HeadlessOptions::deleteCues};
constexpr std::string_view optionKeys[] = {settingsKey::optUpdateOnConnect, settingsKey::optSyncLabels,
                                           settingsKey::optDeleteCues};

std::optional<SwitchedOption> switchedOption(std::string_view flag) {
    if (!flag.starts_with("--")) return std::nullopt;
    flag.remove_prefix(2);
    const bool on = !flag.starts_with("no-");
    if (!on) flag.remove_prefix(3);
    for (std::size_t i = 0; i < std::size(optionNames); ++i) {
        if (flag == optionNames[i]) return SwitchedOption{optionNames[i], optionFields[i], optionKeys[i], on};
    }
    return std::nullopt;
}

bool isBlank(const std::string_view text) {
    return text.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

}  // namespace

Result<HeadlessOptions, std::string> parseHeadlessArguments(const std::vector<std::string>& args) {
    HeadlessOptions options;
    bool assumeYes = false;
    bool assumeNo = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view flag = args[i];
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = flag.find('='); flag.starts_with("--") && equals != std::string_view::npos) {
            inlineValue = std::string(flag.substr(equals + 1));
            flag = flag.substr(0, equals);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        const auto noValue = [&]() { return !inlineValue.has_value(); };

        if (flag == "--headless" && noValue()) {
        } else if ((flag == "--help" || flag == "-h") && noValue()) {
            options.showHelp = true;
        } else if (flag == "--version" && noValue()) {
            options.showVersion = true;
        } else if (const auto option = switchedOption(flag); option && noValue()) {
            std::optional<bool>& field = options.*(option->field);
            if (field && *field != option->on) {
                return fail("--" + std::string(option->name) + " and --no-" + std::string(option->name) +
                            " exclude each other");
            }
            field = option->on;
        } else if (flag == "--framing") {
            const auto text = value();
            if (!text || (*text != "slip" && *text != "length")) {
                return fail("--framing needs slip or length" + (text ? ", not \"" + *text + "\"" : std::string()));
            }
            options.framing = eosFramingFromSettingText(*text);
        } else if (flag == "--assume-yes" && noValue()) {
            assumeYes = true;
        } else if (flag == "--assume-no" && noValue()) {
            assumeNo = true;
        } else if (flag == "--json" && noValue()) {
            options.json = true;
        } else if (flag == "--file") {
            const auto path = value();
            if (!path || isBlank(*path)) return fail(std::string("--file needs the path of a marker file"));
            options.file = std::filesystem::path(*path);
        } else if (flag == "--host") {
            const auto host = value();
            if (!host || isBlank(*host)) return fail(std::string("--host needs a host name or address"));
            options.host = *host;
        } else if (flag == "--port") {
            const auto text = value();
            const auto port = text ? portNumber(*text) : std::nullopt;
            if (!port) {
                return fail("--port needs a port number from 1 to 65535" +
                            (text ? ", not \"" + *text + "\"" : std::string()));
            }
            options.port = *port;
        } else if (inlineValue && (flag == "--headless" || flag == "--help" || flag == "--version" ||
                                   switchedOption(flag) || flag == "--assume-yes" || flag == "--assume-no" ||
                                   flag == "--json")) {
            return fail(std::string(flag) + " takes no value");
        } else {
            return fail("unknown argument: " + args[i]);
        }
    }
    if (assumeYes && assumeNo) return fail(std::string("--assume-yes and --assume-no exclude each other"));
    if (assumeYes) options.deletionAnswer = HeadlessOptions::DeletionAnswer::yes;
    if (assumeNo) options.deletionAnswer = HeadlessOptions::DeletionAnswer::no;
    return options;
}

std::map<std::string, SettingsStore::Value, std::less<>> settingsFromFlags(const HeadlessOptions& options) {
    std::map<std::string, SettingsStore::Value, std::less<>> overrides;
    if (options.file) overrides.emplace(settingsKey::filePath, options.file->string());
    if (options.host) overrides.emplace(settingsKey::eosHost, *options.host);
    if (options.port) overrides.emplace(settingsKey::eosPort, std::int64_t{*options.port});
    for (std::size_t i = 0; i < std::size(optionFields); ++i) {
        if (const auto& on = options.*optionFields[i]) overrides.emplace(optionKeys[i], *on);
    }
    if (options.framing) overrides.emplace(settingsKey::eosFraming, std::string(settingText(*options.framing)));
    return overrides;
}

std::string_view flagFor(const HeadlessOptions& options, const std::string_view key) {
    if (key == settingsKey::filePath && options.file) return "--file";
    if (key == settingsKey::eosHost && options.host) return "--host";
    if (key == settingsKey::eosPort && options.port) return "--port";
    if (key == settingsKey::eosFraming && options.framing) return "--framing";
    static const std::string flags[] = {"--update-on-connect", "--no-update-on-connect", "--sync-labels",
                                        "--no-sync-labels", "--delete-cues", "--no-delete-cues"};
    for (std::size_t i = 0; i < std::size(optionKeys); ++i) {
        if (key == optionKeys[i] && options.*optionFields[i]) return flags[2 * i + (*(options.*optionFields[i]) ? 0 : 1)];
    }
    return {};
}

}  // namespace lanternwick

namespace lanternwick {

Result<std::filesystem::path, std::string> checkedMarkerFile(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::path absolute = std::filesystem::absolute(file, ignored);
    if (absolute.empty()) absolute = file;
    const auto refusal = [&](TempolaneFileValidationError error) {
        // The reason comes from the system (or names the path); the rest is our own text, line ends included.
        error.reason = printableText(error.reason);
        return fail(printableText(absolute.string()) + ":\n" + error.description());
    };
    const auto bytes = LocalFileSystem().readFile(absolute);
    if (!bytes) return refusal(TempolaneFileValidationError::unreadableFile(bytes.error()));
    if (const auto valid = validateMarkerBytes(*bytes); !valid) return refusal(valid.error());
    return absolute;
}

}  // namespace lanternwick
