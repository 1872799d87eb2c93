// A small co-simulation peer for the tests: a listening TCP socket on 127.0.0.1 at an
// ephemeral port, message bytes built field by field (big-endian integers, native-order
// reals, NUL-ended names), and whole-message reads that give up after a timeout so that
// a test fails instead of hanging. Header-only.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bridgepeer {

// Message bytes in wire order.
struct Wire {
    std::string bytes;
    Wire& i(int32_t v)
    {
        uint32_t u = (uint32_t)v;
        const char b[4] = {(char)(u >> 24), (char)(u >> 16), (char)(u >> 8), (char)u};
        bytes.append(b, 4);
        return *this;
    }
    Wire& f(float v)
    {
        char b[4];
        std::memcpy(b, &v, 4);
        bytes.append(b, 4);
        return *this;
    }
    Wire& name(const char* s)
    {
        bytes.append(s, std::strlen(s) + 1);
        return *this;
    }
};

// Header "ACATMSG\0", length, type, version 10, then the body.
inline std::string message(int type, const Wire& body = Wire{}, int version = 10)
{
    Wire h;
    h.bytes.assign("ACATMSG\0", 8);
    h.i((int32_t)(20 + body.bytes.size())).i(type).i(version);
    return h.bytes + body.bytes;
}

inline int32_t beInt(const std::string& s, size_t off)
{
    const auto* b = reinterpret_cast<const unsigned char*>(s.data() + off);
    return (int32_t)((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]);
}

inline float leFloat(const std::string& s, size_t off)
{
    float v;
    std::memcpy(&v, s.data() + off, 4);
    return v;
}

inline bool waitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1;
}

// n bytes, or fewer when the peer closes or nothing comes within the timeout.
inline std::string readBytes(int fd, size_t n, int timeoutMs = 5000)
{
    std::string out;
    char buf[4096];
    while (out.size() < n && waitReadable(fd, timeoutMs)) {
        size_t want = n - out.size() < sizeof buf ? n - out.size() : sizeof buf;
        ssize_t got = recv(fd, buf, want, 0);
        if (got <= 0) break;
        out.append(buf, (size_t)got);
    }
    return out;
}

// One whole message (header and body); "" on timeout or close.
inline std::string readMessage(int fd, int timeoutMs = 5000)
{
    std::string h = readBytes(fd, 20, timeoutMs);
    if (h.size() < 20) return "";
    int32_t len = beInt(h, 8);
    if (len < 20 || len > (1 << 20)) return h;
    std::string body = readBytes(fd, (size_t)len - 20, timeoutMs);
    return h + body;
}

inline bool writeAll(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += (size_t)n;
    }
    return true;
}

// A listening socket on 127.0.0.1 at a port the system picks.
struct Listener {
    int fd = -1;
    int port = 0;
    Listener()
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd, 4) == 0
            && getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~Listener() { close(); }
    void close()
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port); }
    // The next connection, or -1 when none comes within the timeout.
    int accept(int timeoutMs = 10000)
    {
        if (!waitReadable(fd, timeoutMs)) return -1;
        return ::accept(fd, nullptr, nullptr);
    }
};

}  // namespace bridgepeer
