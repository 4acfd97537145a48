#pragma once
// OutputDescriptor: the system's side of NonBlockingOutput, in a file per
// system (NonBlockingOutputPosix.cpp): a descriptor of the stream's own that
// never blocks, one attempt to write on it, and a wait until it can take
// more. The buffer, the counting and the texts are NonBlockingOutput's, so
// a port adds a file and edits none.
// For NonBlockingOutput only, one owner: write(), whenWritable() and
// cancel() on its writing queue; made and destroyed on any thread.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "support/SerialQueue.h"

namespace lanternwick {

class OutputDescriptor {
public:
    // Our own descriptor for the stream behind `descriptor`; not open when
    // none could be had, the stream counting as gone from the start.
    explicit OutputDescriptor(int descriptor);
    // Puts back what was changed on a shared description, and closes.
    ~OutputDescriptor();

    OutputDescriptor(const OutputDescriptor&) = delete;
    OutputDescriptor& operator=(const OutputDescriptor&) = delete;

    bool isOpen() const;

    struct Attempt {
        // Bytes taken from the front of the text.
        std::size_t written = 0;
        // Nothing could be taken now: wait with whenWritable().
        bool full = false;
        // Set when the stream is gone (EPIPE, EIO, a hung-up terminal), why.
        std::string goneReason;
    };
    // One write of some or all of `text` (not empty), without waiting.
    Attempt write(std::string_view text);

    // `then` runs on `queue` once the stream can take more, or at once
    // there after cancel().
    void whenWritable(const SerialQueue& queue, std::function<void()> then);
    void cancel();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lanternwick
