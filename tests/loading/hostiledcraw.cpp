// SPDX-License-Identifier: GPL-3.0-or-later
// A dcraw taken over by a hostile raw file, for the tests: run as "dcraw -e|-T FILE", it does
// what the one line of FILE asks and says what came of it, then fails, so that the viewer prints
// what it said.
//   read PATH     prints the file's first line
//   write PATH    creates the file
//   connect PORT  connects to the port on 127.0.0.1
//   signal PID    sends SIGTERM to the process
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    char what[16] = {};
    char target[4096] = {};
    FILE *plan = argc == 3 ? std::fopen(argv[2], "r") : nullptr;
    if (!plan || std::fscanf(plan, "%15s %4095s", what, target) != 2)
        return 2;
    char line[256] = {};
    bool done = false;
    if (std::strcmp(what, "read") == 0) {
        FILE *file = std::fopen(target, "r");
        done = file && std::fgets(line, sizeof line, file);
    } else if (std::strcmp(what, "write") == 0) {
        done = ::open(target, O_WRONLY | O_CREAT, 0600) >= 0;
    } else if (std::strcmp(what, "connect") == 0) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::atoi(target));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        done = fd >= 0 &&
               ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    } else if (std::strcmp(what, "signal") == 0) {
        done = ::kill(std::atoi(target), SIGTERM) == 0;
    }
    std::printf("%s: %s %s\n", what, done ? "done" : std::strerror(errno), line);
    return 1;
}
