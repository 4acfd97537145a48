#pragma once
// The system's side of ConsoleLock, in a file per system (ConsoleLockPosix.cpp
// on flock(2)): where the lock files live, the file opened and locked without
// waiting, the holder's process id written and read in it, and the file
// closed. Everything else (names, normalisation, the texts) is ConsoleLock's
// own, so a port adds a file and edits none. For ConsoleLock only; a handle
// has one owner, and any thread may use it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace lanternwick::consoleLockFile {

// What the system hands out for an open lock file; `noHandle` for none.
using Handle = std::intptr_t;
inline constexpr Handle noHandle = -1;

struct Opened {
    // Open, and locked unless heldElsewhere.
    Handle handle = noHandle;
    // Another process holds the lock; the file stays open so its id can be read.
    bool heldElsewhere = false;
    // Why the file could not be opened or locked (no handle then).
    std::string error;
};

std::filesystem::path defaultFolder();
Opened openLocked(const std::filesystem::path& path);
// The id the holder wrote, once it has.
std::optional<std::int64_t> writtenProcess(Handle handle);
// Best effort: the lock holds whether or not the id could be written.
void writeOwnProcess(Handle handle);
void close(Handle handle);

}  // namespace lanternwick::consoleLockFile
