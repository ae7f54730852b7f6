#include "xserver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvex::validate {

namespace {
volatile sig_atomic_t runningServer = 0;
}  // namespace

void XServer::stopRunning() {
    if (runningServer > 0) kill(static_cast<pid_t>(runningServer), SIGTERM);
}

XServer::~XServer() {
    runningServer = 0;
    if (server > 0) {
        kill(server, SIGTERM);
        int status = 0;
        waitpid(server, &status, 0);
    }
}

bool XServer::start(std::string& problem) {
    if (const char* display = std::getenv("DISPLAY"); display && *display) {
        name = display;
        return true;
    }
    // Xvfb writes the display number it chose to the descriptor given with -displayfd.
    // -noreset: between two checks no client is connected, and a server that resets
    // then refuses the next check's connection for a moment.
    int fds[2];
    if (pipe(fds) != 0) {
        problem = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        problem = std::string("cannot fork: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0", "1280x1024x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, 30000);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char c;
        const ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        int status = 0;
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
        problem = WIFEXITED(status) && WEXITSTATUS(status) == 127
                      ? "DISPLAY is not set and Xvfb is not installed (package xvfb)"
                      : "DISPLAY is not set and Xvfb did not start";
        return false;
    }
    server = pid;
    runningServer = pid;
    name = ":" + number;
    return true;
}

}  // namespace orvex::validate
