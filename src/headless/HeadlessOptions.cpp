#include "headless/HeadlessOptions.h"

#include "monitor/SettingsKeys.h"

namespace lanternwick {

const std::string_view headlessUsage =
    "usage: lanternwick [--headless] [--file PATH] [--host HOST] [--port PORT]\n"
    "                   [--update-on-connect] [--sync-labels] [--delete-cues]\n"
    "                   [--assume-yes | --assume-no] [--json]\n"
    "       lanternwick --help | --version\n"
    "  --headless           run in the terminal, without a window\n"
    "  --file PATH          marker file to watch (must be a valid Tempolane file)\n"
    "  --host HOST          console host (default: saved setting, else 127.0.0.1)\n"
    "  --port PORT          console OSC TCP port, 1-65535 (default: saved setting, else 8555)\n"
    "  --update-on-connect  send every cue of the file whenever the console connects\n"
    "  --sync-labels        send marker labels as cue labels\n"
    "  --delete-cues        delete cues whose markers were deleted\n"
    "  --assume-yes         delete without asking\n"
    "  --assume-no          never delete (the answer when there is no terminal to ask)\n"
    "  --json               print one JSON object per line instead of text\n"
    "  --version            print the version and exit\n"
    "Flags apply to this run only and are never saved.\n";

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
        } else if (flag == "--update-on-connect" && noValue()) {
            options.updateOnConnect = true;
        } else if (flag == "--sync-labels" && noValue()) {
            options.syncLabels = true;
        } else if (flag == "--delete-cues" && noValue()) {
            options.deleteCues = true;
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
                                   flag == "--update-on-connect" || flag == "--sync-labels" ||
                                   flag == "--delete-cues" || flag == "--assume-yes" || flag == "--assume-no" ||
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
    if (options.updateOnConnect) overrides.emplace(settingsKey::optUpdateOnConnect, true);
    if (options.syncLabels) overrides.emplace(settingsKey::optSyncLabels, true);
    if (options.deleteCues) overrides.emplace(settingsKey::optDeleteCues, true);
    return overrides;
}

}  // namespace lanternwick
