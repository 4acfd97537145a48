#include <gtest/gtest.h>

#include "OSCTestBytes.h"
#include "osc/OSCPacket.h"
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

OSCDecodeError messageError(const OSCBytes& bytes) {
    const auto decoded = OSCMessage::decode(bytes);
    EXPECT_FALSE(decoded.ok());
    return decoded.ok() ? OSCDecodeError{} : decoded.error();
}

OSCDecodeError bundleError(const OSCBytes& bytes) {
    const auto decoded = OSCBundle::decode(bytes);
    EXPECT_FALSE(decoded.ok());
    return decoded.ok() ? OSCDecodeError{} : decoded.error();
}

std::vector<OSCValue> valuesOf(const OSCBytes& bytes) {
    const auto decoded = OSCMessage::decode(bytes);
    EXPECT_TRUE(decoded.ok()) << (decoded.ok() ? "" : decoded.error().description());
    return decoded.ok() ? decoded->values() : std::vector<OSCValue>{};
}

OSCDecodeError malformed(std::string text) { return OSCDecodeError::malformed(std::move(text)); }

TEST(OSCMessageDecodingErrors, FramingOfTheMessage) {
    EXPECT_EQ(messageError(ascii("/abcdef")), malformed("Length not a multiple of 4 bytes."));
    EXPECT_EQ(messageError(ascii("abcd")), malformed("Does not start with an address pattern."));
    EXPECT_EQ(messageError({}), malformed("Does not start with an address pattern."));
    EXPECT_EQ(messageError(ascii("/abc")), malformed("Address pattern string could not be parsed."));
    EXPECT_EQ(messageError(hex("2F C3 A9 00 2C 00 00 00")), malformed("Address pattern string could not be parsed."));
    EXPECT_EQ(messageError(ascii("/ab") + zeros(1)), malformed("Couldn't extract OSC-type chunk."));
    EXPECT_EQ(messageError(ascii("/ab") + zeros(1) + ascii(",i") + hex("00 01")),
              malformed("Couldn't extract OSC-type chunk."));
}

TEST(OSCMessageDecodingErrors, UnknownTagsAndArrays) {
    const auto unknown = messageError(messageBytes(",ir", hex("00000001")));
    EXPECT_EQ(unknown.kind, OSCDecodeError::Kind::internalInconsistency);
    EXPECT_EQ(unknown.text.rfind("No decoder found to decode OSC type tag: r", 0), 0u) << unknown.text;
    EXPECT_EQ(messageError(messageBytes(",]", {})).text.rfind("No decoder found to decode OSC type tag: ]", 0), 0u);
    // Inside an array a comma is an ordinary, unknown tag.
    EXPECT_EQ(messageError(messageBytes(",[,i]", hex("00000001"))).kind, OSCDecodeError::Kind::internalInconsistency);
    EXPECT_EQ(messageError(messageBytes(",[ii", hex("00000001 00000002"))),
              malformed("Array termination tag ']' was not found."));
}

TEST(OSCMessageDecodingErrors, StringChunks) {
    EXPECT_EQ(messageError(messageBytes(",s", hex("61 C3 00 00"))),
              malformed("Failed to form valid ASCII string from 4-byte aligned null-terminated ASCII string chunk. "
                        "Non-ASCII characters may be present or the data is malformed."));
    EXPECT_EQ(messageError(messageBytes(",s", hex("61 62 00 01"))),
              malformed("4-byte aligned null-terminated data chunk does not terminate in null bytes as expected."));
    EXPECT_EQ(messageError(messageBytes(",s", hex("61 62 63 64"))),
              malformed("4-byte aligned null-terminated data chunk does not terminate in null bytes as expected."));
    EXPECT_EQ(messageError(messageBytes(",s", {})),
              malformed("Not enough bytes in 4-byte aligned null-terminated data chunk."));
    EXPECT_EQ(messageError(messageBytes(",S", hex("61 62 63 64 00 00 00 09"))),
              malformed("4-byte aligned null-terminated data chunk does not terminate in null bytes as expected."));
}

TEST(OSCMessageDecodingErrors, NumbersThatRunOut) {
    EXPECT_EQ(messageError(messageBytes(",i", {})), malformed("Not enough bytes while reading Int32 data chunk."));
    EXPECT_EQ(messageError(messageBytes(",f", {})), malformed("Not enough bytes while reading Float32 data chunk."));
    EXPECT_EQ(messageError(messageBytes(",d", hex("00000000"))),
              malformed("Not enough bytes while reading Double data chunk."));
    EXPECT_EQ(messageError(messageBytes(",h", hex("00000000"))),
              malformed("Not enough bytes while reading Int64 data chunk."));
    EXPECT_EQ(messageError(messageBytes(",t", hex("00000000"))),
              malformed("Not enough bytes while reading UInt64 data chunk."));
    EXPECT_EQ(messageError(messageBytes(",c", {})), malformed("Not enough bytes while reading Int32 data chunk."));
    EXPECT_EQ(messageError(messageBytes(",m", {})),
              malformed("Not enough bytes remain in data stream while parsing data. Attempted to read 4 bytes but "
                        "only 0 bytes remain."));
    EXPECT_EQ(messageError(messageBytes(",ii", hex("00000001"))),
              malformed("Not enough bytes while reading Int32 data chunk."));
}

TEST(OSCMessageDecodingErrors, CharacterOutsideASCII) {
    const auto text = "Character value couldn't be read. Could not form a Unicode scalar from the value.";
    EXPECT_EQ(messageError(messageBytes(",c", hex("000000C8"))), malformed(text));
    EXPECT_EQ(messageError(messageBytes(",c", hex("00000080"))), malformed(text));
    EXPECT_EQ(messageError(messageBytes(",c", hex("FFFFFF41"))), malformed(text));
    EXPECT_EQ(valuesOf(messageBytes(",c", hex("0000007F"))), std::vector<OSCValue>{*ASCIICharacter::fromCode(127)});
}

TEST(OSCMessageDecodingErrors, Blobs) {
    EXPECT_EQ(messageError(messageBytes(",b", hex("0000FFE3") + zeros(65508))),
              malformed("Failed to read Int32 length chunk at start of 4-byte aligned null-terminated blob data chunk."));
    EXPECT_EQ(messageError(messageBytes(",b", {})),
              malformed("Failed to read Int32 length chunk at start of 4-byte aligned null-terminated blob data chunk."));
    EXPECT_EQ(messageError(messageBytes(",b", hex("00000008 01020304"))),
              malformed("Encoded blob chunk length is greater than the available data length."));
    EXPECT_EQ(messageError(messageBytes(",b", hex("FFFFFFFC 01020304"))),
              malformed("Encoded blob chunk length is greater than the available data length."));
    EXPECT_EQ(messageError(messageBytes(",b", hex("00000003 01020309"))),
              malformed("Expected 4-byte null terminated data but expected null bytes were not found."));
    EXPECT_EQ(messageError(messageBytes(",bi", hex("00000001 01000100 00000005"))),
              malformed("Expected 4-byte null terminated data but expected null bytes were not found."));
}

TEST(OSCMessageDecoding, BlobsInBothPaddingLayouts) {
    EXPECT_EQ(valuesOf(messageBytes(",bi", hex("00000004 01020304 00000007"))),
              (std::vector<OSCValue>{OSCBlob{1, 2, 3, 4}, 7}));
    EXPECT_EQ(valuesOf(messageBytes(",bs", hex("00000005 0102030405000000 78000000"))),
              (std::vector<OSCValue>{OSCBlob{1, 2, 3, 4, 5}, "x"}));
    // Older writers put four zero bytes after a whole-word blob.
    EXPECT_EQ(valuesOf(messageBytes(",b", hex("00000004 01020304 00000000"))),
              (std::vector<OSCValue>{OSCBlob{1, 2, 3, 4}}));
    EXPECT_EQ(valuesOf(messageBytes(",b", hex("00000000"))), (std::vector<OSCValue>{OSCBlob{}}));
}

TEST(OSCMessageDecoding, ValuesOfEveryKind) {
    const auto values = valuesOf(messageBytes(
        ",ifsbTFcdhImNSt", hex("FFFFFFFE 3FC00000 61626300 00000002 AABB0000 00000041 3FF8000000000000 "
                               "0000000100000000 01903C7F 73796D00 0102030405060708")));
    const std::vector<OSCValue> expected = {
        std::int32_t{-2}, 1.5f, "abc", OSCBlob{0xAA, 0xBB}, true, false, *ASCIICharacter::fromCode('A'), 1.5,
        std::int64_t{1} << 32, OSCImpulseValue{}, OSCMIDIValue{1, 0x90, 0x3C, 0x7F}, OSCNullValue{},
        OSCStringAltValue{"sym"}, OSCTimeTag{0, 0x0102030405060708}};
    EXPECT_EQ(values, expected);
}

TEST(OSCMessageDecoding, TagStringShapes) {
    const auto none = OSCMessage::decode(ascii("/ab") + zeros(1) + ascii(",") + zeros(3));
    ASSERT_TRUE(none.ok());
    EXPECT_EQ(none->address(), "/ab");
    EXPECT_TRUE(none->values().empty());
    // Commas anywhere in the tag string are skipped.
    EXPECT_EQ(valuesOf(messageBytes(",i,i", hex("00000001 00000002"))), (std::vector<OSCValue>{1, 2}));
    // Whole words after the last argument are ignored.
    EXPECT_EQ(valuesOf(messageBytes(",i", hex("00000001 DEADBEEF"))), (std::vector<OSCValue>{1}));
}

TEST(OSCMessageDecoding, NestedArrays) {
    const auto values = valuesOf(messageBytes(",[i[s]]i", hex("00000001 73000000 00000002")));
    EXPECT_EQ(values, (std::vector<OSCValue>{OSCArrayValue({1, OSCArrayValue({"s"})}), 2}));
    EXPECT_EQ(valuesOf(messageBytes(",[]", {})), (std::vector<OSCValue>{OSCArrayValue()}));
}

// A peer must not be able to exhaust the stack with a few bytes.
TEST(OSCMessageDecoding, DeepArrayNestingIsRefused) {
    const auto nested = [](std::size_t depth) {
        return messageBytes("," + std::string(depth, '[') + std::string(depth, ']'), {});
    };
    const auto deepest = valuesOf(nested(OSCPacket::maximumNestingDepth));
    ASSERT_EQ(deepest.size(), 1u);
    const auto tooDeep = messageError(nested(OSCPacket::maximumNestingDepth + 1));
    EXPECT_EQ(tooDeep.kind, OSCDecodeError::Kind::malformed);
    EXPECT_EQ(messageError(nested(200000)).kind, OSCDecodeError::Kind::malformed);
}

TEST(OSCMessageDecoding, KeepsReceivedBytesForReencoding) {
    // Trailing words and a four-byte blob pad: our own writer would drop both.
    const auto bytes = messageBytes(",b", hex("00000004 01020304 00000000 CAFEBABE"));
    const auto decoded = OSCMessage::decode(bytes);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded->rawData().value(), bytes);
    EXPECT_EQ(decoded->receivedRawData(), bytes);

    OSCBytes moved = bytes;
    const auto fromMoved = OSCMessage::decode(std::move(moved));
    ASSERT_TRUE(fromMoved.ok());
    EXPECT_EQ(fromMoved->rawData().value(), bytes);
    EXPECT_EQ(*fromMoved, *decoded);
    EXPECT_EQ(*fromMoved, OSCMessage("/ab", {OSCBlob{1, 2, 3, 4}}));
    EXPECT_FALSE(OSCMessage("/ab", {OSCBlob{1, 2, 3, 4}}).receivedRawData().has_value());
}

TEST(OSCMessageDecoding, EncodeThenDecodeEveryKind) {
    const OSCMessage original(
        "/round/trip", {std::int32_t{-7}, 3.25f, "text with spaces", OSCBlob{0, 0xC0, 0xDB, 0xFF, 1}, true, false,
                        *ASCIICharacter::fromCode('z'), -1e300, std::int64_t{-1}, OSCImpulseValue{},
                        OSCMIDIValue{0, 0xB0, 7, 100}, OSCNullValue{}, OSCStringAltValue{"alt"},
                        OSCTimeTag{0, 0xFFFFFFFF00000001}, OSCArrayValue({"a", OSCArrayValue({1.0f})})});
    const auto bytes = original.rawData().value();
    const auto decoded = OSCMessage::decode(bytes);
    ASSERT_TRUE(decoded.ok()) << decoded.error().description();
    EXPECT_EQ(*decoded, original);
    EXPECT_EQ(decoded->values().size(), original.values().size());
}

TEST(OSCBundleDecodingErrors, HeaderAndElementFraming) {
    const OSCBytes header = ascii("#bundle") + zeros(1);
    const OSCBytes immediate = hex("00000000 00000001");
    EXPECT_EQ(bundleError(header + hex("00000000")), malformed("Data length too short. (Length is 12)"));
    EXPECT_EQ(bundleError(ascii("#bundlf") + zeros(1) + immediate),
              malformed("Bundle header is not present or is malformed."));
    EXPECT_FALSE(OSCPacket::decode(ascii("#bundlf") + zeros(1) + immediate).value().has_value());
    EXPECT_EQ(bundleError(header + immediate + hex("00000020") + zeros(8)),
              malformed("Data bytes ended earlier than expected."));
    EXPECT_EQ(bundleError(header + immediate + hex("0000")), malformed("Data bytes ended earlier than expected."));
    EXPECT_EQ(bundleError(header + immediate + hex("FFFFFFF8") + zeros(8)),
              malformed("Data bytes ended earlier than expected."));
    EXPECT_EQ(bundleError(header + immediate + hex("00000004") + ascii("abcd")),
              malformed("Unrecognized bundle element encountered."));
    EXPECT_EQ(bundleError(header + immediate + hex("00000000")), malformed("Unrecognized bundle element encountered."));
    // An element's own error ends the whole bundle.
    EXPECT_EQ(bundleError(header + immediate + hex("00000004") + ascii("/abc")),
              malformed("Address pattern string could not be parsed."));
}

TEST(OSCBundleDecoding, ElementsAndTimeTags) {
    const OSCBytes header = ascii("#bundle") + zeros(1);
    const auto empty = OSCBundle::decode(header + hex("00000005 00000000"));
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->elements().empty());
    EXPECT_EQ(empty->timeTag(), (OSCTimeTag{0, std::uint64_t{5} << 32}));

    const OSCMessage message("/eos/out/get/cue/1/12", {"Intro", 3});
    const OSCBundle inner({message}, OSCTimeTag{0, 99});
    const OSCBundle outer({message, inner}, OSCTimeTag{0, 42});
    const auto bytes = outer.rawData().value();
    const auto decoded = OSCPacket::decode(bytes);
    ASSERT_TRUE(decoded.ok());
    ASSERT_TRUE(decoded.value().has_value());
    const OSCBundle* bundle = decoded.value()->bundle();
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(*bundle, outer);
    ASSERT_EQ(bundle->elements().size(), 2u);
    EXPECT_EQ(bundle->elements()[1].bundle()->timeTag(), (OSCTimeTag{0, 99}));
    EXPECT_EQ(bundle->rawData().value(), bytes);
    // Each element keeps its own received bytes.
    EXPECT_EQ(bundle->elements()[0].message()->receivedRawData(), message.rawData().value());
}

TEST(OSCBundleDecoding, DeepBundleNestingIsRefused) {
    const auto nested = [](std::size_t depth) {
        OSCBundle bundle;
        for (std::size_t i = 1; i < depth; ++i) {
            bundle = OSCBundle(std::vector<OSCPacket>{bundle});
        }
        return bundle.rawData().value();
    };
    EXPECT_TRUE(OSCBundle::decode(nested(OSCPacket::maximumNestingDepth)).ok());
    EXPECT_EQ(bundleError(nested(OSCPacket::maximumNestingDepth + 1)).kind, OSCDecodeError::Kind::malformed);
}

TEST(OSCPacketClassification, BundleMessageOrNothing) {
    EXPECT_FALSE(OSCPacket::decode(ascii("abcd")).value().has_value());
    EXPECT_FALSE(OSCPacket::decode(OSCBytes{}).value().has_value());
    const auto message = OSCPacket::decode(ascii("/ab") + zeros(1) + ascii(",") + zeros(3));
    ASSERT_TRUE(message.ok() && message.value().has_value());
    EXPECT_EQ(message.value()->type(), OSCPacketType::message);
    EXPECT_FALSE(OSCPacket::decode(ascii("/abcdef")).ok());
    const auto bundle = OSCPacket::decode(OSCBundle().rawData().value());
    ASSERT_TRUE(bundle.ok() && bundle.value().has_value());
    EXPECT_EQ(bundle.value()->type(), OSCPacketType::bundle);
}

TEST(OSCValueDecoderReads, ChunkBoundaries) {
    const auto chunkOf = [](const OSCBytes& bytes) {
        OSCValueDecoder reader(bytes);
        const auto chunk = reader.readTerminatedAlignedChunk();
        return chunk.ok() ? std::string(chunk->begin(), chunk->end()) + "@" + std::to_string(reader.pos())
                          : chunk.error().text;
    };
    EXPECT_EQ(chunkOf(ascii("abc") + zeros(1)), "abc@4");
    EXPECT_EQ(chunkOf(zeros(4)), "@4");
    EXPECT_EQ(chunkOf(ascii("abcd") + zeros(4) + ascii("e")), "abcd@8");
    EXPECT_EQ(chunkOf(zeros(3)), "Not enough bytes in 4-byte aligned null-terminated data chunk.");
    EXPECT_EQ(chunkOf(ascii("abcd") + zeros(1)), "Not enough bytes in 4-byte aligned null-terminated data chunk.");
    EXPECT_EQ(chunkOf(ascii("abcde")),
              "4-byte aligned null-terminated data chunk does not terminate in null bytes as expected.");
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
    EXPECT_EQ(reader.readBytes(4).error(),
              malformed("Not enough bytes remain in data stream while parsing data. Attempted to read 4 bytes but "
                        "only 3 bytes remain."));
    const auto rest = reader.readBytes(3);
    ASSERT_TRUE(rest.ok());
    EXPECT_EQ(OSCBytes(rest->begin(), rest->end()), hex("03 04 05"));
    EXPECT_EQ(reader.remaining(), 0u);
}

// Reached only through the reader: a message's length is a multiple of 4.
TEST(OSCValueDecoderReads, BlobPaddingCutShort) {
    const OSCBytes bytes = hex("00000002 AABB 00");
    OSCValueDecoder reader(bytes);
    EXPECT_EQ(reader.readBlob().error(), malformed("Not enough bytes in 4-byte aligned null-terminated blob data chunk."));
}

TEST(OSCDecodeErrorText, Descriptions) {
    EXPECT_EQ(malformed("x").description(), "Malformed data: x");
    EXPECT_EQ(OSCDecodeError::unexpectedType('q').description(), "Unexpected OSC Type Tag: q");
    EXPECT_EQ(OSCDecodeError::valueDecodingError("x").description(), "OSC value decoding error: x");
    EXPECT_EQ(OSCDecodeError::internalInconsistency("x").description(), "Internal inconsistency: x");
    EXPECT_EQ(OSCEncodeError::general("x").description(), "Encoding error: x");
    EXPECT_EQ(OSCEncodeError::valueEncodingError("x").description(), "OSC value encoding error: x");
}

}  // namespace
}  // namespace lanternwick
