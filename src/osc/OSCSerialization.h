#pragma once
// OSCSerialization: the one shared registry that maps a type tag character
// back to the value kinds that may decode it. Created on first use (thread
// safe) with the fourteen core kinds in their fixed order; further kinds may
// be registered once no core or registered tag is claimed twice. Lookups are
// lock-free reads of an immutable table and may run on any thread while
// another registers; the table grows only, and its entries live as long as
// the program.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "osc/OSCDecodeError.h"
#include "osc/OSCValue.h"
#include "osc/OSCValueTagIdentity.h"
#include "osc/OSCValueToken.h"
#include "support/Result.h"

namespace lanternwick {

class OSCValueDecoder;

struct OSCSerializationError {
    enum class Kind { tagAlreadyRegistered };
    Kind kind = Kind::tagAlreadyRegistered;

    std::string description() const { return "Tag already registered"; }
    friend bool operator==(const OSCSerializationError&, const OSCSerializationError&) = default;
};

// The three decoder shapes. A variadic decoder returns nothing when the tags
// are not its kind's, else the count of tags consumed and the value.
using OSCValueStaticTagDecoder = std::function<Result<OSCValue, OSCDecodeError>(OSCValueDecoder&)>;
using OSCValueVariableTagDecoder = std::function<Result<OSCValue, OSCDecodeError>(char, OSCValueDecoder&)>;
using OSCValueVariadicTagDecoder =
    std::function<Result<std::optional<std::pair<std::size_t, OSCValue>>, OSCDecodeError>(
        std::span<const char>, OSCValueDecoder&)>;

// One registered kind. Core kinds carry `coreKind` and are decoded by the
// layer itself; a further kind brings its own decoder (std::monostate means
// it has none, which decoding reports).
struct OSCValueKindEntry {
    std::string name;
    OSCValueTagIdentity identity;
    OSCValueToken token = OSCValueToken::string;
    std::optional<OSCValueKind> coreKind;
    std::variant<std::monostate, OSCValueStaticTagDecoder, OSCValueVariableTagDecoder, OSCValueVariadicTagDecoder>
        decoder;
};

class OSCSerialization {
public:
    static OSCSerialization& shared();

    // Every kind that may decode `tag`, in registry order; variadic kinds are
    // candidates for every tag. Valid for the life of the program.
    std::span<const OSCValueKindEntry* const> candidates(char tag) const;

    // The (identity, kind) list in registry order.
    std::vector<const OSCValueKindEntry*> tagIdentities() const;

    Result<void, OSCSerializationError> registerKind(OSCValueKindEntry entry);

    OSCSerialization(const OSCSerialization&) = delete;
    OSCSerialization& operator=(const OSCSerialization&) = delete;

private:
    struct Table;
    OSCSerialization();
    ~OSCSerialization();

    std::mutex registering_;
    std::vector<std::unique_ptr<OSCValueKindEntry>> entries_;
    std::vector<std::unique_ptr<const Table>> tables_;
    std::atomic<const Table*> current_{nullptr};
};

}  // namespace lanternwick
