// The write path: writing the current request, waiting for writability,
// the stall watch, and closing once everything is written.
#include <asio/post.hpp>

#include "net/AsyncTCPSocketState.h"

namespace lanternwick {

using namespace socket_detail;
using Outcome = socket_system::Transfer::Outcome;

void AsyncTCPSocket::State::armWriteWait() {
    if (!stream) return;
    watchForStall();
    const std::uint64_t connection = connectionIndex;
    auto onWritable = [connection](State& s, const std::error_code& error) {
        if (connection != s.connectionIndex) return;
        s.writeWaitArmed = false;
        if (error) return;
        s.flags.canAcceptBytes = true;
        s.pumpWrites();
    };
    auto writableNow = [connection](State& s) {
        if (connection != s.connectionIndex || !s.stream) return;
        s.flags.canAcceptBytes = true;
        s.pumpWrites();
    };
    const bool writable = socket_system::writable(stream->native_handle()) != socket_system::Readiness::notReady;
    if (flags.closingAfterWrites) {
        // Nobody else may hold the socket any more: the wait keeps it alive
        // until the queued writes are out.
        auto self = owner.shared_from_this();
        if (!writeWaitArmed) {
            writeWaitArmed = true;
            stream->async_wait(Stream::wait_write, [self, onWritable](const std::error_code& error) {
                onWritable(*self->state_, error);
            });
        }
        if (writable) asio::post(executor, [self, writableNow] { writableNow(*self->state_); });
    } else {
        if (!writeWaitArmed) {
            writeWaitArmed = true;
            stream->async_wait(Stream::wait_write, guarded(onWritable));
        }
        if (writable) asio::post(executor, guarded(writableNow));
    }
}

void AsyncTCPSocket::State::pumpWrites() {
    const bool observed = delegateObservesWrites();
    while (flags.connected && !flags.writesPaused) {
        if (!currentWrite) {
            if (writeQueue.empty()) {
                if (flags.closingAfterWrites) closeWithError(std::nullopt);
                return;
            }
            currentWrite = std::move(writeQueue.front());
            writeQueue.pop_front();
            lastWriteProgress = std::chrono::steady_clock::now();
            if (currentWrite->timeout >= 0) startRequestTimer(Direction::write, currentWrite->timeout);
        }
        if (!flags.canAcceptBytes) {
            armWriteWait();
            return;
        }
        WriteRequest& request = *currentWrite;
        const socket_system::Transfer result =
            socket_system::send(stream->native_handle(), request.buffer.data() + request.bytesDone,
                                request.buffer.size() - request.bytesDone);
        if (result.outcome == Outcome::interrupted) continue;
        if (result.outcome == Outcome::wouldBlock) {
            flags.canAcceptBytes = false;
            armWriteWait();
            return;
        }
        if (result.outcome == Outcome::failed) {
            closeWithError(Error::posix(result.error, "Error in write() function"));
            return;
        }
        const std::size_t sent = result.count;
        request.bytesDone += sent;
        if (sent > 0) lastWriteProgress = std::chrono::steady_clock::now();
        if (request.bytesDone < request.buffer.size()) {
            if (observed) {
                notify([length = sent, tag = request.tag](AsyncTCPSocketDelegate& d, const Socket& s) {
                    d.socketDidWritePartial(s, length, tag);
                });
            }
            flags.canAcceptBytes = false;
            armWriteWait();
            return;
        }
        if (request.timeout >= 0) writeTimer.cancel();
        if (observed) {
            notify([tag = request.tag](AsyncTCPSocketDelegate& d, const Socket& s) { d.socketDidWrite(s, tag); });
        }
        currentWrite.reset();
    }
}

// One timer per stall, not per write: it fires at the stall deadline of the
// last progress it knows of and looks again, since bytes may have gone out
// in between.
void AsyncTCPSocket::State::watchForStall() {
    const double seconds = stallSeconds();
    if (stallTimerArmed || seconds <= 0) return;
    stallTimerArmed = true;
    stallTimer.expires_at(lastWriteProgress + secondsToDuration(seconds));
    stallTimer.async_wait(guarded([generation = ++stallGeneration](State& s, const std::error_code& error) {
        if (generation != s.stallGeneration) return;
        s.stallTimerArmed = false;
        if (!error) s.stallTimerFired();
    }));
}

void AsyncTCPSocket::State::stallTimerFired() {
    if (!currentWrite && writeQueue.empty()) return;
    const double seconds = stallSeconds();
    if (seconds > 0 && std::chrono::steady_clock::now() >= lastWriteProgress + secondsToDuration(seconds)) {
        closeWithError(Error::socketError(Code::writeTimeout));
        return;
    }
    if (!flags.canAcceptBytes) watchForStall();
}

void AsyncTCPSocket::State::disconnectAfterWriting() {
    if (!flags.started) return;
    flags.closingAfterWrites = true;
    if (!currentWrite && writeQueue.empty()) {
        closeWithError(std::nullopt);
        return;
    }
    // A write waiting for writability holds the socket only weakly; re-arm
    // it so that the socket stays alive until the writes are out.
    if (writeWaitArmed) {
        const bool wasReading = readWaitArmed;
        ++connectionIndex;
        writeWaitArmed = false;
        readWaitArmed = false;
        std::error_code ignored;
        stream->cancel(ignored);
        if (wasReading) armReadWait();
        armWriteWait();
    }
}

}  // namespace lanternwick
