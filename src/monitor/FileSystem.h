#pragma once
// FileSystem: the two file operations the monitor needs, an existence test
// and a whole-file read, behind an interface so tests can make reads fail
// with chosen texts. LocalFileSystem is the real one. Stateless; callable
// from any thread. Read failures carry the operating system's description
// ("Permission denied", "Is a directory"), which the event log shows verbatim.

#include <filesystem>
#include <string>

#include "support/Result.h"

namespace lanternwick {

class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool fileExists(const std::filesystem::path& path) const = 0;
    // The file's bytes, or the description of why they could not be read.
    virtual Result<std::string, std::string> readFile(const std::filesystem::path& path) const = 0;
};

class LocalFileSystem final : public FileSystem {
public:
    bool fileExists(const std::filesystem::path& path) const override;
    Result<std::string, std::string> readFile(const std::filesystem::path& path) const override;
};

}  // namespace lanternwick
