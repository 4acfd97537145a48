#include "headless/HeadlessOptions.h"

#include <algorithm>
#include <getopt.h>

#include "headless/HeadlessRecordFormat.h"
#include "markers/TempolaneFileValidationError.h"
#include "monitor/FileSystem.h"
#include "monitor/SettingsKeys.h"
#include "support/IntegerText.h"

namespace lanternwick {

namespace {

// The defaults quoted here are the ones the monitor applies, so they are
// read from where they are defined rather than written a second time.
std::string usageText() {
    return std::string(
    "usage: lanternwick [--headless] [--file PATH] [--host HOST] [--port PORT]\n"
    "                   [--framing slip|length] [--[no-]update-on-connect]\n"
    "                   [--[no-]sync-labels] [--[no-]delete-cues]\n"
    "                   [--assume-yes | --assume-no] [--json]\n"
    "       lanternwick --help | --version\n"
    "  --headless           run in the terminal, without a window\n"
    "  --file PATH          marker file to watch (must be a valid Tempolane file)\n"
    "  --host HOST          console host (default: saved setting, else ") + std::string(defaultEosHost) + ")\n"
    "  --port PORT          console OSC TCP port, 1-65535 (default: saved setting, else " +
           std::to_string(defaultEosPort) + ")\n"
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
}

}  // namespace

const std::string_view headlessUsage = [] {
    static const std::string text = usageText();
    return std::string_view(text);
}();

namespace {

std::optional<std::uint16_t> portNumber(const std::string_view text) {
    // Leading zeros beyond five digits read as a typo, not as a port.
    if (text.size() > 5) return std::nullopt;
    const std::optional<std::uint16_t> value = parseInteger<std::uint16_t>(text);
    if (!value || *value == 0) return std::nullopt;
    return value;
}

constexpr std::string_view optionNames[] = {"update-on-connect", "sync-labels", "delete-cues"};
constexpr std::optional<bool> HeadlessOptions::*optionFields[] = {
    &HeadlessOptions::updateOnConnect, &HeadlessOptions::syncLabels, &HeadlessOptions::deleteCues};
constexpr std::string_view optionKeys[] = {settingsKey::optUpdateOnConnect, settingsKey::optSyncLabels,
                                           settingsKey::optDeleteCues};

bool isBlank(const std::string_view text) {
    return text.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

}  // namespace

namespace {

// getopt_long's return values for the long options; a switched option i is
// switchedBase + 2 i when it switches on, one more when it switches off.
enum OptionCode : int {
    headlessCode = 256,
    helpCode,
    versionCode,
    jsonCode,
    assumeYesCode,
    assumeNoCode,
    fileCode,
    hostCode,
    portCode,
    framingCode,
    switchedBase,
};

const std::vector<option>& longOptions() {
    static const std::vector<option> table = [] {
        std::vector<option> options = {
            {"headless", no_argument, nullptr, headlessCode},     {"help", no_argument, nullptr, helpCode},
            {"version", no_argument, nullptr, versionCode},       {"json", no_argument, nullptr, jsonCode},
            {"assume-yes", no_argument, nullptr, assumeYesCode},  {"assume-no", no_argument, nullptr, assumeNoCode},
            {"file", required_argument, nullptr, fileCode},       {"host", required_argument, nullptr, hostCode},
            {"port", required_argument, nullptr, portCode},       {"framing", required_argument, nullptr, framingCode},
        };
        static const std::vector<std::string> names = [] {
            std::vector<std::string> all;
            for (const std::string_view name : optionNames) {
                all.push_back(std::string(name));
                all.push_back("no-" + std::string(name));
            }
            return all;
        }();
        for (std::size_t i = 0; i < names.size(); ++i) {
            options.push_back({names[i].c_str(), no_argument, nullptr, switchedBase + static_cast<int>(i)});
        }
        options.push_back({nullptr, 0, nullptr, 0});
        return options;
    }();
    return table;
}

std::string nameOf(int code) {
    if (code == 'h') return "-h";
    for (const option& entry : longOptions()) {
        if (entry.name != nullptr && entry.val == code) return "--" + std::string(entry.name);
    }
    return {};
}

}  // namespace

Result<HeadlessOptions, std::string> parseHeadlessArguments(const std::vector<std::string>& args) {
    std::vector<std::string> texts{"lanternwick"};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    HeadlessOptions options;
    bool assumeYes = false;
    bool assumeNo = false;
    // getopt_long keeps its place in globals: 0 starts a fresh parse. '+'
    // stops at the first argument that is no option, which is then refused;
    // ':' reports a missing value apart from an unknown option.
    ::optind = 0;
    ::opterr = 0;
    const int argc = static_cast<int>(texts.size());
    while (true) {
        const int code = ::getopt_long(argc, argv.data(), "+:h", longOptions().data(), nullptr);
        if (code == -1) break;
        const std::optional<std::string> value = ::optarg ? std::optional<std::string>(::optarg) : std::nullopt;
        switch (code) {
        case headlessCode: break;
        case 'h':
        case helpCode: options.showHelp = true; break;
        case versionCode: options.showVersion = true; break;
        case jsonCode: options.json = true; break;
        case assumeYesCode: assumeYes = true; break;
        case assumeNoCode: assumeNo = true; break;
        case fileCode:
            if (isBlank(*value)) return fail(std::string("--file needs the path of a marker file"));
            options.file = std::filesystem::path(*value);
            break;
        case hostCode:
            if (isBlank(*value)) return fail(std::string("--host needs a host name or address"));
            options.host = *value;
            break;
        case portCode: {
            const auto port = portNumber(*value);
            if (!port) return fail("--port needs a port number from 1 to 65535, not \"" + *value + "\"");
            options.port = *port;
            break;
        }
        case framingCode:
            if (*value != "slip" && *value != "length") {
                return fail("--framing needs slip or length, not \"" + *value + "\"");
            }
            options.framing = eosFramingFromSettingText(*value);
            break;
        case ':':
            switch (::optopt) {
            case fileCode: return fail(std::string("--file needs the path of a marker file"));
            case hostCode: return fail(std::string("--host needs a host name or address"));
            case portCode: return fail(std::string("--port needs a port number from 1 to 65535"));
            default: return fail(std::string("--framing needs slip or length"));
            }
        case '?':
            // A known option given a value it does not take, or no known option at all.
            if (::optopt >= headlessCode) return fail(nameOf(::optopt) + " takes no value");
            return fail("unknown argument: " + texts[static_cast<std::size_t>(std::max(::optind - 1, 1))]);
        default: {
            const auto index = static_cast<std::size_t>(code - switchedBase);
            std::optional<bool>& field = options.*optionFields[index / 2];
            const bool on = index % 2 == 0;
            if (field && *field != on) {
                const std::string name(optionNames[index / 2]);
                return fail("--" + name + " and --no-" + name + " exclude each other");
            }
            field = on;
        }
        }
    }
    if (::optind < argc) return fail("unknown argument: " + texts[static_cast<std::size_t>(::optind)]);
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
