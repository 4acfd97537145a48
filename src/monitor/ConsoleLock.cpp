#include "monitor/ConsoleLock.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "eos/EosConsoleSettings.h"
#include "monitor/ConsoleLockFile.h"
#include "support/TextRules.h"

namespace lanternwick {

namespace {

struct Console {
    std::string host;
    std::uint16_t port;
};

Console normalised(std::string_view host, std::uint16_t port) {
    std::string trimmedHost = trimmed(host);
    if (trimmedHost.empty()) trimmedHost = std::string(defaultEosHost);
    return {std::move(trimmedHost), port == 0 ? defaultEosPort : port};
}

}  // namespace

std::string ConsoleLockRefusal::description() const {
    const std::string console = host + ":" + std::to_string(port);
    if (!systemError.empty()) return "cannot take the lock for the console at " + console + ": " + systemError;
    std::string text = "another Lanternwick";
    if (otherProcess) text += " (process " + std::to_string(*otherProcess) + ")";
    return text + " is already talking to the console at " + console;
}

std::filesystem::path ConsoleLock::defaultFolder() {
    return consoleLockFile::defaultFolder();
}

std::string ConsoleLock::fileName(std::string_view host, std::uint16_t port) {
    const Console console = normalised(host, port);
    std::string name = "console-";
    for (const char c : console.host) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            byte == '.' || byte == '-' || byte == '_') {
            name += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            name += escaped;
        }
    }
    return name + "-" + std::to_string(console.port) + ".lock";
}

Result<ConsoleLock, ConsoleLockRefusal> ConsoleLock::acquire(std::string_view host, std::uint16_t port) {
    return acquire(host, port, defaultFolder());
}

Result<ConsoleLock, ConsoleLockRefusal> ConsoleLock::acquire(std::string_view host, std::uint16_t port,
                                                             const std::filesystem::path& folder) {
    Console console = normalised(host, port);
    const auto refusal = [&](std::string error) {
        return fail(ConsoleLockRefusal{console.host, console.port, std::nullopt, std::move(error)});
    };
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return refusal(folder.string() + ": " + error.message());
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);

    const std::filesystem::path path = folder / fileName(console.host, console.port);
    const consoleLockFile::Opened opened = consoleLockFile::openLocked(path);
    if (opened.handle == consoleLockFile::noHandle) return refusal(path.string() + ": " + opened.error);
    if (opened.heldElsewhere) {
        // The holder writes its id right after locking; give it a moment.
        std::optional<std::int64_t> other = consoleLockFile::writtenProcess(opened.handle);
        for (int attempt = 0; !other && attempt < 20; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            other = consoleLockFile::writtenProcess(opened.handle);
        }
        consoleLockFile::close(opened.handle);
        return fail(ConsoleLockRefusal{console.host, console.port, other, {}});
    }
    consoleLockFile::writeOwnProcess(opened.handle);
    return ConsoleLock(opened.handle, std::move(console.host), console.port);
}

ConsoleLock::ConsoleLock(ConsoleLock&& other) noexcept
    : handle_(std::exchange(other.handle_, consoleLockFile::noHandle)),
      host_(std::move(other.host_)),
      port_(other.port_) {}

ConsoleLock& ConsoleLock::operator=(ConsoleLock&& other) noexcept {
    if (this != &other) {
        if (handle_ != consoleLockFile::noHandle) consoleLockFile::close(handle_);
        handle_ = std::exchange(other.handle_, consoleLockFile::noHandle);
        host_ = std::move(other.host_);
        port_ = other.port_;
    }
    return *this;
}

ConsoleLock::~ConsoleLock() {
    if (handle_ != consoleLockFile::noHandle) consoleLockFile::close(handle_);
}

bool ConsoleLock::isFor(std::string_view host, std::uint16_t port) const {
    const Console console = normalised(host, port);
    return console.host == host_ && console.port == port_;
}

}  // namespace lanternwick
