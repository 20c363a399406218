#pragma once
// A pseudo-terminal pair for tests and benchmarks: the slave path goes to the
// port under test, the master side plays the printer. The pair starts in raw
// mode, and the slave stays open here so that its line settings survive the
// port closing it. An optional peer thread answers what the port sends,
// seeing the baud rate and flow control the port set.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/ByteArray.h"
#include "ports/SerialLine.h"

namespace carillon::testing {

class PtyPair {
public:
    // Called with each chunk the port sent and the line settings in force
    // when it was read; returns the printer's answer (may be empty).
    using Responder = std::function<ByteArray(const ByteArray& received, const serial::LineState& line)>;

    struct Chunk {
        ByteArray bytes;
        serial::LineState line;
    };

    PtyPair() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
        slavePath_ = name;
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
        stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }

    ~PtyPair() {
        StopPeer();
        if (master_ != -1) ::close(master_);
        if (slave_ != -1) ::close(slave_);
        if (stop_ != -1) ::close(stop_);
    }

    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int SlaveFd() const { return slave_; }

    // The slave's line settings as the master sees them.
    serial::LineState Line() const {
        serial::LineState line;
        serial::ReadLineState(master_, &line);
        return line;
    }

    // Starts the printer thread. Everything it reads is also kept (Received).
    void StartPeer(Responder responder) {
        StopPeer();
        responder_ = std::move(responder);
        peer_ = std::thread([this] { PeerLoop(); });
    }

    void StopPeer() {
        if (!peer_.joinable()) return;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stop_, &one, sizeof one);
        peer_.join();
        std::uint64_t count = 0;
        n = ::read(stop_, &count, sizeof count);
    }

    // What the peer has read so far, in order.
    ByteArray Received() const {
        std::lock_guard lock(mutex_);
        ByteArray all;
        for (const auto& c : chunks_) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
        return all;
    }

    std::vector<Chunk> Chunks() const {
        std::lock_guard lock(mutex_);
        return chunks_;
    }

    // Waits until the peer has read at least count bytes.
    bool WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            std::size_t total = 0;
            for (const auto& c : chunks_) total += c.bytes.size();
            return total >= count;
        });
    }

    // Writes from the printer's side; false when not all of it went.
    bool Send(const ByteArray& bytes) { return WriteAll(bytes, std::chrono::milliseconds(2000)); }

    // Reads from the printer's side (no peer running) until count bytes came
    // or the time is up.
    ByteArray ReadMaster(std::size_t count, std::chrono::milliseconds timeout) {
        ByteArray got;
        auto end = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            std::uint8_t buf[4096];
            ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    // The printer goes away: its side of the pair closes.
    void CloseMaster() {
        StopPeer();
        if (master_ != -1) ::close(master_);
        master_ = -1;
    }

private:
    bool WriteAll(const ByteArray& bytes, std::chrono::milliseconds timeout) {
        std::size_t done = 0;
        auto end = std::chrono::steady_clock::now() + timeout;
        while (done < bytes.size()) {
            ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
        }
        return true;
    }

    void PeerLoop() {
        for (;;) {
            pollfd p[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
            int r = ::poll(p, 2, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 || (p[1].revents & POLLIN)) return;
            if (p[0].revents & POLLNVAL) return;
            std::uint8_t buf[4096];
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
                // The slave side is not open at the moment; wait for it.
                pollfd s{stop_, POLLIN, 0};
                if (::poll(&s, 1, 5) > 0) return;
                continue;
            }
            Chunk chunk{ByteArray(buf, buf + n), Line()};
            {
                std::lock_guard lock(mutex_);
                chunks_.push_back(chunk);
            }
            changed_.notify_all();
            ByteArray reply = responder_ ? responder_(chunk.bytes, chunk.line) : ByteArray{};
            if (!reply.empty()) WriteAll(reply, std::chrono::milliseconds(2000));
        }
    }

    int master_ = -1;
    int slave_ = -1;
    int stop_ = -1;
    std::string slavePath_;
    Responder responder_;
    std::thread peer_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Chunk> chunks_;
};

}  // namespace carillon::testing
