#include "EchoClient.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { LineLimit = 1024 };

static long long now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

int echo_connect(unsigned short port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    struct sockaddr_in address;
    if (fd < 0)
        return -1;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd, (struct sockaddr*)&address, sizeof address) != 0) {
        close(fd);
        return -1;
    }
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

long long echo_round_trip(int fd, const char* line, int length)
{
    char out[LineLimit + 1];
    char in[LineLimit + 1];
    int got = 0;
    if (length < 0 || length > LineLimit)
        return -1;
    memcpy(out, line, (size_t)length);
    out[length] = '\n';
    const long long start = now_ns();
    if (write(fd, out, (size_t)length + 1) != length + 1)
        return -1;
    /* The line usually comes back in one read; a split answer takes more. */
    while (got == 0 || in[got - 1] != '\n') {
        const ssize_t n = read(fd, in + got, sizeof in - (size_t)got);
        if (n <= 0 || got + n > length + 1)
            return -1;
        got += (int)n;
    }
    return now_ns() - start;
}

void echo_close(int fd)
{
    close(fd);
}
