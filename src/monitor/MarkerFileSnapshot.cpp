#include "monitor/MarkerFileSnapshot.h"

#include <openssl/evp.h>

#include <array>
#include <utility>

#include "markers/TempolaneFileValidationError.h"
#include "support/TextRules.h"
#include "support/Uuid.h"

namespace lanternwick {
namespace {

LightingChangeEvent makeEvent(LightingChangeEvent::Kind kind, std::string summary, std::string details,
                              std::vector<LightingAction> actions = {}) {
    return LightingChangeEvent{Uuid::random(), std::chrono::system_clock::now(), kind, std::move(summary),
                               std::move(details), std::move(actions)};
}

// Told apart from a text that does not parse, which is usually a save read
// half written.
MarkerDiff notAMarkerFileDiff(MarkerDiff diff) {
    if (!diff.actions.empty()) {
        diff.actions = {LightingAction{.id = Uuid::random(),
                                       .kind = LightingAction::Kind::unknown,
                                       .summary = "Not a Tempolane marker file",
                                       .details = "Structured marker diff was skipped."}};
    }
    diff.parseIssue = std::string(notAMarkerFileNote);
    return diff;
}

}  // namespace

FileLook MarkerFileSnapshot::look(FileSystem& fileSystem, const std::filesystem::path& file) {
    using Kind = LightingChangeEvent::Kind;
    ++generation_;
    FileLook look;
    const bool wasExisting = lastKnownExists_;
    const bool hadLooked = std::exchange(hasLooked_, true);
    if (!fileSystem.fileExists(file)) {
        if (lastMarkers_) {
            markersBeforeGap_ = std::move(lastMarkers_);
        }
        if (lastKnownExists_) {
            look.event = makeEvent(Kind::deleted, "File removed", "The monitored file no longer exists.");
        }
        lastKnownExists_ = false;
        lastFingerprint_.reset();
        lastText_.reset();
        lastMarkers_.reset();
        return look;
    }

    lastKnownExists_ = true;
    auto bytes = fileSystem.readFile(file);
    if (!bytes) {
        const std::string& message = bytes.error();
        if (lastReadError_ != message) {
            look.event = makeEvent(Kind::unreadable, "Failed reading file", message);
            lastReadError_ = message;
        }
        return look;
    }

    // Fingerprint first: an unchanged file costs one read and one hash, no decoding.
    std::string fingerprint = sha256Hex(*bytes);
    lastReadError_.reset();
    if (lastFingerprint_ == fingerprint) {
        // The file may have come back readable as it was before it failed;
        // bytes that did not parse then do not parse now.
        look.markersCurrent = lastFingerprintParsed_;
        return look;
    }

    const Kind kind = lastFingerprint_ ? Kind::modified : (hadLooked && !wasExisting ? Kind::created : Kind::initial);
    std::string text = decodeUTF8(*bytes);
    const bool hasPrevious = kind == Kind::modified && lastText_;
    const auto previousView = hasPrevious ? std::optional<std::string_view>(*lastText_) : std::nullopt;

    const XMLLikeAnalysis analysis = analyzeText(text, static_cast<std::int64_t>(bytes->size()));
    // Another kind of file at the path (an editor or a sync tool writing
    // something else there) is no show, even when it is well-formed XML:
    // read as one without markers, it would delete every cue.
    const bool isMarkerFile = static_cast<bool>(validateMarkerText(text));
    ParsedMarkers markers = isMarkerFile ? parseMarkers(text) : std::nullopt;
    MarkerDiff diff = diffMarkerSnapshots(hasPrevious ? &lastMarkers_ : nullptr, markers, kind);
    if (!isMarkerFile) {
        diff = notAMarkerFileDiff(std::move(diff));
    }
    look.event = makeEvent(kind, eventSummary(kind, analysis, diff.actions),
                           eventDetails(analysis, previousView, diff), diff.actions);
    const bool baseUnparsable = !hasPrevious || !lastMarkers_;

    // A read that caught the file half written does not parse while the
    // previous text did: keeping the previous text as the base lets the next
    // look diff the finished save against what the console last heard of.
    const bool newTextUnparsable = kind == Kind::modified && diff.oldCount && !diff.newCount;
    look.consoleDiff = diffAcrossGap(baseUnparsable, markers, std::move(diff));
    look.isInitialSnapshot = kind != Kind::modified;
    lastFingerprint_ = std::move(fingerprint);
    lastFingerprintParsed_ = markers.has_value();
    lastFingerprintIsMarkerFile_ = isMarkerFile;
    look.markersCurrent = lastFingerprintParsed_;
    if (!newTextUnparsable) {
        lastText_ = std::move(text);
        lastMarkers_ = std::move(markers);
    }
    return look;
}

// The console gets the diff against the last markers that parsed, plus the
// first snapshot's cue queries.
MarkerDiff MarkerFileSnapshot::diffAcrossGap(bool baseUnparsable, const ParsedMarkers& markers, MarkerDiff diff) {
    if (!markersBeforeGap_ || !baseUnparsable || !markers) {
        return diff;
    }
    MarkerDiff gap = diffParsedMarkers(*markersBeforeGap_, *markers);
    gap.cueLookupRequests = std::move(diff.cueLookupRequests);
    markersBeforeGap_.reset();
    return gap;
}

void MarkerFileSnapshot::reset() {
    const std::uint64_t generation = generation_ + 1;
    *this = MarkerFileSnapshot();
    generation_ = generation;
}

FileVerdict MarkerFileSnapshot::verdict() const {
    using Kind = FileVerdict::Kind;
    if (!hasLooked_) return {};
    if (!lastKnownExists_) return {Kind::missing, {}};
    if (lastReadError_) return {Kind::unreadable, *lastReadError_};
    return {lastFingerprintIsMarkerFile_ ? Kind::markerFile : Kind::notAMarkerFile, {}};
}

ParsedMarkers readMarkersNow(FileSystem& fileSystem, const std::filesystem::path& file) {
    const auto bytes = fileSystem.readFile(file);
    // Another kind of file parses as a show without cues: held lines would
    // give way to an update of nothing.
    if (!bytes || !validateMarkerBytes(*bytes)) {
        return std::nullopt;
    }
    return parseMarkers(decodeUTF8(*bytes));
}

std::string sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += hexDigits[digest[i] >> 4];
        hex += hexDigits[digest[i] & 0x0f];
    }
    return hex;
}

}  // namespace lanternwick
