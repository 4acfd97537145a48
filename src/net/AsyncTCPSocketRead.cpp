// The read path: readiness of the socket, serving the current read
// request, and the end of the stream.
#include <asio/post.hpp>

#include "net/AsyncTCPSocketState.h"

namespace lanternwick {

using namespace socket_detail;
using Outcome = socket_system::Transfer::Outcome;

// Asio's readiness waits are edge-triggered: readiness that arrived while
// no wait was queued is not reported again. So after queuing a wait, look
// once more (level-triggered, without blocking) and serve what is already
// there; a wait that then fires finds nothing and is re-armed.
void AsyncTCPSocket::State::armReadWait() {
    if (!stream) return;
    const std::uint64_t connection = connectionIndex;
    if (!readWaitArmed) {
        readWaitArmed = true;
        stream->async_wait(Stream::wait_read, guarded([connection](State& s, const std::error_code& error) {
            if (connection != s.connectionIndex) return;
            s.readWaitArmed = false;
            if (error) return;
            s.readSourceFired();
        }));
    }
    if (socket_system::readable(stream->native_handle()) != socket_system::Readiness::notReady) {
        asio::post(executor, guarded([connection](State& s) {
            if (connection == s.connectionIndex && s.stream) s.readSourceFired();
        }));
    }
}

void AsyncTCPSocket::State::readSourceFired() {
    Stream::bytes_readable command;
    std::error_code failed;
    stream->io_control(command, failed);
    std::size_t waiting = failed ? 0 : command.get();
    if (waiting == 0) {
        // No bytes: either the peer closed, or the readiness was already
        // served by an earlier look.
        const socket_system::Transfer peeked = socket_system::peekByte(stream->native_handle());
        if (peeked.outcome == Outcome::wouldBlock || peeked.outcome == Outcome::interrupted) {
            if (currentRead) armReadWait();
            return;
        }
        if (peeked.outcome == Outcome::failed) {
            closeWithError(Error::posix(peeked.error, "Error in read() function"));
            return;
        }
        if (peeked.count == 0) {
            readEndOfStream();
            return;
        }
        waiting = 1;
    }
    socketFDBytesAvailable = waiting;
    // With no read waiting the wait is not re-armed: the bytes stay in the
    // kernel until someone asks for them.
    if (currentRead) pumpReads();
}

void AsyncTCPSocket::State::pumpReads() {
    while (flags.connected && !flags.readsPaused) {
        if (!currentRead) {
            if (readQueue.empty()) return;
            currentRead = std::move(readQueue.front());
            readQueue.pop_front();
            if (currentRead->timeout >= 0) startRequestTimer(Direction::read, currentRead->timeout);
        }
        if (!serveCurrentRead()) return;
    }
}

std::size_t AsyncTCPSocket::State::takeFromPreBuffer(ReadRequest& request) {
    const std::size_t available = preBuffer.availableBytes();
    if (available == 0) return 0;
    std::size_t count = available;
    if (request.readLength > 0) {
        count = std::min(available, request.readLength - request.bytesDone);
    } else if (!request.term && request.maxLength > 0) {
        count = std::min(available, request.maxLength - request.bytesDone);
    } else if (request.term) {
        const auto& term = *request.term;
        const std::uint8_t* bytes = preBuffer.readBuffer();
        count = 0;
        while (count < available) {
            if (request.maxLength > 0 && request.bytesDone + count >= request.maxLength) break;
            ++count;
            // Compare the last term.size() bytes of buffer-so-far plus the taken ones.
            const std::size_t total = request.bytesDone + count;
            if (total < term.size()) continue;
            bool matched = true;
            for (std::size_t i = 0; i < term.size() && matched; ++i) {
                const std::size_t pos = total - term.size() + i;
                const std::uint8_t b = pos < request.bytesDone ? request.buffer[pos] : bytes[pos - request.bytesDone];
                matched = b == term[i];
            }
            if (matched) break;
        }
    }
    request.buffer.resize(request.bytesDone + count);
    std::copy_n(preBuffer.readBuffer(), count, request.buffer.begin() + static_cast<long>(request.bytesDone));
    request.bytesDone += count;
    preBuffer.didRead(count);
    return count;
}

// Serves the current read as far as the bytes at hand allow. True when it
// completed and the next one may start.
bool AsyncTCPSocket::State::serveCurrentRead() {
    ReadRequest& request = *currentRead;
    const NativeSocket handle = stream->native_handle();
    std::size_t obtained = takeFromPreBuffer(request);
    bool endOfStream = false;

    while (!request.isComplete() && !flags.readEOF && socketFDBytesAvailable > 0) {
        if (request.maxLength > 0 && request.bytesDone >= request.maxLength) break;
        const bool readAhead = request.term.has_value();
        std::size_t wanted = socketFDBytesAvailable;
        if (request.readLength > 0) wanted = std::min(wanted, request.readLength - request.bytesDone);
        if (!readAhead && request.maxLength > 0) wanted = std::min(wanted, request.maxLength - request.bytesDone);
        std::uint8_t* target = nullptr;
        if (readAhead) {
            target = preBuffer.writeBuffer(wanted);
        } else {
            request.buffer.resize(request.bytesDone + wanted);
            target = request.buffer.data() + request.bytesDone;
        }
        const socket_system::Transfer got = socket_system::receive(handle, target, wanted);
        if (got.outcome != Outcome::moved) {
            if (!readAhead) request.buffer.resize(request.bytesDone);
            if (got.outcome == Outcome::interrupted) continue;
            if (got.outcome == Outcome::wouldBlock) {
                socketFDBytesAvailable = 0;
                break;
            }
            closeWithError(Error::posix(got.error, "Error in read() function"));
            return false;
        }
        const std::size_t count = got.count;
        socketFDBytesAvailable = socketFDBytesAvailable > count ? socketFDBytesAvailable - count : 0;
        if (count == 0) {
            if (!readAhead) request.buffer.resize(request.bytesDone);
            endOfStream = true;
            break;
        }
        if (readAhead) {
            preBuffer.didWrite(count);
            obtained += takeFromPreBuffer(request);
        } else {
            request.bytesDone += count;
            request.buffer.resize(request.bytesDone);
            obtained += count;
        }
        if (count < wanted) socketFDBytesAvailable = 0;
    }

    if (request.term && request.maxLength > 0 && !request.isComplete() && request.bytesDone >= request.maxLength) {
        closeWithError(Error::socketError(Code::readMaxedOut));
        return false;
    }
    if (request.isComplete()) {
        readTimer.cancel();
        ReadRequest done = std::move(request);
        currentRead.reset();
        done.buffer.resize(done.bytesDone);
        notify([data = std::move(done.buffer), tag = done.tag](AsyncTCPSocketDelegate& d, const Socket& s) {
            d.socketDidRead(s, data, tag);
        });
        if (endOfStream) {
            readEndOfStream();
            return flags.connected;
        }
        return true;
    }
    if (obtained > 0) {
        notify([obtained, tag = request.tag](AsyncTCPSocketDelegate& d, const Socket& s) {
            d.socketDidReadPartial(s, obtained, tag);
        });
    }
    if (endOfStream || flags.readEOF) {
        readEndOfStream();
        return false;
    }
    armReadWait();
    return false;
}

void AsyncTCPSocket::State::readEndOfStream() {
    flags.readEOF = true;
    // Held bytes can still be read.
    if (preBuffer.availableBytes() > 0 || flags.readStreamClosed) return;
    if (currentConfig().allowHalfDuplexConnection) {
        if (socket_system::writable(stream->native_handle()) == socket_system::Readiness::ready) {
            flags.readStreamClosed = true;
            notify([](AsyncTCPSocketDelegate& d, const Socket& s) { d.socketDidCloseReadStream(s); });
            return;
        }
    }
    closeWithError(Error::socketError(Code::closed));
}
}  // namespace lanternwick
