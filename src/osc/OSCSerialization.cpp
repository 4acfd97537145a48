#include "osc/OSCSerialization.h"

#include <array>

namespace lanternwick {

// Candidates for every byte value, precomputed so that decoding a tag is one
// indexed read.
struct OSCSerialization::Table {
    std::vector<const OSCValueKindEntry*> ordered;
    std::array<std::vector<const OSCValueKindEntry*>, 256> byTag;

    explicit Table(std::vector<const OSCValueKindEntry*> entries) : ordered(std::move(entries)) {
        for (std::size_t c = 0; c < byTag.size(); ++c) {
            const char tag = static_cast<char>(c);
            for (const auto* entry : ordered) {
                if (entry->identity.isVariadic() || entry->identity.claims(tag)) {
                    byTag[c].push_back(entry);
                }
            }
        }
    }
};

namespace {

OSCValueKindEntry coreEntry(std::string name, OSCValueTagIdentity identity, OSCValueToken token,
                            OSCValueKind kind) {
    return OSCValueKindEntry{std::move(name), std::move(identity), token, kind, {}};
}

}  // namespace

OSCSerialization::OSCSerialization() {
    using I = OSCValueTagIdentity;
    using T = OSCValueToken;
    using K = OSCValueKind;
    std::vector<OSCValueKindEntry> core = {
        coreEntry("Int32", I::tag('i'), T::int32, K::int32),
        coreEntry("Float32", I::tag('f'), T::float32, K::float32),
        coreEntry("String", I::tag('s'), T::string, K::string),
        coreEntry("Data", I::tag('b'), T::blob, K::blob),
        coreEntry("Bool", I::variable({'T', 'F'}), T::boolean, K::boolean),
        coreEntry("ASCIICharacter", I::tag('c'), T::character, K::character),
        coreEntry("Double", I::tag('d'), T::float64, K::float64),
        coreEntry("Int64", I::tag('h'), T::int64, K::int64),
        coreEntry("OSCImpulseValue", I::tag('I'), T::impulse, K::impulse),
        coreEntry("OSCMIDIValue", I::tag('m'), T::midi, K::midi),
        coreEntry("OSCNullValue", I::tag('N'), T::null, K::null),
        coreEntry("OSCStringAltValue", I::tag('S'), T::stringAlt, K::stringAlt),
        coreEntry("OSCTimeTag", I::tag('t'), T::timeTag, K::timeTag),
        coreEntry("OSCArrayValue", I::variadic(2, std::nullopt), T::array, K::array),
    };
    std::vector<const OSCValueKindEntry*> ordered;
    for (auto& entry : core) {
        entries_.push_back(std::make_unique<OSCValueKindEntry>(std::move(entry)));
        ordered.push_back(entries_.back().get());
    }
    tables_.push_back(std::make_unique<const Table>(std::move(ordered)));
    current_.store(tables_.back().get(), std::memory_order_release);
}

OSCSerialization::~OSCSerialization() = default;

OSCSerialization& OSCSerialization::shared() {
    static OSCSerialization registry;
    return registry;
}

std::span<const OSCValueKindEntry* const> OSCSerialization::candidates(char tag) const {
    const Table* table = current_.load(std::memory_order_acquire);
    return table->byTag[static_cast<unsigned char>(tag)];
}

std::vector<const OSCValueKindEntry*> OSCSerialization::tagIdentities() const {
    return current_.load(std::memory_order_acquire)->ordered;
}

Result<void, OSCSerializationError> OSCSerialization::registerKind(OSCValueKindEntry entry) {
    std::lock_guard lock(registering_);
    const Table* table = current_.load(std::memory_order_acquire);
    for (const char c : entry.identity.claimedCharacters()) {
        for (const auto* existing : table->ordered) {
            if (existing->identity.claims(c)) {
                return fail(OSCSerializationError{});
            }
        }
    }
    entries_.push_back(std::make_unique<OSCValueKindEntry>(std::move(entry)));
    auto ordered = table->ordered;
    ordered.push_back(entries_.back().get());
    tables_.push_back(std::make_unique<const Table>(std::move(ordered)));
    current_.store(tables_.back().get(), std::memory_order_release);
    return {};
}

}  // namespace lanternwick
