#include "monitor/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lanternwick {
namespace {

constexpr std::uint64_t mebibyte = 1024 * 1024;
constexpr std::size_t smallestBuffer = 4096;

std::string errorText(int errorNumber) { return std::strerror(errorNumber); }

// Rounded up to a tenth, so a file just over the bound never reads as the bound.
std::string mebibytesText(const std::uint64_t bytes) {
    std::uint64_t whole = bytes / mebibyte;
    std::uint64_t tenths = (bytes % mebibyte * 10 + mebibyte - 1) / mebibyte;
    if (tenths == 10) {
        ++whole;
        tenths = 0;
    }
    return std::to_string(whole) + "." + std::to_string(tenths) + " MiB";
}

std::string limitText(const std::uint64_t limit) {
    return limit % mebibyte == 0 ? std::to_string(limit / mebibyte) + " MiB" : std::to_string(limit) + " bytes";
}

}  // namespace

std::string notRegularFileText(const FileKind kind) {
    const auto refused = [](const std::string& what) {
        return "The file is " + what + "; Lanternwick reads only regular files.";
    };
    switch (kind) {
    case FileKind::regular: return {};
    case FileKind::directory: return errorText(EISDIR);
    case FileKind::namedPipe: return refused("a named pipe (FIFO)");
    case FileKind::characterDevice: return refused("a character device");
    case FileKind::blockDevice: return refused("a block device");
    case FileKind::socket: return refused("a socket");
    case FileKind::other: break;
    }
    return refused("not a regular file");
}

std::string fileTooLargeText(const std::uint64_t size, const std::uint64_t limit) {
    return "The file is " + mebibytesText(size) + "; Lanternwick reads marker files up to " + limitText(limit) + ".";
}

std::string fileGrewPastLimitText(const std::uint64_t limit) {
    return "The file grew past " + limitText(limit) + " while being read; Lanternwick reads marker files up to " +
           limitText(limit) + ".";
}

Result<std::string, std::string> readBoundedFile(const FileFacts& facts, ByteSource& source,
                                                 const std::uint64_t limit) {
    if (facts.kind != FileKind::regular) {
        return fail(notRegularFileText(facts.kind));
    }
    if (facts.size > limit) {
        return fail(fileTooLargeText(facts.size, limit));
    }
    // The size is a hint only: the file may grow or shrink while it is read.
    // One byte past the bound is room enough to tell that it grew past it.
    const std::size_t ceiling = static_cast<std::size_t>(limit) + 1;
    std::string bytes(std::min<std::size_t>(std::max<std::size_t>(facts.size + 1, smallestBuffer), ceiling), '\0');
    std::size_t length = 0;
    while (true) {
        if (length == bytes.size()) {
            if (length == ceiling) {
                return fail(fileGrewPastLimitText(limit));
            }
            bytes.resize(std::min(bytes.size() * 2, ceiling));
        }
        const std::span<char> room(bytes.data() + length, bytes.size() - length);
        const ReadStep step = source.read(room);
        if (step.error == EINTR) {
            continue;
        }
        if (step.error != 0) {
            return fail(errorText(step.error));
        }
        if (step.count == 0) {
            break;
        }
        length += std::min(step.count, room.size());
    }
    bytes.resize(length);
    return bytes;
}

}  // namespace lanternwick
