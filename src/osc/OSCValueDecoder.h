#pragma once
// OSCValueDecoder: the reader over one message's bytes. The position only
// moves forward; every read either succeeds and advances or fails with the
// malformed text that says what was wrong. Does not own the bytes: they must
// outlive the reader. One reader per decoding; not shared between threads.

#include <cstddef>
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
    explicit OSCValueDecoder(OSCByteView data, const OSCSerialization* context = nullptr)
        : context_(context), data_(data) {}

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
    ChunkProblem scanChunk(std::string_view& content, bool requireASCII);
    static OSCDecodeError chunkError(ChunkProblem problem);

    const OSCSerialization* context_;
    OSCByteView data_;
    std::size_t pos_ = 0;
};

}  // namespace lanternwick
