// The facade: the public calls, the request queues, request timeouts and
// closing. The connect, read and write paths live in files of their own.
#include "net/AsyncTCPSocket.h"

#include "net/AsyncTCPSocketState.h"

namespace lanternwick {

using namespace socket_detail;

void AsyncTCPSocketDelegate::socketDidConnect(const Socket&, const std::string&, std::uint16_t) {}
void AsyncTCPSocketDelegate::socketDidRead(const Socket&, const Bytes&, long) {}
void AsyncTCPSocketDelegate::socketDidReadPartial(const Socket&, std::size_t, long) {}
void AsyncTCPSocketDelegate::socketDidWrite(const Socket&, long) {}
void AsyncTCPSocketDelegate::socketDidWritePartial(const Socket&, std::size_t, long) {}
double AsyncTCPSocketDelegate::socketShouldTimeoutRead(const Socket&, long, double, std::size_t) { return 0; }
double AsyncTCPSocketDelegate::socketShouldTimeoutWrite(const Socket&, long, double, std::size_t) { return 0; }
void AsyncTCPSocketDelegate::socketDidCloseReadStream(const Socket&) {}
void AsyncTCPSocketDelegate::socketDidDisconnect(const Socket&, const std::optional<AsyncTCPSocketError>&) {}

void AsyncTCPSocket::State::submit(ReadRequest request) {
    queue.async(guarded([request = std::move(request)](State& s) mutable {
        if (!s.acceptsRequests()) return;
        request.serial = ++s.requestSerial;
        s.readQueue.push_back(std::move(request));
        s.pumpReads();
    }));
}

void AsyncTCPSocket::State::submit(WriteRequest request) {
    queue.async(guarded([request = std::move(request)](State& s) mutable {
        if (!s.acceptsRequests()) return;
        request.serial = ++s.requestSerial;
        s.writeQueue.push_back(std::move(request));
        s.pumpWrites();
    }));
}

AsyncTCPSocket::State::Request* AsyncTCPSocket::State::currentRequest(Direction direction) {
    if (direction == Direction::read) return currentRead ? &*currentRead : nullptr;
    return currentWrite ? &*currentWrite : nullptr;
}

void AsyncTCPSocket::State::startRequestTimer(Direction direction, double seconds) {
    Request* request = currentRequest(direction);
    if (request == nullptr) return;
    auto& timer = direction == Direction::read ? readTimer : writeTimer;
    timer.expires_after(secondsToDuration(seconds));
    timer.async_wait(guarded([direction, serial = request->serial](State& s, const std::error_code& error) {
        if (!error) s.requestTimedOut(direction, serial);
    }));
}

// The request stays current, paused, while the delegate decides; its answer
// comes back through the socket queue.
void AsyncTCPSocket::State::requestTimedOut(Direction direction, std::uint64_t serial) {
    const Request* request = currentRequest(direction);
    if (request == nullptr || request->serial != serial) return;
    (direction == Direction::read ? flags.readsPaused : flags.writesPaused) = true;
    notify([queue = queue, weak = weakOwner(), direction, serial, tag = request->tag, elapsed = request->timeout,
            done = request->bytesDone](AsyncTCPSocketDelegate& d, const Socket& s) {
        const double extension = direction == Direction::read ? d.socketShouldTimeoutRead(s, tag, elapsed, done)
                                                              : d.socketShouldTimeoutWrite(s, tag, elapsed, done);
        queue.async([weak, direction, serial, extension] {
            if (auto self = weak.lock()) self->state_->requestTimeoutAnswered(direction, serial, extension);
        });
    });
}

void AsyncTCPSocket::State::requestTimeoutAnswered(Direction direction, std::uint64_t serial, double extension) {
    Request* request = currentRequest(direction);
    if (request == nullptr || request->serial != serial) return;
    if (extension <= 0) {
        closeWithError(Error::socketError(direction == Direction::read ? Code::readTimeout : Code::writeTimeout));
        return;
    }
    request->timeout += extension;
    startRequestTimer(direction, extension);
    if (direction == Direction::read) {
        flags.readsPaused = false;
        pumpReads();
    } else {
        flags.writesPaused = false;
        pumpWrites();
    }
}

void AsyncTCPSocket::State::closeWithError(std::optional<Error> error) {
    endConnectTimeout();
    readTimer.cancel();
    writeTimer.cancel();
    stallTimer.cancel();
    stallTimerArmed = false;
    ++stallGeneration;
    currentRead.reset();
    currentWrite.reset();
    readQueue.clear();
    writeQueue.clear();
    preBuffer.reset();

    ++connectionIndex;
    if (stream) {
        std::error_code ignored;
        stream->close(ignored);
        stream.reset();
    }
    attempt4.reset();
    attempt6.reset();
    readWaitArmed = false;
    writeWaitArmed = false;
    socketFDBytesAvailable = 0;

    const bool wasStarted = flags.started;
    flags = Flags{};
    {
        std::lock_guard lock(infoMutex);
        infoHost.clear();
        infoPort = 0;
    }
    publishInfo();
    if (wasStarted) {
        notify([error = std::move(error)](AsyncTCPSocketDelegate& d, const Socket& s) {
            d.socketDidDisconnect(s, error);
        });
    }
}

void AsyncTCPSocket::State::publishInfo() {
    std::lock_guard lock(infoMutex);
    infoStarted = flags.started;
    infoConnected = flags.connected;
    infoHandle = stream ? stream->native_handle() : noNativeSocket;
}

std::shared_ptr<AsyncTCPSocket> AsyncTCPSocket::create(std::weak_ptr<AsyncTCPSocketDelegate> delegate,
                                                       std::optional<SerialQueue> delegateQueue,
                                                       std::optional<SerialQueue> socketQueue) {
    return std::make_shared<AsyncTCPSocket>(Key{}, std::move(delegate), std::move(delegateQueue),
                                            socketQueue ? *socketQueue : SerialQueue("AsyncTCPSocket"));
}

AsyncTCPSocket::AsyncTCPSocket(Key, std::weak_ptr<AsyncTCPSocketDelegate> delegate,
                               std::optional<SerialQueue> delegateQueue, SerialQueue socketQueue)
    : socketQueue_(std::move(socketQueue)), state_(std::make_unique<State>(*this, socketQueue_)) {
    state_->delegate = std::move(delegate);
    state_->delegateQueue = std::move(delegateQueue);
}

// The last owner is gone, so no handler can be running: every handler holds
// the socket only weakly while it waits. Closing here reports the disconnect
// without a socket.
AsyncTCPSocket::~AsyncTCPSocket() { state_->closeWithError(std::nullopt); }

void AsyncTCPSocket::setDelegate(std::weak_ptr<AsyncTCPSocketDelegate> delegate) {
    std::lock_guard lock(state_->settingsMutex);
    state_->delegate = std::move(delegate);
}

void AsyncTCPSocket::setDelegateQueue(std::optional<SerialQueue> delegateQueue) {
    std::lock_guard lock(state_->settingsMutex);
    state_->delegateQueue = std::move(delegateQueue);
}

void AsyncTCPSocket::setConfig(AsyncTCPSocketConfig config) {
    std::lock_guard lock(state_->settingsMutex);
    state_->config = config;
}

AsyncTCPSocketConfig AsyncTCPSocket::config() const {
    std::lock_guard lock(state_->settingsMutex);
    return state_->config;
}

void AsyncTCPSocket::setAlternateAddressDelay(double seconds) {
    std::lock_guard lock(state_->settingsMutex);
    state_->alternateAddressDelay = seconds;
}

void AsyncTCPSocket::setMaximumQueuedWriteBytes(std::size_t bytes) { state_->maximumQueuedWriteBytes.store(bytes); }

void AsyncTCPSocket::setWriteStallTimeout(double seconds) {
    std::lock_guard lock(state_->settingsMutex);
    state_->writeStallSeconds = seconds;
}

void AsyncTCPSocket::setHostLookup(HostLookup lookup) {
    std::lock_guard lock(state_->settingsMutex);
    state_->hostLookup = std::move(lookup);
}

Result<void, AsyncTCPSocketError> AsyncTCPSocket::connectToHost(std::string_view host, std::uint16_t port,
                                                                std::optional<std::string> interface, double timeout) {
    return socketQueue_.sync([&] { return state_->connect(host, port, interface, timeout); });
}

Result<void, AsyncTCPSocketError> AsyncTCPSocket::connectToHost(std::string_view host, std::uint16_t port,
                                                                double timeout) {
    return connectToHost(host, port, std::nullopt, timeout);
}

Result<void, AsyncTCPSocketError> AsyncTCPSocket::connectToHost(std::string_view host, std::uint16_t port) {
    return connectToHost(host, port, std::nullopt, -1);
}

void AsyncTCPSocket::readData(double timeout, long tag, std::size_t maxLength) {
    state_->submit(ReadRequest::available(timeout, tag, maxLength));
}

void AsyncTCPSocket::readDataToLength(std::size_t length, double timeout, long tag) {
    if (length == 0) return;
    state_->submit(ReadRequest::toLength(length, timeout, tag));
}

void AsyncTCPSocket::readDataToData(Bytes terminator, double timeout, long tag, std::size_t maxLength) {
    if (terminator.empty()) return;
    // A limit shorter than the terminator could never be met.
    if (maxLength > 0 && maxLength < terminator.size()) return;
    state_->submit(ReadRequest::toTerminator(std::move(terminator), timeout, tag, maxLength));
}

Result<void, AsyncTCPSocketError> AsyncTCPSocket::writeData(Bytes data, double timeout, long tag) {
    if (data.empty()) return {};
    const std::size_t limit = state_->maximumQueuedWriteBytes.load();
    std::size_t waiting = state_->queuedWriteBytes->load();
    do {
        if (data.size() > limit || waiting > limit - data.size()) {
            return fail(Error::socketError(Code::other, "Write queue is full: " + std::to_string(waiting) +
                                                            " bytes are waiting to be sent, the limit is " +
                                                            std::to_string(limit) + "."));
        }
    } while (!state_->queuedWriteBytes->compare_exchange_weak(waiting, waiting + data.size()));
    WriteRequest request;
    request.queued = countQueued(state_->queuedWriteBytes, data.size());
    request.buffer = std::move(data);
    request.timeout = timeout;
    request.tag = tag;
    state_->submit(std::move(request));
    return {};
}

std::size_t AsyncTCPSocket::queuedWriteBytes() const { return state_->queuedWriteBytes->load(); }

void AsyncTCPSocket::disconnectAfterWriting() {
    socketQueue_.async([self = shared_from_this()] { self->state_->disconnectAfterWriting(); });
}

void AsyncTCPSocket::disconnect() {
    socketQueue_.sync([this] {
        if (state_->flags.started) state_->closeWithError(std::nullopt);
    });
}

void AsyncTCPSocket::disconnectSoon() {
    socketQueue_.async([self = shared_from_this()] {
        if (self->state_->flags.started) self->state_->closeWithError(std::nullopt);
    });
}

bool AsyncTCPSocket::isConnected() const {
    std::lock_guard lock(state_->infoMutex);
    return state_->infoConnected;
}

bool AsyncTCPSocket::isDisconnected() const {
    std::lock_guard lock(state_->infoMutex);
    return !state_->infoStarted;
}

std::string AsyncTCPSocket::connectedHost() const {
    std::lock_guard lock(state_->infoMutex);
    return state_->infoHost;
}

std::uint16_t AsyncTCPSocket::connectedPort() const {
    std::lock_guard lock(state_->infoMutex);
    return state_->infoPort;
}

NativeSocket AsyncTCPSocket::nativeHandle() const {
    std::lock_guard lock(state_->infoMutex);
    return state_->infoHandle;
}

}  // namespace lanternwick
