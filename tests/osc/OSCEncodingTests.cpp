#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>

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

TEST(OSCMessageEncoding, ConsoleCommandGoldenBytes) {
    EXPECT_EQ(encoded(OSCMessage("/eos/user/0/newcmd", {"Go"})),
              ascii("/eos/user/0/newcmd") + zeros(2) + ascii(",s") + zeros(2) + ascii("Go") + zeros(2));
}

struct EncodedValue {
    OSCValue value;
    std::string tags;
    OSCBytes payload;
};

// One value after "/a": its tags and the bytes after the tag string. Strings
// of every length modulo 4, whole-word and odd blobs and nested arrays are
// written byte for byte as liblo and oscpack write them (the interop tests);
// here, the empty ones, and text that is not printable ASCII.
TEST(OSCMessageEncoding, EmptyValuesAndTransliteratedText) {
    const std::vector<EncodedValue> cases = {
        {"", "s", hex("00 00 00 00")},
        // OSC 1.0 pads blobs with 0 to 3 bytes, strings with 1 to 4.
        {OSCBlob{}, "b", hex("00 00 00 00")},
        {OSCArrayValue(), "[]", {}},
        {"Café déjà vu", "s", ascii("Cafe deja vu") + zeros(4)},
        {"line\nbreak\ttab", "s", ascii("line?break?tab") + zeros(2)},
        {OSCStringAltValue{"Æther"}, "S", ascii("AEther") + zeros(2)},
        {"雪", "s", ascii("?") + zeros(3)},
    };
    for (const auto& c : cases) {
        OSCBytes tags = ascii("," + c.tags);
        tags.resize(tags.size() + 4 - tags.size() % 4, 0);
        EXPECT_EQ(encoded(OSCMessage("/a", {c.value})), ascii("/a") + zeros(2) + tags + c.payload) << c.tags;
    }
}

TEST(OSCMessageEncoding, AddressKeepsPureASCIIButConvertsOtherText) {
    EXPECT_EQ(encoded(OSCMessage("/a\tb")), ascii("/a\tb") + zeros(4) + ascii(",") + zeros(3));
    const OSCAddressPattern accented("/café");
    EXPECT_EQ(accented.rawAddress(), "/café");
    EXPECT_EQ(encoded(OSCMessage(accented)), ascii("/cafe") + zeros(3) + ascii(",") + zeros(3));
}

TEST(OSCMessageEncoding, AppendingLeavesExistingBytesAlone) {
    const OSCMessage message("/eos/user/0/newcmd", {"Chan 1 At Full", 2.5f, OSCBlob{1, 2, 3}});
    OSCBytes out(13, 0xAA);
    ASSERT_TRUE(message.appendRawData(out).ok());
    EXPECT_EQ(out, OSCBytes(13, 0xAA) + encoded(message));
}

TEST(ASCIIConversion, CharactersAndStrings) {
    EXPECT_EQ(ASCIICharacter::fromCharacter(std::string_view("\r\n")).asciiValue, '\n');
    EXPECT_EQ(ASCIICharacter::fromCharacter(std::string_view("雪")).asciiValue, '?');
    EXPECT_EQ(ASCIICharacter::fromCharacter(U'Ø').asciiValue, 'O');
    EXPECT_FALSE(ASCIICharacter::fromCode(128).has_value());
    // A character made by hand with a code above ASCII still goes out as ASCII.
    const auto handMade = OSCMessage("/c", {ASCIICharacter{U'\u00E9', 0xE9}}).rawData();
    ASSERT_TRUE(handMade.ok());
    EXPECT_EQ(handMade.value().back(), 'e');
    EXPECT_FALSE(ASCIIString::fromBytes(hex("61 C3 A9")).has_value());
    EXPECT_EQ(ASCIIString::fromText("naïve\x7F").rawData, "naive?");
}

// The word-at-a-time checks against a byte-by-byte reading, for every byte
// value at every position of a text of up to three words.
TEST(ASCIIConversion, WordChecksAgreeWithBytewiseDefinition) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 17u}) {
        for (std::size_t at = 0; at < length; ++at) {
            for (int value = 0; value < 256; ++value) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(value);
                EXPECT_EQ(isPrintableASCII(text), value >= 0x20 && value <= 0x7E) << length << " " << at << " " << value;
            }
        }
    }
}

// Messages are encoded on whichever thread sends them; the shared
// transliterator must give every thread the right text.
TEST(ASCIIConversion, TransliterationFromManyThreads) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Café déjà vu", "Cafe deja vu"}, {"Straße", "Strasse"}, {"Ærø", "AEro"}, {"naïve\tcopy", "naive?copy"}};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i) {
                const auto& [text, expected] = cases[static_cast<std::size_t>(t + i) % cases.size()];
                wrong += convertToPrintableASCII(text) != expected;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(OSCExtraNumbers, WidenOrRefuseNeverTruncate) {
    EXPECT_EQ(OSCValue::fromUInt32(4294967295u).asInt64(), 4294967295);
    EXPECT_EQ(OSCValue::fromPlatformInteger(std::numeric_limits<std::int32_t>::min()).value(),
              OSCValue(std::numeric_limits<std::int32_t>::min()));
    const auto tooWide = OSCValue::fromPlatformInteger(std::int64_t{1} << 31);
    ASSERT_FALSE(tooWide.ok());
    EXPECT_EQ(tooWide.error().kind, OSCEncodeError::Kind::valueEncodingError);
    EXPECT_FALSE(OSCValue::fromPlatformInteger(-(std::int64_t{1} << 31) - 1).ok());
    EXPECT_TRUE(OSCValue::fromUInt64((std::uint64_t{1} << 63) - 1).ok());
    EXPECT_FALSE(OSCValue::fromUInt64(std::uint64_t{1} << 63).ok());
}

// Sized elements and time tags are written byte for byte as oscpack writes
// them (the interop tests); here, the default tag and an empty bundle.
TEST(OSCBundleEncoding, ImmediateTagAndEmptyElement) {
    const OSCBytes immediate = ascii("#bundle") + zeros(1) + hex("00000000 00000001");
    const OSCMessage message("/eos/user", {"Go"});
    EXPECT_EQ(OSCBundle({OSCBundle(), message}).rawData().value(),
              immediate + hex("00000010") + immediate + hex("00000014") + encoded(message));
}

TEST(OSCTextForms, MessagesBundlesAndValues) {
    EXPECT_EQ(OSCMessage("/a", {"x", 1}).description(), "OSCMessage(\"/a\", values: [\"x\", 1])");
    EXPECT_EQ(OSCValue(OSCMIDIValue{1, 144, 60, 127}).plainText(),
              "MIDI(portID: 0x01, status: 0x90, data1: 0x3C, data2: 0x7F)");
    EXPECT_EQ(OSCValue(OSCArrayValue({"a", 2, OSCArrayValue({true})})).plainText(), "[\"a\", 2, [true]]");
    EXPECT_EQ(OSCValue(3.0f).plainText(), "3.0");
}

TEST(OSCMessageIdentity, EqualityAndHashIgnoreReceivedBytes) {
    const OSCMessage built("/eos/out/get/cue/1/12", {"Intro", 3, OSCArrayValue({1.5f, OSCBlob{1}})});
    // Trailing words make the received bytes differ from our own encoding.
    auto bytes = built.rawData().value();
    bytes.insert(bytes.end(), {0, 0, 0, 0});
    const auto received = OSCMessage::decode(bytes).value();
    EXPECT_EQ(received, built);
    EXPECT_EQ(std::hash<OSCMessage>{}(received), std::hash<OSCMessage>{}(built));
    EXPECT_NE(std::hash<OSCMessage>{}(OSCMessage("/a", {1})), std::hash<OSCMessage>{}(OSCMessage("/b", {1})));
    // Same bits, different kinds.
    EXPECT_NE(std::hash<OSCValue>{}(OSCValue(std::int32_t{1})), std::hash<OSCValue>{}(OSCValue(std::int64_t{1})));
}

}  // namespace
}  // namespace lanternwick
