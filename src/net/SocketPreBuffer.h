#pragma once
// SocketPreBuffer: bytes read from a descriptor before a read request needed
// them (a terminator read reads ahead). A linear buffer: consumed bytes are
// reclaimed only when everything has been consumed, and the storage grows to
// exactly what a write needs. Owned by one AsyncTCPSocket and touched only on
// its socket queue.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lanternwick {

class SocketPreBuffer {
public:
    explicit SocketPreBuffer(std::size_t capacity);

    std::size_t availableBytes() const { return writePointer_ - readPointer_; }
    const std::uint8_t* readBuffer() const { return storage_.data() + readPointer_; }
    void didRead(std::size_t bytesRead);

    // Room for at least `bytesToWrite` more bytes, to be confirmed by didWrite.
    std::uint8_t* writeBuffer(std::size_t bytesToWrite);
    void didWrite(std::size_t bytesWritten);

    std::size_t capacity() const { return storage_.size(); }
    void reset();

private:
    std::vector<std::uint8_t> storage_;
    std::size_t readPointer_ = 0;
    std::size_t writePointer_ = 0;
};

}  // namespace lanternwick
