#pragma once
// TempolaneFileValidationError and validateMarkerFile: the header check run
// when the user selects a marker file (never while polling). The check looks
// for the XML declaration and the Tempolane root tag by pattern; the body is
// not parsed. Synchronous, on the caller's thread.

#include <filesystem>
#include <string>
#include <string_view>

#include "support/Result.h"

namespace lanternwick {

struct TempolaneFileValidationError {
    enum class Kind { unreadableFile, invalidTempolaneXML };

    Kind kind = Kind::invalidTempolaneXML;
    // The platform's description of the read failure (unreadableFile only).
    std::string reason;

    static TempolaneFileValidationError unreadableFile(std::string reason);
    static TempolaneFileValidationError invalidTempolaneXML();

    // The text the invalid-file alert shows.
    std::string description() const;

    friend bool operator==(const TempolaneFileValidationError&,
                           const TempolaneFileValidationError&) = default;
};

Result<void, TempolaneFileValidationError> validateMarkerFile(const std::filesystem::path& path);

// The header check on bytes already read (decoded as UTF-8 with replacement).
Result<void, TempolaneFileValidationError> validateMarkerBytes(std::string_view bytes);
// The same check on text already decoded as UTF-8, for a caller that has it.
Result<void, TempolaneFileValidationError> validateMarkerText(std::string_view text);

}  // namespace lanternwick
