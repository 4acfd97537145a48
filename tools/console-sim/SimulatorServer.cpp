#include "console-sim/SimulatorServer.h"

#include <array>
#include <deque>

#include "console-sim/StreamFrameReader.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick::sim {

namespace {

std::string peerName(const asio::ip::tcp::socket& socket) {
    std::error_code ignored;
    const auto endpoint = socket.remote_endpoint(ignored);
    if (ignored) return "unknown peer";
    const std::string address = endpoint.address().to_string();
    const bool v6 = endpoint.address().is_v6();
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

}  // namespace

class SimulatorServer::Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(SimulatorServer& server, asio::ip::tcp::socket socket)
        : server_(server), alive_(server.alive_), socket_(std::move(socket)), pause_(socket_.get_executor()),
          peer_(peerName(socket_)), reader_(server.options_.framing) {}

    void start() {
        std::error_code ignored;
        socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
        server_.log_.connected(peer_);
        read();
    }

    void close() {
        std::error_code ignored;
        pause_.cancel();
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

private:
    struct PendingWrite {
        OSCBytes bytes;
        bool pauseFirst = false;
    };

    void read() {
        socket_.async_read_some(asio::buffer(buffer_), [self = shared_from_this()](std::error_code error,
                                                                                    std::size_t size) {
            if (alive_expired(self)) return;
            if (error) {
                self->finish();
                return;
            }
            self->received(OSCByteView(self->buffer_.data(), size));
            self->read();
        });
    }

    static bool alive_expired(const std::shared_ptr<Connection>& self) { return self->alive_.expired(); }

    void finish() {
        if (finished_) return;
        finished_ = true;
        server_.log_.disconnected(peer_);
        close();
        server_.forget(this);
    }

    // The console closes a connection on which it receives a packet it
    // cannot read, and so does the simulator.
    void received(const OSCByteView bytes) {
        StreamFrameReader::Output frames = reader_.feed(bytes);
        for (const OSCBytes& packetBytes : frames.packets) {
            if (finished_) return;
            const auto packet = OSCPacket::decode(OSCByteView(packetBytes));
            if (!packet) {
                unreadable(packet.error().description());
                return;
            }
            if (!packet->has_value()) {
                if (packetBytes.empty()) continue;
                unreadable("not an OSC packet");
                return;
            }
            for (const OSCMessage& reply : server_.simulator_.handlePacket(peer_, **packet)) send(reply);
        }
        if (!frames.unreadable.empty()) unreadable(frames.unreadable);
    }

    void unreadable(const std::string& reason) {
        server_.log_.dropped(peer_, reason + "; connection closed");
        finish();
    }

    void send(const OSCMessage& reply) {
        const auto encoded = reply.rawData();
        if (!encoded) {
            server_.log_.dropped(peer_, "reply not encodable: " + encoded.error().description());
            return;
        }
        OSCBytes framed;
        if (server_.options_.framing == OSCTCPFramingMode::osc1_0) {
            auto withHeader = lengthHeaderEncode(OSCByteView(*encoded));
            if (!withHeader) {
                server_.log_.dropped(peer_, "reply not encodable: " + withHeader.error().description());
                return;
            }
            framed = std::move(*withHeader);
        } else {
            framed = slipEncode(OSCByteView(*encoded));
        }
        if (server_.options_.splitReplies && framed.size() > 1) {
            const auto half = static_cast<std::ptrdiff_t>(framed.size() / 2);
            queue_.push_back({OSCBytes(framed.begin(), framed.begin() + half), false});
            queue_.push_back({OSCBytes(framed.begin() + half, framed.end()), true});
        } else {
            queue_.push_back({std::move(framed), false});
        }
        if (!writing_) writeNext();
    }

    void writeNext() {
        if (queue_.empty() || finished_) {
            writing_ = false;
            return;
        }
        writing_ = true;
        if (queue_.front().pauseFirst) {
            queue_.front().pauseFirst = false;
            pause_.expires_after(server_.options_.splitPause);
            pause_.async_wait([self = shared_from_this()](std::error_code error) {
                if (alive_expired(self) || error) return;
                self->writeNext();
            });
            return;
        }
        asio::async_write(socket_, asio::buffer(queue_.front().bytes),
                          [self = shared_from_this()](std::error_code error, std::size_t) {
                              if (alive_expired(self)) return;
                              if (error) {
                                  self->finish();
                                  return;
                              }
                              self->queue_.pop_front();
                              self->writeNext();
                          });
    }

    SimulatorServer& server_;
    std::weak_ptr<bool> alive_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer pause_;
    std::string peer_;
    std::array<std::uint8_t, 4096> buffer_{};
    StreamFrameReader reader_;
    std::deque<PendingWrite> queue_;
    bool writing_ = false;
    bool finished_ = false;
};

SimulatorServer::SimulatorServer(asio::io_context& io, ConsoleSimulator& simulator, SimulatorLog& log,
                                 SimulatorServerOptions options)
    : io_(io), simulator_(simulator), log_(log), options_(std::move(options)), acceptor_(io) {}

SimulatorServer::~SimulatorServer() {
    stop();
    alive_.reset();
}

Result<std::uint16_t, std::string> SimulatorServer::start() {
    std::error_code error;
    asio::ip::tcp::resolver resolver(io_);
    const auto endpoints = resolver.resolve(options_.host, std::to_string(options_.port),
                                            asio::ip::tcp::resolver::passive, error);
    if (error || endpoints.empty()) {
        return fail("cannot resolve " + options_.host + ": " + (error ? error.message() : "no address"));
    }
    const asio::ip::tcp::endpoint endpoint = endpoints.begin()->endpoint();
    acceptor_.open(endpoint.protocol(), error);
    if (!error) acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
    if (!error) acceptor_.bind(endpoint, error);
    if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        std::error_code ignored;
        acceptor_.close(ignored);
        return fail("cannot listen on " + options_.host + ":" + std::to_string(options_.port) + ": " +
                    error.message());
    }
    const std::uint16_t port = acceptor_.local_endpoint(error).port();
    log_.listening(options_.host, port);
    accept();
    return port;
}

void SimulatorServer::stop() {
    std::error_code ignored;
    acceptor_.close(ignored);
    // Closing makes each connection's pending read fail, which removes it.
    for (const auto& [key, weak] : connections_) {
        if (const auto connection = weak.lock()) connection->close();
    }
}

void SimulatorServer::accept() {
    acceptor_.async_accept([this, alive = std::weak_ptr<bool>(alive_)](std::error_code error,
                                                                        asio::ip::tcp::socket socket) {
        if (alive.expired() || !acceptor_.is_open()) return;
        if (!error) {
            auto connection = std::make_shared<Connection>(*this, std::move(socket));
            connections_[connection.get()] = connection;
            connection->start();
        }
        accept();
    });
}

void SimulatorServer::forget(const Connection* connection) { connections_.erase(connection); }

}  // namespace lanternwick::sim
