#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "OSCTestBytes.h"
#include "osc/OSCPacket.h"
#include "osc/OSCSerialization.h"
#include "osc/OSCValueDecoder.h"

namespace lanternwick {
namespace {

using testing::ascii;
using testing::hex;
using testing::zeros;
using testing::operator+;

OSCBytes messageBytes(std::string_view tags, const OSCBytes& payload) {
    OSCBytes tagBytes = ascii(tags);
    tagBytes.resize(tags.size() + (4 - tags.size() % 4), 0);
    return ascii("/ab") + zeros(1) + tagBytes + payload;
}

std::vector<OSCValue> valuesOf(const OSCBytes& bytes) {
    const auto decoded = OSCMessage::decode(bytes);
    EXPECT_TRUE(decoded.ok()) << (decoded.ok() ? "" : decoded.error().description());
    return decoded.ok() ? decoded->values() : std::vector<OSCValue>{};
}

OSCDecodeError malformed(std::string text) { return OSCDecodeError::malformed(std::move(text)); }

struct RefusedMessage {
    const char* what;
    OSCBytes bytes;
    std::string text;
};

// Every text the message reader can fail with, each from the smallest input
// that provokes it.
TEST(OSCMessageDecoding, RefusesMalformedBytesWithTheirOwnText) {
    const std::string notTerminated =
        "4-byte aligned null-terminated data chunk does not terminate in null bytes as expected.";
    const std::string blobPadding = "Expected 4-byte null terminated data but expected null bytes were not found.";
    const std::string blobSize =
        "Failed to read Int32 length chunk at start of 4-byte aligned null-terminated blob data chunk.";
    const std::vector<RefusedMessage> cases = {
        {"odd length", ascii("/abcdef"), "Length not a multiple of 4 bytes."},
        {"no slash", ascii("abcd"), "Does not start with an address pattern."},
        {"empty", {}, "Does not start with an address pattern."},
        {"unterminated address", ascii("/abc"), "Address pattern string could not be parsed."},
        {"non-ASCII address", hex("2F C3 A9 00 2C 00 00 00"), "Address pattern string could not be parsed."},
        {"no tags", ascii("/ab") + zeros(1), "Couldn't extract OSC-type chunk."},
        {"array not closed", messageBytes(",[ii", hex("00000001 00000002")), "Array termination tag ']' was not found."},
        {"non-ASCII string", messageBytes(",s", hex("61 C3 00 00")),
         "Failed to form valid ASCII string from 4-byte aligned null-terminated ASCII string chunk. Non-ASCII "
         "characters may be present or the data is malformed."},
        {"byte after terminator", messageBytes(",s", hex("61 62 00 01")), notTerminated},
        {"no terminator", messageBytes(",s", hex("61 62 63 64")), notTerminated},
        {"second word of S", messageBytes(",S", hex("61 62 63 64 00 00 00 09")), notTerminated},
        {"string missing", messageBytes(",s", {}), "Not enough bytes in 4-byte aligned null-terminated data chunk."},
        {"int32", messageBytes(",ii", hex("00000001")), "Not enough bytes while reading Int32 data chunk."},
        {"float32", messageBytes(",f", {}), "Not enough bytes while reading Float32 data chunk."},
        {"double", messageBytes(",d", hex("00000000")), "Not enough bytes while reading Double data chunk."},
        {"int64", messageBytes(",h", hex("00000000")), "Not enough bytes while reading Int64 data chunk."},
        {"time tag", messageBytes(",t", hex("00000000")), "Not enough bytes while reading UInt64 data chunk."},
        {"midi", messageBytes(",m", {}),
         "Not enough bytes remain in data stream while parsing data. Attempted to read 4 bytes but only 0 bytes "
         "remain."},
        {"character 0xC8", messageBytes(",c", hex("000000C8")),
         "Character value couldn't be read. Could not form a Unicode scalar from the value."},
        {"blob over 65506", messageBytes(",b", hex("0000FFE3") + zeros(65508)), blobSize},
        {"blob size missing", messageBytes(",b", {}), blobSize},
        {"blob too long", messageBytes(",b", hex("00000008 01020304")),
         "Encoded blob chunk length is greater than the available data length."},
        {"blob pad not zero", messageBytes(",b", hex("00000003 01020309")), blobPadding},
        {"blob pad before int", messageBytes(",bi", hex("00000001 01000100 00000005")), blobPadding},
    };
    for (const auto& c : cases) {
        const auto decoded = OSCMessage::decode(c.bytes);
        ASSERT_FALSE(decoded.ok()) << c.what;
        EXPECT_EQ(decoded.error(), malformed(c.text)) << c.what;
    }
    // Unknown tags, and a comma inside an array, are no decoding problem of
    // the bytes but of this reader.
    for (const auto& tags : {",ir", ",]", ",[,i]"}) {
        const auto decoded = OSCMessage::decode(messageBytes(tags, hex("00000001")));
        ASSERT_FALSE(decoded.ok()) << tags;
        EXPECT_EQ(decoded.error().kind, OSCDecodeError::Kind::internalInconsistency) << tags;
        EXPECT_EQ(decoded.error().text.rfind("No decoder found to decode OSC type tag: ", 0), 0u) << tags;
    }
}

// A console's replies are read with any byte but NUL in their strings, kept
// as they came (a label typed there need not be ASCII, nor even UTF-8), and
// re-made from nothing but those bytes: our encoder would turn them to ASCII.
// Everything else about a string's layout is as strict as ever.
TEST(OSCMessageDecoding, APeersStringsMayCarryAnyByteButNul) {
    const std::vector<std::pair<OSCBytes, std::vector<OSCValue>>> read = {
        {messageBytes(",s", ascii("Caf\xC3\xA9") + zeros(3)), {"Caf\xC3\xA9"}},
        {messageBytes(",si", hex("61 FF C3 00 00000007")), {"a\xFF\xC3", 7}},
        {messageBytes(",[S]", ascii("\x80\xBF\xFE") + zeros(1)), {OSCArrayValue({OSCStringAltValue{"\x80\xBF\xFE"}})}},
    };
    for (const auto& [bytes, values] : read) {
        const auto decoded = OSCMessage::decode(bytes, OSCStringBytes::anyButNul);
        ASSERT_TRUE(decoded.ok()) << decoded.error().description();
        EXPECT_EQ(decoded->values(), values);
        EXPECT_EQ(decoded->rawData().value(), bytes);
        EXPECT_FALSE(OSCMessage::decode(bytes).ok()) << "our own bytes are held to ASCII";
    }
    const OSCBytes cafe = messageBytes(",s", ascii("Caf\xC3\xA9") + zeros(3));
    const OSCBytes inBundle = ascii("#bundle") + zeros(1) + hex("00000000 00000001 00000010") + cafe;
    const auto packet = OSCPacket::decode(inBundle, OSCStringBytes::anyButNul);
    ASSERT_TRUE(packet.ok());
    EXPECT_EQ((*packet)->bundle()->elements().at(0).message()->values(), read[0].second);

    const std::string notTerminated =
        "4-byte aligned null-terminated data chunk does not terminate in null bytes as expected.";
    const std::vector<RefusedMessage> refused = {
        {"no terminator", messageBytes(",s", hex("C3 A9 C3 A9")), notTerminated},
        {"byte after terminator", messageBytes(",s", hex("C3 00 00 A9")), notTerminated},
        {"terminator cut off", messageBytes(",ss", hex("61 00 00 00 C3 A9 C3 A9")), notTerminated},
        {"non-ASCII address", hex("2F C3 A9 00 2C 00 00 00"), "Address pattern string could not be parsed."},
        {"non-ASCII type tag", ascii("/ab") + zeros(1) + hex("2C C3 00 00"), "Couldn't extract OSC-type chunk."},
    };
    for (const auto& c : refused) {
        const auto decoded = OSCMessage::decode(c.bytes, OSCStringBytes::anyButNul);
        ASSERT_FALSE(decoded.ok()) << c.what;
        EXPECT_EQ(decoded.error(), malformed(c.text)) << c.what;
    }
}

// Older writers put four zero bytes after a whole-word blob; that layout is
// read when the blob is last, where the fourth byte is simply left over.
// Blobs in OSC 1.0's layout before other arguments come from liblo's and
// oscpack's bytes in the interop tests.
TEST(OSCMessageDecoding, BlobsInTheOlderPaddingLayout) {
    EXPECT_EQ(valuesOf(messageBytes(",b", hex("00000004 01020304 00000000"))),
              (std::vector<OSCValue>{OSCBlob{1, 2, 3, 4}}));
    EXPECT_EQ(valuesOf(messageBytes(",b", hex("00000000"))), (std::vector<OSCValue>{OSCBlob{}}));
    // Reached only through the reader: a message's length is a multiple of 4.
    const OSCBytes cut = hex("00000002 AABB 00");
    OSCValueDecoder reader(cut);
    EXPECT_EQ(reader.readBlob().error(), malformed("Not enough bytes in 4-byte aligned null-terminated blob data chunk."));
}

// Every kind is read from liblo's and oscpack's bytes in the interop tests.
TEST(OSCMessageDecoding, TagStringShapes) {
    EXPECT_TRUE(valuesOf(ascii("/ab") + zeros(1) + ascii(",") + zeros(3)).empty());
    // High bits in the next argument belong to it, not to the string before.
    EXPECT_EQ(valuesOf(messageBytes(",si", hex("61620000 FFFFFFFE"))), (std::vector<OSCValue>{"ab", -2}));
    // Commas anywhere are skipped; whole words after the last argument are ignored.
    EXPECT_EQ(valuesOf(messageBytes(",i,i", hex("00000001 00000002 DEADBEEF"))), (std::vector<OSCValue>{1, 2}));
    EXPECT_EQ(valuesOf(messageBytes(",[i[s]]i", hex("00000001 73000000 00000002"))),
              (std::vector<OSCValue>{OSCArrayValue({1, OSCArrayValue({"s"})}), 2}));
    EXPECT_EQ(valuesOf(messageBytes(",[]", {})), (std::vector<OSCValue>{OSCArrayValue()}));
}

// Where a terminator may sit in the chunk reader's eight-byte steps.
TEST(OSCMessageDecoding, StringTerminatorAtEveryOffset) {
    for (std::size_t length = 0; length < 20; ++length) {
        const std::string text(length, 'q');
        const auto bytes = OSCMessage(std::string_view("/" + std::string(length, 'a')), {text, 5}).rawData().value();
        const auto decoded = OSCMessage::decode(bytes);
        ASSERT_TRUE(decoded.ok()) << length;
        EXPECT_EQ(decoded->address(), "/" + std::string(length, 'a'));
        EXPECT_EQ(decoded->values(), (std::vector<OSCValue>{text, 5})) << length;
        for (std::size_t pad = length + 1; pad % 4 != 0; ++pad) {
            auto dirty = bytes;
            dirty[dirty.size() - 4 - (4 - length % 4) + (pad - length)] = 'x';
            EXPECT_FALSE(OSCMessage::decode(dirty).ok()) << length << " " << pad;
        }
    }
}

// A peer must not be able to exhaust the stack with a few bytes.
TEST(OSCMessageDecoding, DeepArrayNestingIsRefused) {
    const auto nested = [](std::size_t depth) {
        return messageBytes("," + std::string(depth, '[') + std::string(depth, ']'), {});
    };
    EXPECT_EQ(valuesOf(nested(OSCPacket::maximumNestingDepth)).size(), 1u);
    EXPECT_EQ(OSCMessage::decode(nested(OSCPacket::maximumNestingDepth + 1)).error(),
              malformed("Arrays are nested more than 32 levels deep."));
    EXPECT_FALSE(OSCMessage::decode(nested(200000)).ok());
}

OSCBytes cueReply() {
    return OSCMessage("/eos/out/get/cue/1/12", {"Intro", 12, "5", "00:01:02:03", true, false}).rawData().value();
}

// A received message re-sends the bytes that came in, whether it kept a copy
// or, laid out as our encoder would write it, makes them again; copies too,
// taken before anyone asked.
TEST(OSCMessageDecoding, ReceivedBytesComeBackExactly) {
    const std::vector<std::pair<const char*, OSCBytes>> cases = {
        {"cue reply", cueReply()},
        {"no arguments", ascii("/ab") + zeros(1) + ascii(",") + zeros(3)},
        {"trailing word", messageBytes(",i", hex("00000001 CAFEBABE"))},
        {"four-byte blob pad", messageBytes(",b", hex("00000004 01020304 00000000"))},
        {"tab in a string", messageBytes(",si", ascii("a\tb") + zeros(1) + hex("00000001"))},
        {"delete in a second word", messageBytes(",s", ascii("abcdefgh\x7F") + zeros(3))},
        {"signalling NaN", messageBytes(",f", hex("7FA00001"))},
        {"second comma", messageBytes(",i,i", hex("00000001 00000002"))},
        {"no leading comma", ascii("/ab") + zeros(1) + ascii("i") + zeros(3) + hex("00000001")},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const auto decoded = OSCMessage::decode(OSCByteView(bytes));
        ASSERT_TRUE(decoded.ok());
        const OSCMessage copy = *decoded;
        EXPECT_EQ(decoded->rawData().value(), bytes);
        EXPECT_EQ(decoded->receivedRawData(), bytes);
        EXPECT_EQ(copy.receivedRawData(), bytes);
        OSCBytes moved = bytes;
        EXPECT_EQ(OSCMessage::decode(std::move(moved))->receivedRawData(), bytes);
    }
    EXPECT_FALSE(OSCMessage("/ab", {OSCBlob{1, 2, 3, 4}}).receivedRawData().has_value());
}

// The bytes of a message shared between threads may first be asked for on
// several of them at once.
TEST(OSCMessageDecoding, ReceivedBytesAskedForFromManyThreads) {
    const auto bytes = cueReply();
    const std::vector<OSCMessage> messages(500, OSCMessage::decode(OSCByteView(bytes)).value());
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (const auto& message : messages) {
                wrong += message.receivedRawData() != bytes || OSCMessage(message).rawData().value() != bytes;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(OSCBundleDecoding, RefusesMalformedBundles) {
    const OSCBytes head = ascii("#bundle") + zeros(1) + hex("00000000 00000001");
    const std::string endedEarly = "Data bytes ended earlier than expected.";
    const std::vector<RefusedMessage> cases = {
        {"short", ascii("#bundle") + zeros(1) + hex("00000000"), "Data length too short. (Length is 12)"},
        {"bad header", ascii("#bundlf") + zeros(9), "Bundle header is not present or is malformed."},
        {"element too long", head + hex("00000020") + zeros(8), endedEarly},
        {"size cut", head + hex("0000"), endedEarly},
        {"size negative", head + hex("FFFFFFF8") + zeros(8), endedEarly},
        {"neither", head + hex("00000004") + ascii("abcd"), "Unrecognized bundle element encountered."},
        {"empty element", head + hex("00000000"), "Unrecognized bundle element encountered."},
        {"element's own error", head + hex("00000004") + ascii("/abc"), "Address pattern string could not be parsed."},
    };
    for (const auto& c : cases) {
        const auto decoded = OSCBundle::decode(c.bytes);
        ASSERT_FALSE(decoded.ok()) << c.what;
        EXPECT_EQ(decoded.error(), malformed(c.text)) << c.what;
    }
    const auto nested = [](std::size_t depth) {
        OSCBundle bundle;
        for (std::size_t i = 1; i < depth; ++i) {
            bundle = OSCBundle(std::vector<OSCPacket>{bundle});
        }
        return bundle.rawData().value();
    };
    EXPECT_TRUE(OSCBundle::decode(nested(OSCPacket::maximumNestingDepth)).ok());
    EXPECT_EQ(OSCBundle::decode(nested(OSCPacket::maximumNestingDepth + 1)).error(),
              malformed("Bundles are nested more than 32 levels deep."));
}

// Nested bundles and their time tags are read from oscpack's bytes in the
// interop tests.
// Nested bundles give their bytes back without keeping copies of them: an
// element our encoder would lay out differently (a trailing word) still
// comes back exactly, at every level.
TEST(OSCBundleDecoding, KeepsReceivedBytes) {
    const OSCMessage message("/eos/out/get/cue/1/12", {"Intro", 3});
    const OSCBytes trailing = messageBytes(",i", hex("00000001 CAFEBABE"));
    const auto sized = [](const OSCBytes& b) {
        const auto n = static_cast<std::uint32_t>(b.size());
        return OSCBytes{std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)} + b;
    };
    const OSCBytes inner = ascii("#bundle") + zeros(1) + hex("00000000 00000007") + sized(trailing);
    const OSCBytes bytes = OSCBundle({message}, OSCTimeTag{0, 42}).rawData().value() + sized(inner);
    for (const auto& decoded : {OSCBundle::decode(OSCByteView(bytes)), OSCBundle::decode(OSCBytes(bytes))}) {
        ASSERT_TRUE(decoded.ok());
        EXPECT_EQ(decoded->rawData().value(), bytes);
        EXPECT_EQ(decoded->receivedRawData(), bytes);
        EXPECT_EQ(decoded->elements()[0].message()->receivedRawData(), message.rawData().value());
        EXPECT_EQ(decoded->elements()[1].bundle()->receivedRawData(), inner);
        EXPECT_EQ(OSCBundle(*decoded).rawData().value(), bytes);
    }
    EXPECT_FALSE(OSCBundle({message}).receivedRawData().has_value());
}

TEST(OSCPacketDecoding, BundleMessageOrNothing) {
    EXPECT_FALSE(OSCPacket::decode(ascii("abcd")).value().has_value());
    EXPECT_FALSE(OSCPacket::decode(ascii("#bundlf") + zeros(9)).value().has_value());
    EXPECT_FALSE(OSCPacket::decode(ascii("/abcdef")).ok());
    EXPECT_EQ(OSCPacket::decode(cueReply()).value()->message()->address(), "/eos/out/get/cue/1/12");
    EXPECT_EQ(OSCPacket::decode(OSCBundle().rawData().value()).value()->type(), OSCPacketType::bundle);
}

TEST(OSCValueDecoderReads, RawBytesAndAdvancing) {
    const OSCBytes bytes = hex("01 02 03 04 05");
    OSCValueDecoder reader(bytes);
    EXPECT_EQ(reader.readBytes(-1).error(),
              OSCDecodeError::internalInconsistency("Negative byte count requested while parsing data: -1"));
    ASSERT_TRUE(reader.advance(2).ok());
    EXPECT_EQ(reader.advance(4).error(),
              malformed("Attempted to advance byte read position past end of available bytes. 3 bytes remain but "
                        "4 were advanced."));
    EXPECT_EQ(OSCBytes(reader.readBytes(3)->begin(), reader.data().end()), hex("03 04 05"));
    EXPECT_EQ(reader.remaining(), 0u);
}

// Registration is process-wide, so this test claims tags that no other test
// in this binary uses.
TEST(OSCSerializationRegistry, RegisteredKindsDecodeThroughTheirOwnDecoder) {
    auto& registry = OSCSerialization::shared();
    OSCValueStaticTagDecoder rgba = [](OSCValueDecoder& reader) -> Result<OSCValue, OSCDecodeError> {
        const auto bytes = reader.readBytes(4);
        if (!bytes) {
            return fail(bytes.error());
        }
        return OSCValue(OSCMIDIValue{(*bytes)[0], (*bytes)[1], (*bytes)[2], (*bytes)[3]});
    };
    ASSERT_TRUE(registry.registerKind({"RGBA", OSCValueTagIdentity::tag('x'), OSCValueToken::midi, {}, rgba}).ok());
    ASSERT_TRUE(registry.registerKind({"Undecodable", OSCValueTagIdentity::tag('y'), OSCValueToken::null, {}, {}}).ok());
    // Neither a registered nor a core tag can be claimed twice, not even as
    // one of a variable kind's tags.
    const auto before = registry.tagIdentities().size();
    const auto again = registry.registerKind({"Again", OSCValueTagIdentity::tag('x'), OSCValueToken::midi, {}, {}});
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().description(), "Tag already registered");
    EXPECT_FALSE(registry.registerKind({"Twice", OSCValueTagIdentity::tag('i'), OSCValueToken::int32, {}, {}}).ok());
    EXPECT_FALSE(registry.registerKind({"Flag", OSCValueTagIdentity::variable({'Q', 'T'}), OSCValueToken::boolean, {}, {}})
                     .ok());
    EXPECT_EQ(registry.tagIdentities().size(), before);

    const auto decoded = OSCMessage::decode(ascii("/c") + zeros(2) + ascii(",xi") + zeros(1) + hex("FF000080 00000002"));
    ASSERT_TRUE(decoded.ok()) << decoded.error().description();
    EXPECT_EQ(decoded->values(), (std::vector<OSCValue>{OSCMIDIValue{0xFF, 0, 0, 0x80}, 2}));

    const auto undecodable = OSCMessage::decode(ascii("/c") + zeros(2) + ascii(",y") + zeros(2));
    ASSERT_FALSE(undecodable.ok());
    EXPECT_EQ(undecodable.error(), OSCDecodeError::malformed("No decoder is implemented for OSC type tag: y"));
}

}  // namespace
}  // namespace lanternwick
