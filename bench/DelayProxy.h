#pragma once

// A small TCP proxy for benchmarks over a link: it forwards 127.0.0.1:port() to a server on
// 127.0.0.1, holds every chunk back by a delay each way, and counts round trips (each time a
// client sends after it has heard from the server). It runs in a process of its own, so that the
// benchmark may fork its runs; its counter lives in shared memory.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <utility>
#include <vector>

class DelayProxy {
public:
    DelayProxy(int serverPort, std::chrono::microseconds delay) {
        turns_ = static_cast<long*>(::mmap(nullptr, sizeof(long), PROT_READ | PROT_WRITE,
                                           MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        *turns_ = 0;
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 16);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        child_ = ::fork();
        if (child_ == 0) {
            serve(serverPort, delay);
            ::_exit(0);
        }
        ::close(listen_);
    }
    ~DelayProxy() {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
        ::munmap(turns_, sizeof(long));
    }
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    int port() const { return port_; }
    long roundTrips() const { return *turns_; }
    void reset() { *turns_ = 0; }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point due;
        std::vector<char> bytes;
    };
    struct Link {
        int client = -1;
        int server = -1;
        bool heard = true; // the client's first message is a turn
        bool closed = false;
        std::deque<Chunk> toServer, toClient;
    };

    static sockaddr_in loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    void serve(int serverPort, std::chrono::microseconds delay) {
        std::vector<Link> links;
        const int on = 1;
        for (;;) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (const Link& l : links) {
                fds.push_back({l.client, POLLIN, 0});
                fds.push_back({l.server, POLLIN, 0});
            }
            Clock::duration wait = std::chrono::milliseconds(100);
            const Clock::time_point now = Clock::now();
            for (const Link& l : links) {
                for (const auto* queue : {&l.toServer, &l.toClient}) {
                    if (!queue->empty())
                        wait = std::max(Clock::duration::zero(),
                                        std::min(wait, queue->front().due - now));
                }
            }
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            const timespec timeout{static_cast<time_t>(ns / 1000000000),
                                   static_cast<long>(ns % 1000000000)};
            ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
            if ((fds[0].revents & POLLIN) != 0) {
                const int client = ::accept(listen_, nullptr, nullptr);
                const int server = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in address = loopback(serverPort);
                ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address);
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                Link link;
                link.client = client;
                link.server = server;
                links.push_back(std::move(link));
                continue;
            }
            for (size_t i = 0; i < links.size(); ++i) {
                Link& l = links[i];
                char buffer[65536];
                for (const bool fromClient : {true, false}) {
                    if ((fds[1 + 2 * i + (fromClient ? 0 : 1)].revents & (POLLIN | POLLHUP)) == 0)
                        continue;
                    const ssize_t n =
                        ::read(fromClient ? l.client : l.server, buffer, sizeof buffer);
                    if (n <= 0) {
                        l.closed = true;
                        continue;
                    }
                    if (fromClient && l.heard)
                        ++*turns_;
                    l.heard = !fromClient;
                    (fromClient ? l.toServer : l.toClient)
                        .push_back({Clock::now() + delay, std::vector<char>(buffer, buffer + n)});
                }
                for (const bool toServer : {true, false}) {
                    auto& queue = toServer ? l.toServer : l.toClient;
                    while (!queue.empty() && queue.front().due <= Clock::now()) {
                        const std::vector<char>& bytes = queue.front().bytes;
                        (void)!::write(toServer ? l.server : l.client, bytes.data(), bytes.size());
                        queue.pop_front();
                    }
                }
            }
            for (size_t i = links.size(); i-- > 0;) {
                if (links[i].closed) {
                    ::close(links[i].client);
                    ::close(links[i].server);
                    links.erase(links.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
        }
    }

    long* turns_ = nullptr;
    int listen_ = -1;
    int port_ = 0;
    pid_t child_ = 0;
};
