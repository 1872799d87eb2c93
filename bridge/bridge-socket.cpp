// The bridge's socket layer over the POSIX calls: the engine connects as a TCP client to
// the peer named by -b ("host" or "host:port", port 8200 by default), then sends and
// receives whole messages with blocking calls. A send never raises SIGPIPE: a peer that
// has gone away gives the send-failure FATAL instead of a silent death, or, where the
// caller allows for it, ends the session. A connection failure names the peer's address
// and the system's reason.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bridge/bridge-int.h"
#include "bridge/bridge.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/options.h"

namespace vexlar {

int _sockfd = -1;
int _err_num = 0;

// Stores the error number and ends the run with the text, that number, the system's reason
// and the peer's address.
static void connectFailed(const char* text, int err, const char* host, int port)
{
    _err_num = err;
    error(FATAL, __FILE__, __LINE__, text, intstr(err), " (", strerror(err), ") for peer ", host, " port ",
          intstr(port), "");
}

// Splits "host[:port]"; the port text may be decimal, 0x hexadecimal or 0 octal.
static void splitAddress(const char* address, char* host, int* port)
{
    const char* colon = std::strchr(address, ':');
    size_t hostLen = colon ? (size_t)(colon - address) : std::strlen(address);
    if (hostLen > BRIDGE_HOST_MAX) {
        error(FATAL, __FILE__, __LINE__, "  Invalid address: ", address, "");
        hostLen = 0;   // not reached: FATAL ends the run
    }
    std::memcpy(host, address, hostLen);
    host[hostLen] = '\0';
    *port = BRIDGE_DEFAULT_PORT;
    if (!colon) return;
    int32_t v;
    if (longcon(colon + 1, &v) != 0 || v < 0 || v > 65535)
        error(FATAL, __FILE__, __LINE__, "  Invalid port: ", address, "");
    *port = v;
}

void bridge_ConnectToServer(const char* address)
{
    ulog_printf("----- bridge_ConnectToServer() ----- begin:\n");
    char host[BRIDGE_HOST_MAX + 1];
    int port;
    splitAddress(address, host, &port);
    ulog_printf("  server ip address = %s\n", host);
    ulog_printf("  listening port    = %d\n", port);

    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(host, intstr(port), &hints, &found);
    if (rc != 0) {
        // The resolver's own code tells more than errno, which it need not set.
        _err_num = rc;
        error(FATAL, __FILE__, __LINE__, "  getaddrinfo() failed w/ error # ", intstr(rc), " (",
              gai_strerror(rc), ") for peer ", host, " port ", intstr(port), "");
    }
    _sockfd = socket(hints.ai_family, hints.ai_socktype, 0);
    if (_sockfd < 0) {
        freeaddrinfo(found);
        connectFailed("  socket() failed w/ error # ", errno, host, port);
    }
    if (connect(_sockfd, found->ai_addr, found->ai_addrlen) != 0) {
        int err = errno;
        freeaddrinfo(found);
        connectFailed("  connect() failed w/ error # ", err, host, port);
    }
    freeaddrinfo(found);
    sockaddr_in local = {};
    socklen_t len = sizeof local;
    if (getsockname(_sockfd, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        int err = errno;
        ulog_printf("getsockname() failed w/ error: %d\n", err);
        connectFailed("getsockname() failed w/ error # ", err, host, port);
    }
    ulog_printf("  client (VexlarX) port = %u\n", (unsigned)ntohs(local.sin_port));
    int one = 1;
    if (setsockopt(_sockfd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0)
        connectFailed("setsockopt(TCP_NODELAY) failed w/ error # ", errno, host, port);
    _doBridge = 2;
    ulog_printf("----- bridge_ConnectToServer() ----- end\n");
}

int bridge_SendAll(int sock, const unsigned char* data, int* len, bool peerMayHaveGone)
{
    if (bridge_echo() > 1) ulog_printf("---------- bridge_SendAll() ---\n");
    int total = 0;
    while (total < *len) {
        ssize_t n = send(sock, data + total, (size_t)(*len - total), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            _err_num = errno;
            if (peerMayHaveGone && (_err_num == EPIPE || _err_num == ECONNRESET)) return -1;
            char numbers[3][12];   // three numbers: more than the ring of intstr holds
            snprintf(numbers[0], sizeof numbers[0], "%d", _err_num);
            snprintf(numbers[1], sizeof numbers[1], "%d", *len);
            snprintf(numbers[2], sizeof numbers[2], "%d", total);
            error(FATAL, __FILE__, __LINE__, "Bridge: send() failed w/ error # ", numbers[0],
                  " *len= ", numbers[1], " total= ", numbers[2], "");
            return -1;
        }
        total += (int)n;
    }
    *len = total;
    if (bridge_echo() > 1) ulog_printf("---------- End bridge_SendAll() sending %d bytes\n", total);
    return 0;
}

// Waits until the socket has something to read: false when the user asks to stop first.
// Each poll is bounded, so that a request that comes just before it is seen as well; a
// signal ends a poll whatever the handler's flags. A receive timeout set on the socket
// still bounds the whole wait (recv then reports it).
static bool peerSpeaks(int sock)
{
    enum { POLL_MS = 100 };
    timeval limit = {};
    socklen_t len = sizeof limit;
    long left = -1;   // milliseconds, -1 without a limit
    if (getsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &limit, &len) == 0 && (limit.tv_sec || limit.tv_usec))
        left = limit.tv_sec * 1000L + limit.tv_usec / 1000;
    for (;;) {
        if (_stopRequested) return false;
        pollfd p{sock, POLLIN, 0};
        int r = poll(&p, 1, POLL_MS);
        if (r > 0 || (r < 0 && errno != EINTR)) return true;   // recv reports what came
        if (left >= 0 && (left -= POLL_MS) <= 0) return true;
    }
}

int bridge_ReadAll(int sock, unsigned char* buf, int size, bool endAllowed)
{
    if (bridge_echo() > 1) ulog_printf("---------- bridge_ReadAll() ---\n");
    int got = 0;
    ssize_t n = 0;
    while (got < size) {
        if (!peerSpeaks(sock)) return BRIDGE_STOP;
        n = recv(sock, buf + got, (size_t)(size - got), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0) _err_num = errno;
            // A peer that closes between messages ends the session; a peer process that
            // ends with our last message unread resets the connection instead.
            bool ended = endAllowed && got == 0 && (n == 0 || _err_num == ECONNRESET);
            if (!ended && n == 0)
                error(ERROR, __FILE__, __LINE__, "Socket recv() returned 0 bytes, closed by client.", "");
            else if (!ended)
                error(ERROR, __FILE__, __LINE__, "Socket recv() failed, returned SOCKET_ERROR ",
                      intstr((int)n), "");
            close(sock);
            if (sock == _sockfd) _sockfd = -1;
            return ended ? -2 : -1;
        }
        got += (int)n;
    }
    if (bridge_echo() > 1)
        ulog_printf("Bridge: received %d bytes via recv()\n---------- End bridge_ReadAll()\n", (int)n);
    return 0;
}

}  // namespace vexlar
