// The marker file reader's decisions. Most inputs script a file: its kind,
// the size a look reports, a small bound, and what each read returns (bytes,
// the end, an interruption or a failure), so a file can shrink, grow within
// or past the bound, or lie about its size. Invariants: only regular files
// within the bound are read at all; a read result is exactly the bytes the
// file gave; the buffer never holds more than a byte past the bound, and a
// file that passes it is refused having given exactly that byte; a size over
// the bound is stated rounded up, never at or below it. The other inputs go
// through the real reader as the contents of an in-memory file.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "monitor/FileSystem.h"

namespace lanternwick {
namespace {

using fuzz::require;

constexpr FileKind kinds[] = {FileKind::regular,         FileKind::regular,     FileKind::regular,
                              FileKind::directory,       FileKind::namedPipe,   FileKind::characterDevice,
                              FileKind::blockDevice,     FileKind::socket,      FileKind::other};
constexpr int errors[] = {EINTR, EINTR, EIO, EAGAIN, EISDIR};

class FuzzedSource final : public ByteSource {
public:
    FuzzedSource(FuzzedDataProvider& provider, std::uint64_t limit) : provider_(provider), limit_(limit) {}

    ReadStep read(const std::span<char> into) override {
        require(given.size() + into.size() <= limit_ + 1, "the buffer never exceeds the bound by more than a byte");
        ++reads;
        if (provider_.remaining_bytes() == 0) return {};
        switch (provider_.ConsumeIntegralInRange(0, 7)) {
        case 0: return {};
        case 1: {
            const int error = provider_.PickValueInArray(errors);
            failed = failed || error != EINTR;
            return {0, error};
        }
        case 2: return deliver(into, into.size());
        default: return deliver(into, provider_.ConsumeIntegralInRange<std::size_t>(0, into.size()));
        }
    }

    std::string given;
    int reads = 0;
    bool failed = false;

private:
    ReadStep deliver(const std::span<char> into, const std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            into[i] = static_cast<char>((given.size() * 131 + 7) % 251);
            given += into[i];
        }
        return {count, 0};
    }

    FuzzedDataProvider& provider_;
    std::uint64_t limit_;
};

std::uint64_t statedSize(FuzzedDataProvider& provider, const std::uint64_t limit) {
    switch (provider.ConsumeIntegralInRange(0, 3)) {
    case 0: return limit - std::min<std::uint64_t>(limit, provider.ConsumeIntegralInRange(0, 2));
    case 1: return limit + provider.ConsumeIntegralInRange(1, 2);
    case 2: return provider.ConsumeIntegral<std::uint64_t>();
    default: return provider.ConsumeIntegralInRange<std::uint64_t>(0, limit);
    }
}

__extension__ typedef unsigned __int128 Wide;

// "The file is 12.3 MiB; ...": the stated figure is the size rounded up to a tenth.
void checkSizeText(const std::string& text, const std::uint64_t size) {
    unsigned long long whole = 0;
    unsigned tenths = 0;
    require(std::sscanf(text.c_str(), "The file is %llu.%1u MiB;", &whole, &tenths) == 2, "the size is stated");
    constexpr Wide mebibyte = 1024 * 1024;
    const Wide stated = Wide(whole) * 10 + tenths;
    require(stated * mebibyte >= Wide(size) * 10, "the stated size is never below the size");
    require(stated == 0 || (stated - 1) * mebibyte < Wide(size) * 10, "the stated size is the nearest tenth up");
}

void checkScripted(FuzzedDataProvider& provider) {
    const auto limit = provider.ConsumeIntegralInRange<std::uint64_t>(0, 8192);
    const FileFacts facts{provider.PickValueInArray(kinds), statedSize(provider, limit)};
    FuzzedSource source(provider, limit);
    const auto result = readBoundedFile(facts, source, limit);

    if (facts.kind != FileKind::regular || facts.size > limit) {
        require(source.reads == 0, "a refused file is not read");
        require(!result, "a file of another kind or over the bound is refused");
        if (facts.kind != FileKind::regular) {
            require(result.error() == notRegularFileText(facts.kind), "the refusal names the kind");
        } else {
            require(result.error() == fileTooLargeText(facts.size, limit), "the refusal states the size");
            checkSizeText(result.error(), facts.size);
        }
        return;
    }
    if (source.given.size() > limit) {
        require(source.given.size() == limit + 1, "no more than a byte past the bound is ever read");
        require(!result && result.error() == fileGrewPastLimitText(limit), "a file grown past the bound is refused");
        return;
    }
    if (source.failed) {
        require(!result && !result.error().empty(), "a failed read is a read error with a text");
        return;
    }
    require(result && *result == source.given, "the result is exactly what the file gave");
}

// The real reader on an in-memory file, whose contents must come back whole.
void checkMemoryFile(const std::uint8_t* data, const std::size_t size) {
    const int fd = ::memfd_create("marker", MFD_CLOEXEC);
    require(fd >= 0, "memfd_create works");
    require(::write(fd, data, size) == static_cast<ssize_t>(size), "the contents are written");
    const LocalFileSystem files;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const auto result = files.readFile(path);
    ::close(fd);
    require(result && result->size() == size && std::memcmp(result->data(), data, size) == 0,
            "a regular file within the bound reads back whole");
}

}  // namespace
}  // namespace lanternwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    if (size > 0 && data[0] == 'M') {
        checkMemoryFile(data + 1, size - 1);
        return 0;
    }
    FuzzedDataProvider provider(data, size);
    checkScripted(provider);
    return 0;
}
