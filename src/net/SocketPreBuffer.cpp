#include "net/SocketPreBuffer.h"

#include <cassert>

namespace lanternwick {

SocketPreBuffer::SocketPreBuffer(std::size_t capacity) : storage_(capacity) {}

void SocketPreBuffer::didRead(std::size_t bytesRead) {
    assert(bytesRead <= availableBytes());
    readPointer_ += bytesRead;
    if (readPointer_ == writePointer_) reset();
}

std::uint8_t* SocketPreBuffer::writeBuffer(std::size_t bytesToWrite) {
    if (storage_.size() - writePointer_ < bytesToWrite) storage_.resize(writePointer_ + bytesToWrite);
    return storage_.data() + writePointer_;
}

void SocketPreBuffer::didWrite(std::size_t bytesWritten) {
    assert(writePointer_ + bytesWritten <= storage_.size());
    writePointer_ += bytesWritten;
}

void SocketPreBuffer::reset() {
    readPointer_ = 0;
    writePointer_ = 0;
}

}  // namespace lanternwick
