#include <gtest/gtest.h>

#include <limits>

#include "OSCTestBytes.h"
#include "osc/OSCPacket.h"

namespace lanternwick {
namespace {

using testing::ascii;
using testing::hex;
using testing::zeros;
using testing::operator+;

OSCBytes encoded(const OSCMessage& message) {
    auto bytes = message.rawData();
    EXPECT_TRUE(bytes.ok());
    return bytes.ok() ? bytes.value() : OSCBytes{};
}

OSCBytes encoded(const OSCBundle& bundle) {
    auto bytes = bundle.rawData();
    EXPECT_TRUE(bytes.ok());
    return bytes.ok() ? bytes.value() : OSCBytes{};
}

// The payload after "/a\0\0" and a type tag string of one tag.
OSCBytes payloadOf(const OSCValue& value) {
    const auto bytes = encoded(OSCMessage("/a", {value}));
    return OSCBytes(bytes.begin() + 8, bytes.end());
}

TEST(OSCMessageEncoding, ConsoleCommandGoldenBytes) {
    const auto bytes = encoded(OSCMessage("/eos/user/0/newcmd", {"Go"}));
    EXPECT_EQ(bytes, ascii("/eos/user/0/newcmd") + zeros(2) + ascii(",s") + zeros(2) + ascii("Go") + zeros(2));
    EXPECT_EQ(bytes.size(), 28u);
}

TEST(OSCMessageEncoding, MessageWithoutValuesHasCommaTagString) {
    EXPECT_EQ(encoded(OSCMessage("/eos/user/0/key/blind")),
              ascii("/eos/user/0/key/blind") + zeros(3) + ascii(",") + zeros(3));
}

TEST(OSCMessageEncoding, AddressAndStringsAlwaysGetATerminator) {
    EXPECT_EQ(encoded(OSCMessage("/abc")), ascii("/abc") + zeros(4) + ascii(",") + zeros(3));
    EXPECT_EQ(payloadOf("abc"), hex("61 62 63 00"));
    EXPECT_EQ(payloadOf("abcd"), hex("61 62 63 64 00 00 00 00"));
    EXPECT_EQ(payloadOf(""), hex("00 00 00 00"));
}

TEST(OSCMessageEncoding, MixedValuesTagsAndPayload) {
    const auto bytes = encoded(OSCMessage("/a", {1, true, "x"}));
    EXPECT_EQ(bytes, ascii("/a") + zeros(2) + ascii(",iTs") + zeros(4) + hex("00 00 00 01 78 00 00 00"));
}

TEST(OSCMessageEncoding, EveryCoreKindPayload) {
    EXPECT_EQ(payloadOf(std::int32_t{-2}), hex("FF FF FF FE"));
    EXPECT_EQ(payloadOf(1.5f), hex("3F C0 00 00"));
    EXPECT_EQ(payloadOf(1.5), hex("3F F8 00 00 00 00 00 00"));
    EXPECT_EQ(payloadOf(std::int64_t{-2}), hex("FF FF FF FF FF FF FF FE"));
    EXPECT_EQ(payloadOf(*ASCIICharacter::fromCode('A')), hex("00 00 00 41"));
    EXPECT_EQ(payloadOf(OSCMIDIValue{1, 144, 60, 127}), hex("01 90 3C 7F"));
    EXPECT_EQ(payloadOf(OSCTimeTag{7, 0x0102030405060708}), hex("01 02 03 04 05 06 07 08"));
    EXPECT_EQ(payloadOf(OSCStringAltValue{"sym"}), hex("73 79 6D 00"));
    EXPECT_TRUE(payloadOf(true).empty());
    EXPECT_TRUE(payloadOf(false).empty());
    EXPECT_TRUE(payloadOf(OSCImpulseValue{}).empty());
    EXPECT_TRUE(payloadOf(OSCNullValue{}).empty());
}

TEST(OSCMessageEncoding, TagCharactersOfEveryKind) {
    const auto bytes = encoded(OSCMessage(
        "/a", {std::int32_t{0}, 0.0f, "", OSCBlob{}, true, false, *ASCIICharacter::fromCode('a'), 0.0,
               std::int64_t{0}, OSCImpulseValue{}, OSCMIDIValue{}, OSCNullValue{}, OSCStringAltValue{},
               OSCTimeTag{}, OSCArrayValue({std::int32_t{1}})}));
    const std::string tags(bytes.begin() + 4, bytes.begin() + 4 + 18);
    EXPECT_EQ(tags, ",ifsbTFcdhImNSt[i]");
    EXPECT_EQ(bytes[4 + 18], 0);
    EXPECT_EQ(bytes[4 + 19], 0);
}

// Blobs take OSC 1.0's 0 to 3 padding bytes; the older 1-to-4 layout
// shifted every argument after a whole-word blob for OSC 1.0 peers.
TEST(OSCMessageEncoding, BlobPaddingFollowsOSC10) {
    EXPECT_EQ(payloadOf(OSCBlob{1, 2, 3, 4}), hex("00 00 00 04 01 02 03 04"));
    EXPECT_EQ(payloadOf(OSCBlob{1, 2, 3, 4, 5}), hex("00 00 00 05 01 02 03 04 05 00 00 00"));
    EXPECT_EQ(payloadOf(OSCBlob{}), hex("00 00 00 00"));
    const auto bytes = encoded(OSCMessage("/a", {OSCBlob{9, 9, 9, 9}, std::int32_t{7}}));
    EXPECT_EQ(bytes, ascii("/a") + zeros(2) + ascii(",bi") + zeros(1) + hex("00000004 09090909 00000007"));
}

TEST(OSCMessageEncoding, ArraysContributeBracketedTagsAndConcatenatedPayloads) {
    const auto flat = encoded(OSCMessage("/a", {OSCArrayValue({1, 2})}));
    EXPECT_EQ(flat, ascii("/a") + zeros(2) + ascii(",[ii]") + zeros(3) + hex("00000001 00000002"));
    const auto nested = encoded(OSCMessage("/a", {OSCArrayValue({1, OSCArrayValue({"s"})}), 3}));
    EXPECT_EQ(nested, ascii("/a") + zeros(2) + ascii(",[i[s]]i") + zeros(4) + hex("00000001 73000000 00000003"));
}

TEST(OSCMessageEncoding, NonASCIITextIsTransliterated) {
    EXPECT_EQ(payloadOf("Café déjà vu"), ascii("Cafe deja vu") + zeros(4));
    EXPECT_EQ(payloadOf("line\nbreak\ttab"), ascii("line?break?tab") + zeros(2));
    EXPECT_EQ(payloadOf("Straße"), ascii("Strasse") + zeros(1));
    EXPECT_EQ(payloadOf(OSCStringAltValue{"Æther"}), ascii("AEther") + zeros(2));
    EXPECT_EQ(payloadOf("雪"), ascii("?") + zeros(3));
}

TEST(OSCMessageEncoding, AddressKeepsPureASCIIButConvertsOtherText) {
    EXPECT_EQ(encoded(OSCMessage("/a\tb")), ascii("/a\tb") + zeros(4) + ascii(",") + zeros(3));
    const OSCAddressPattern accented("/café");
    EXPECT_EQ(accented.rawAddress(), "/café");
    EXPECT_EQ(accented.rawData(), "/cafe");
    EXPECT_EQ(encoded(OSCMessage(accented)), ascii("/cafe") + zeros(3) + ascii(",") + zeros(3));
}

TEST(OSCMessageEncoding, AppendingLeavesExistingBytesAlone) {
    const OSCMessage message("/eos/user/0/newcmd", {"Chan 1 At Full", 2.5f, OSCBlob{1, 2, 3}});
    OSCBytes out(13, 0xAA);
    ASSERT_TRUE(message.appendRawData(out).ok());
    EXPECT_EQ(OSCBytes(out.begin(), out.begin() + 13), OSCBytes(13, 0xAA));
    EXPECT_EQ(OSCBytes(out.begin() + 13, out.end()), encoded(message));
}

TEST(ASCIICharacterConversion, CharactersBecomeASCIIOrQuestionMark) {
    EXPECT_EQ(ASCIICharacter::fromCharacter(std::string_view("é")).asciiValue, 101);
    EXPECT_EQ(ASCIICharacter::fromCharacter(std::string_view("\r\n")).asciiValue, 10);
    EXPECT_EQ(ASCIICharacter::fromCharacter(std::string_view("雪")).asciiValue, 63);
    EXPECT_EQ(ASCIICharacter::fromCharacter(U'Ø').asciiValue, 'O');
    EXPECT_EQ(ASCIICharacter::fromCharacter(U'\t').asciiValue, 9);
    EXPECT_FALSE(ASCIICharacter::fromCode(128).has_value());
    EXPECT_EQ(ASCIICharacter::fromCode(127)->asciiValue, 127);
}

TEST(ASCIIStringConversion, ReadingBytesRejectsHighBytes) {
    EXPECT_EQ(ASCIIString::fromBytes(ascii("a\\b"))->stringValue, "a\\b");
    EXPECT_FALSE(ASCIIString::fromBytes(hex("61 C3 A9")).has_value());
    EXPECT_EQ(ASCIIString::fromText("naïve\x7F").rawData, "naive?");
}

TEST(OSCExtraNumbers, WidenOrRefuseNeverTruncate) {
    EXPECT_EQ(OSCValue::fromInt8(-1).asInt32(), -1);
    EXPECT_EQ(OSCValue::fromUInt16(65535).asInt32(), 65535);
    EXPECT_EQ(OSCValue::fromUInt32(4294967295u).asInt64(), 4294967295);
    EXPECT_EQ(OSCValue::fromLongDouble(0.5L).asDouble(), 0.5);

    const auto fits = OSCValue::fromPlatformInteger(std::numeric_limits<std::int32_t>::min());
    ASSERT_TRUE(fits.ok());
    EXPECT_EQ(payloadOf(fits.value()), hex("80 00 00 00"));
    const auto tooWide = OSCValue::fromPlatformInteger(std::int64_t{1} << 31);
    ASSERT_FALSE(tooWide.ok());
    EXPECT_EQ(tooWide.error().kind, OSCEncodeError::Kind::valueEncodingError);
    EXPECT_FALSE(OSCValue::fromPlatformInteger(-(std::int64_t{1} << 31) - 1).ok());

    EXPECT_TRUE(OSCValue::fromUInt64((std::uint64_t{1} << 63) - 1).ok());
    EXPECT_FALSE(OSCValue::fromUInt64(std::uint64_t{1} << 63).ok());
}

TEST(OSCBundleEncoding, HeaderTimeTagAndSizedElements) {
    EXPECT_EQ(encoded(OSCBundle()), ascii("#bundle") + zeros(1) + hex("00000000 00000001"));

    const OSCMessage message("/eos/user", {"Go"});
    const auto messageBytes = encoded(message);
    ASSERT_EQ(messageBytes.size(), 20u);
    const OSCBundle bundle({message}, OSCTimeTag{0, 0x0000000500000000});
    EXPECT_EQ(encoded(bundle),
              ascii("#bundle") + zeros(1) + hex("00000005 00000000") + hex("00000014") + messageBytes);

    const OSCBundle outer({OSCBundle(), message});
    EXPECT_EQ(encoded(outer), ascii("#bundle") + zeros(1) + hex("00000000 00000001") + hex("00000010") +
                                  ascii("#bundle") + zeros(1) + hex("00000000 00000001") + hex("00000014") +
                                  messageBytes);
}

TEST(OSCTextForms, MessagesBundlesAndValues) {
    EXPECT_EQ(OSCMessage("/a").description(), "OSCMessage(\"/a\")");
    EXPECT_EQ(OSCMessage("/a", {"x", 1}).description(), "OSCMessage(\"/a\", values: [\"x\", 1])");
    EXPECT_EQ(OSCBundle().description(), "OSCBundle()");
    EXPECT_EQ(OSCBundle({OSCMessage("/a")}).description(), "OSCBundle(elements: [OSCMessage(\"/a\")])");
    EXPECT_EQ(OSCBundle({OSCMessage("/a")}, OSCTimeTag{2, 5}).description(),
              "OSCBundle(timeTag: 5-era:2, elements: [OSCMessage(\"/a\")])");
    EXPECT_EQ(OSCValue(OSCMIDIValue{1, 144, 60, 127}).plainText(),
              "MIDI(portID: 0x01, status: 0x90, data1: 0x3C, data2: 0x7F)");
    EXPECT_EQ(OSCValue(OSCArrayValue({"a", 2, OSCArrayValue({true})})).plainText(), "[\"a\", 2, [true]]");
    EXPECT_EQ(OSCValue(3.0f).plainText(), "3.0");
    EXPECT_EQ(OSCValue(0.1).plainText(), "0.1");
    EXPECT_EQ(OSCValue("Intro").plainText(), "Intro");
    EXPECT_EQ(OSCValue(OSCNullValue{}).plainText(), "Null");
    EXPECT_EQ(OSCValue(OSCImpulseValue{}).plainText(), "Impulse");
}

TEST(OSCMessageArguments, TypedReadsByIndex) {
    const OSCMessage reply("/eos/out/get/cue/1/12", {"uid", 3, "Intro", ""});
    EXPECT_EQ(reply.stringArgument(0), "uid");
    EXPECT_EQ(reply.int32Argument(1), 3);
    EXPECT_FALSE(reply.int32Argument(0).has_value());
    EXPECT_FALSE(reply.stringArgument(1).has_value());
    EXPECT_FALSE(reply.stringArgument(4).has_value());
    EXPECT_EQ(reply.address(), "/eos/out/get/cue/1/12");
}

}  // namespace
}  // namespace lanternwick

namespace lanternwick {
namespace {

// The word-at-a-time checks against a byte-by-byte reading, for every byte
// value at every position of a two-word text.
TEST(ASCIITextChecks, AgreeWithBytewiseDefinition) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 17u}) {
        for (std::size_t at = 0; at < length; ++at) {
            for (int value = 0; value < 256; ++value) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(value);
                EXPECT_EQ(isPrintableASCII(text), value >= 0x20 && value <= 0x7E) << length << " " << at << " " << value;
                EXPECT_EQ(isASCII(text), value < 0x80) << length << " " << at << " " << value;
            }
        }
    }
    EXPECT_TRUE(isPrintableASCII(""));
    EXPECT_TRUE(isASCII(""));
}

}  // namespace
}  // namespace lanternwick

namespace lanternwick {
namespace {

TEST(OSCMessageIdentity, EqualityAndHashIgnoreReceivedBytes) {
    const OSCMessage built("/eos/out/get/cue/1/12", {"Intro", 3, OSCArrayValue({1.5f, OSCBlob{1}})});
    // Trailing words make the received bytes differ from our own encoding.
    auto bytes = built.rawData().value();
    bytes.insert(bytes.end(), {0, 0, 0, 0});
    const auto received = OSCMessage::decode(bytes).value();
    EXPECT_EQ(received, built);
    EXPECT_EQ(std::hash<OSCMessage>{}(received), std::hash<OSCMessage>{}(built));
    EXPECT_NE(std::hash<OSCMessage>{}(OSCMessage("/a", {1})), std::hash<OSCMessage>{}(OSCMessage("/a", {2})));
    EXPECT_NE(std::hash<OSCMessage>{}(OSCMessage("/a", {1})), std::hash<OSCMessage>{}(OSCMessage("/b", {1})));
    // Same bits, different kinds.
    EXPECT_NE(OSCValue(std::int32_t{1}), OSCValue(std::int64_t{1}));
    EXPECT_NE(std::hash<OSCValue>{}(OSCValue(std::int32_t{1})), std::hash<OSCValue>{}(OSCValue(std::int64_t{1})));
    EXPECT_NE(OSCValue("s"), OSCValue(OSCStringAltValue{"s"}));
}

}  // namespace
}  // namespace lanternwick
