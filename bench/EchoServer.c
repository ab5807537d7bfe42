/* roomcal-echo: the floor of the TCP benchmark. A line echo server in plain POSIX calls, so that
 * a round trip through it costs what the kernel and the loopback interface cost and nothing more.
 * It listens on 127.0.0.1 (port 0 picks a free one), prints "listening on 127.0.0.1:PORT" and
 * sends every complete line back as it arrives; one connection at a time. */

#define _GNU_SOURCE
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static int write_all(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0)
            return -1;
        data += written;
        size -= (size_t)written;
    }
    return 0;
}

static void echo_lines(int fd)
{
    char buffer[8192];
    size_t kept = 0;
    for (;;) {
        const ssize_t got = read(fd, buffer + kept, sizeof buffer - kept);
        if (got <= 0)
            return;
        kept += (size_t)got;
        const char* end = (const char*)memrchr(buffer, '\n', kept);
        if (!end) {
            if (kept == sizeof buffer)
                kept = 0; /* no line of this protocol is that long */
            continue;
        }
        const size_t lines = (size_t)(end - buffer) + 1;
        if (write_all(fd, buffer, lines) != 0)
            return;
        memmove(buffer, buffer + lines, kept - lines);
        kept -= lines;
    }
}

int main(int argc, char** argv)
{
    const int port = argc > 1 ? atoi(argv[1]) : 0;
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    struct sockaddr_in address;
    socklen_t length = sizeof address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)port);
    if (server < 0 || setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(server, (struct sockaddr*)&address, sizeof address) != 0 || listen(server, 4) != 0 ||
        getsockname(server, (struct sockaddr*)&address, &length) != 0) {
        perror("roomcal-echo");
        return 1;
    }
    printf("listening on 127.0.0.1:%u\n", (unsigned)ntohs(address.sin_port));
    fflush(stdout);
    for (;;) {
        const int client = accept(server, NULL, NULL);
        if (client < 0)
            continue;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        echo_lines(client);
        close(client);
    }
}
