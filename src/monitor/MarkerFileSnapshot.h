#pragma once
// MarkerFileSnapshot: what the polls have seen of the marker file, and what
// one more look at it means: read the file, fingerprint it, and only when the
// fingerprint moved decode, check the header, parse and diff. A look returns
// the change event to record and the diff the console is to hear; it records
// nothing and sends nothing itself, so the monitor stays the one that tells.
// Keeps the last text and its markers (at most one file's worth, which the
// file reader bounds at 64 MiB), the last markers that parsed before the file
// went missing or stopped parsing, and the last read error.
// Not thread-safe; the monitor's main thread only.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "markers/LightingChangeEvent.h"
#include "markers/MarkerDiff.h"
#include "monitor/FileSystem.h"

namespace lanternwick {

// What the last look found at the path, for those who show whether the file
// can be used without reading it again themselves.
struct FileVerdict {
    enum class Kind {
        notLookedAt,
        missing,
        // `reason` says why, in the file reader's words.
        unreadable,
        // Readable, without the Tempolane header.
        notAMarkerFile,
        // Has the header; its markers may still fail to parse (a save read
        // half written).
        markerFile,
    };
    Kind kind = Kind::notLookedAt;
    std::string reason;

    friend bool operator==(const FileVerdict&, const FileVerdict&) = default;
};

// The outcome of one look.
struct FileLook {
    // What happened to the file since the last look, if anything did.
    std::optional<LightingChangeEvent> event;
    // The file's markers as they are now parsed (new or unchanged since the
    // last look), so an update that waited for a parsable file can go.
    bool markersCurrent = false;
    // What the console is to hear; absent when the content did not change.
    std::optional<MarkerDiff> consoleDiff;
    // Whether consoleDiff is a first snapshot (its cue queries, no edits).
    bool isInitialSnapshot = false;
};

class MarkerFileSnapshot {
public:
    FileLook look(FileSystem& fileSystem, const std::filesystem::path& file);
    // Forgets everything, as when another file is chosen: the next look is a
    // first one.
    void reset();

    // The markers of the last text that was kept (a text caught half written
    // is not kept); nullopt when it did not parse or no file was read.
    const ParsedMarkers& markers() const { return lastMarkers_; }
    // Moves on with every look and reset, so that what is derived from
    // markers() knows when to derive it again.
    std::uint64_t generation() const { return generation_; }
    FileVerdict verdict() const;

private:
    // A file that was missing, or whose last read did not parse, comes back
    // as a first snapshot for the event log; the console, though, has to
    // hear about the edits made across the gap.
    MarkerDiff diffAcrossGap(bool baseUnparsable, const ParsedMarkers& markers, MarkerDiff diff);

    std::optional<std::string> lastFingerprint_;
    std::optional<std::string> lastText_;
    // The markers of lastText_ (the same text always yields the same markers),
    // so that a look parses only the text it read.
    ParsedMarkers lastMarkers_;
    // The last markers that parsed before the file went missing, until the
    // console has heard what changed across the gap.
    ParsedMarkers markersBeforeGap_;
    // Whether the text of lastFingerprint_ parsed; its markers are then lastMarkers_.
    bool lastFingerprintParsed_ = false;
    bool lastFingerprintIsMarkerFile_ = false;
    std::uint64_t generation_ = 0;
    bool lastKnownExists_ = false;
    std::optional<std::string> lastReadError_;
    bool hasLooked_ = false;
};

// The markers of the file as it is now, read afresh; nullopt when it cannot
// be read, has no Tempolane header, or does not parse.
ParsedMarkers readMarkersNow(FileSystem& fileSystem, const std::filesystem::path& file);

// The parser note of a look that read a text without the Tempolane header
// (the check the file chooser makes): the last markers that were read stay
// the base of the next diff, and the console is sent nothing.
inline constexpr std::string_view notAMarkerFileNote =
    "The file has no Tempolane header (an XML declaration with encoding \"UTF-8\", then the Tempolane root "
    "tag); its markers are not read until it has one again.";

// Lower-case hexadecimal SHA-256 of the bytes, 64 characters.
std::string sha256Hex(std::string_view bytes);

}  // namespace lanternwick
