#pragma once
// OSCValueDecoder: the reader over one message's bytes. The position only
// moves forward; every read either succeeds and advances or fails with the
// malformed text that says what was wrong. Does not own the bytes: they must
// outlive the reader. One reader per decoding; not shared between threads.

#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "osc/ASCIIString.h"
#include "osc/OSCBytes.h"
#include "osc/OSCDecodeError.h"
#include "osc/OSCValue.h"
#include "support/Result.h"

namespace lanternwick {

class OSCSerialization;

class OSCValueDecoder {
public:
    // Without a context the shared registry is used.
    explicit OSCValueDecoder(OSCByteView data, const OSCSerialization* context = nullptr,
                             OSCStringBytes strings = OSCStringBytes::ascii)
        : context_(context), data_(data), stringsASCII_(strings == OSCStringBytes::ascii) {}

    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    OSCByteView data() const { return data_; }

    // A string's bytes up to its terminator, which is followed by zero bytes
    // up to the next multiple of 4.
    Result<OSCByteView, OSCDecodeError> readTerminatedAlignedChunk();
    Result<std::string, OSCDecodeError> readASCIIString();
    // As readASCIIString, without copying: the view points into the data.
    Result<std::string_view, OSCDecodeError> readASCIIStringView();
    Result<std::int32_t, OSCDecodeError> readInt32();
    Result<float, OSCDecodeError> readFloat32();
    Result<double, OSCDecodeError> readDouble();
    Result<std::int64_t, OSCDecodeError> readInt64();
    Result<std::uint64_t, OSCDecodeError> readUInt64();
    // A size (at most 65,506), the bytes, then 0 to 3 zero bytes to the
    // next multiple of 4.
    // As the very last thing in the message it also accepts up to 4 zero
    // bytes, the layout of older writers.
    Result<OSCBlob, OSCDecodeError> readBlob();
    Result<OSCByteView, OSCDecodeError> readBytes(std::int64_t count);
    Result<void, OSCDecodeError> advance(std::int64_t count);

    // Decodes the values of a whole type tag string (commas and zero
    // characters skipped), appending them to `values`.
    Result<void, OSCDecodeError> decodeValues(std::span<const char> tags, std::vector<OSCValue>& values);

    // Decodes the value for tags[index], appends it to `values` and reports
    // how many tags it used. `depth` counts enclosing arrays.
    Result<std::size_t, OSCDecodeError> decodeValue(std::span<const char> tags, std::size_t index,
                                                    std::vector<OSCValue>& values, std::size_t depth = 0);

private:
    friend class OSCPacketDecoding;

    enum class ChunkProblem { none, tooShort, notTerminated, notASCII };
    // One pass over a string chunk without building results; advances only
    // on success.
    template <bool trackPrintable = false>
    ChunkProblem scanChunk(std::string_view& content, bool requireASCII, bool* printable = nullptr);
    static OSCDecodeError chunkError(ChunkProblem problem);

    const OSCSerialization* context_;
    OSCByteView data_;
    std::size_t pos_ = 0;
    // For string and alternative-string arguments only.
    bool stringsASCII_;
    // Whether our encoder would write the values decoded so far exactly as
    // they were read: only tags after a single leading comma, only int32,
    // boolean and printable strings. Once false, stays false.
    bool reproducible_ = true;
};

// Bytes in memory order from the lowest bit up, whatever the machine.
namespace detail {

template <typename Word>
inline Word loadLittleEndian(const std::uint8_t* p) {
    Word word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        if constexpr (sizeof word == 8) {
            word = __builtin_bswap64(word);
        } else {
            word = __builtin_bswap32(word);
        }
    }
    return word;
}

}  // namespace detail

// Inline, as every string of every message goes through it.
// Walks the chunk eight bytes at a time, finding the terminator and testing
// for high bits in the same pass; strings are short, so this beats a memchr
// call followed by a second scan. The lowest flagged byte of the zero test is
// exactly the first zero byte; every byte from it to the end of its 4-byte
// word must be zero too. With `trackPrintable`, also tells whether every byte
// before the terminator is in space..tilde (a borrow or carry between bytes
// only ever starts at a byte that is itself outside).
template <bool trackPrintable>
inline OSCValueDecoder::ChunkProblem OSCValueDecoder::scanChunk(std::string_view& content, bool requireASCII,
                                                                bool* printable) {
    constexpr std::uint64_t ones = 0x0101010101010101u;
    constexpr std::uint64_t highs = 0x8080808080808080u;
    const std::size_t r = remaining();
    if (r <= 3) {
        return ChunkProblem::tooShort;
    }
    const std::uint8_t* start = data_.data() + pos_;
    std::uint64_t seen = 0;
    std::uint64_t outside = 0;
    const auto outsidePrintable = [](std::uint64_t bits) {
        return ((bits - ones * 0x20) & ~bits) | (bits + ones) | bits;
    };
    const auto finish = [&](std::size_t at, std::uint64_t zeros, std::uint64_t bits) {
        const auto first = static_cast<std::size_t>(std::countr_zero(zeros)) / 8;
        const std::size_t end = (first / 4 + 1) * 4;
        const std::uint64_t word = end == 8 ? bits : bits & 0xFFFFFFFFu;
        if (word >> (8 * first) != 0) {
            return ChunkProblem::notTerminated;
        }
        if (requireASCII && ((seen | word) & highs)) {
            return ChunkProblem::notASCII;
        }
        if constexpr (trackPrintable) {
            outside |= outsidePrintable(bits) & ((std::uint64_t{1} << (8 * first)) - 1);
            *printable = (outside & highs) == 0;
        }
        pos_ += at + end;
        content = std::string_view(reinterpret_cast<const char*>(start), at + first);
        return ChunkProblem::none;
    };
    std::size_t at = 0;
    for (; at + 8 <= r; at += 8) {
        const auto bits = detail::loadLittleEndian<std::uint64_t>(start + at);
        const std::uint64_t zeros = (bits - ones) & ~bits & highs;
        if (zeros != 0) {
            return finish(at, zeros, bits);
        }
        seen |= bits;
        if constexpr (trackPrintable) {
            outside |= outsidePrintable(bits);
        }
    }
    if (at + 4 <= r) {
        const std::uint64_t bits = detail::loadLittleEndian<std::uint32_t>(start + at);
        const std::uint64_t zeros = (bits - 0x01010101u) & ~bits & 0x80808080u;
        if (zeros != 0) {
            return finish(at, zeros, bits);
        }
        at += 4;
    }
    // A terminator among the last r mod 4 bytes would need padding past the end.
    for (; at < r; ++at) {
        if (start[at] == 0) {
            return ChunkProblem::tooShort;
        }
    }
    return ChunkProblem::notTerminated;
}

}  // namespace lanternwick
