#pragma once
// The model radio behind a pseudo-terminal, answering in real time from a
// thread of its own: the far end of the serial line for end-to-end tests.

#include "fake_radio.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace qv7m::test {

inline LineTime steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class PtyPeer {
public:
    PtyPeer() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        slavePath = ::ptsname(master_);
        // Holding the terminal open keeps the master from seeing a hang-up
        // while the program has its end closed; raw, so that nothing echoes.
        holder_ = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(holder_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(holder_, TCSANOW, &tio);
    }
    ~PtyPeer() { vanish(); }

    bool ok() const { return holder_ >= 0; }

    // Runs `f` on the radio model with the peer's thread kept out.
    template <typename F>
    auto withRadio(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(radio_);
    }

    void start() { thread_ = std::thread([this] { run(); }); }

    // Bytes that turn up on the line without being asked for.
    void writeRaw(const char* bytes, size_t n) { (void)!::write(master_, bytes, n); }

    // The far end goes away, as a pulled cable does.
    void vanish() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) ::close(master_);
        if (holder_ >= 0) ::close(holder_);
        master_ = holder_ = -1;
    }

    std::string slavePath;

private:
    void run() {
        unsigned char buffer[256];
        while (!stop_) {
            LineTime now = steadyNow();
            LineTime next = now + 20 * kMillisecond;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                while (!radio_.outgoing.empty() && radio_.outgoing.front().at <= now) {
                    const unsigned char v = radio_.outgoing.front().value;
                    radio_.outgoing.erase(radio_.outgoing.begin());
                    (void)!::write(master_, &v, 1);
                }
                if (!radio_.outgoing.empty()) next = std::min(next, radio_.outgoing.front().at);
            }
            const LineTime wait = std::max<LineTime>(0, next - now);
            const timespec timeout{time_t(wait / 1000000000), long(wait % 1000000000)};
            pollfd p{master_, POLLIN, 0};
            if (::ppoll(&p, 1, &timeout, nullptr) <= 0) continue;
            if (!(p.revents & POLLIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            now = steadyNow();
            std::lock_guard<std::mutex> lock(mutex_);
            for (ssize_t i = 0; i < n; ++i) radio_.receive(buffer[i], now);
        }
    }

    int master_ = -1;
    int holder_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    FakeRadio radio_;
};

}  // namespace qv7m::test
