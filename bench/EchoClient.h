#pragma once

/* The client half of the benchmark's floor: one line out, the echoed line back, with nothing
 * between the two system calls and the clock. */

#ifdef __cplusplus
extern "C" {
#endif

/* A connected socket to 127.0.0.1:port, or -1. */
int echo_connect(unsigned short port);
/* Sends the line (no terminator) and waits for it to come back; nanoseconds, or -1 on failure. */
long long echo_round_trip(int fd, const char* line, int length);
void echo_close(int fd);

#ifdef __cplusplus
}
#endif
