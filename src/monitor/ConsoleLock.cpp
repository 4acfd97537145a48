#include "monitor/ConsoleLock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "eos/EosConsoleSettings.h"
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

std::optional<pid_t> processIn(const int fd) {
    char text[32] = {};
    const auto got = ::pread(fd, text, sizeof text - 1, 0);
    if (got <= 0) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || value <= 0) return std::nullopt;
    return static_cast<pid_t>(value);
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
    const auto absoluteFolder = [](const char* variable) -> std::optional<std::filesystem::path> {
        const char* value = std::getenv(variable);
        if (value == nullptr || value[0] != '/') return std::nullopt;
        return std::filesystem::path(value);
    };
    if (const auto runtime = absoluteFolder("XDG_RUNTIME_DIR")) return *runtime / "lanternwick";
    if (const auto cache = absoluteFolder("XDG_CACHE_HOME")) return *cache / "lanternwick";
    if (const auto home = absoluteFolder("HOME")) return *home / ".cache" / "lanternwick";
    return std::filesystem::temp_directory_path() / ("lanternwick-" + std::to_string(::getuid()));
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
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return refusal(path.string() + ": " + std::strerror(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        if (reason != EWOULDBLOCK) {
            ::close(fd);
            return refusal(path.string() + ": " + std::strerror(reason));
        }
        // The holder writes its id right after locking; give it a moment.
        std::optional<pid_t> other = processIn(fd);
        for (int attempt = 0; !other && attempt < 20; ++attempt) {
            ::usleep(5000);
            other = processIn(fd);
        }
        ::close(fd);
        return fail(ConsoleLockRefusal{console.host, console.port, other, {}});
    }
    const std::string id = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const auto written = ::pwrite(fd, id.data(), id.size(), 0);
    }
    return ConsoleLock(fd, std::move(console.host), console.port);
}

ConsoleLock::ConsoleLock(ConsoleLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), host_(std::move(other.host_)), port_(other.port_) {}

ConsoleLock& ConsoleLock::operator=(ConsoleLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        host_ = std::move(other.host_);
        port_ = other.port_;
    }
    return *this;
}

ConsoleLock::~ConsoleLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool ConsoleLock::isFor(std::string_view host, std::uint16_t port) const {
    const Console console = normalised(host, port);
    return console.host == host_ && console.port == port_;
}

}  // namespace lanternwick
