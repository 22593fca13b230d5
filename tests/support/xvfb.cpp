#include "xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace testsupport {

XvfbServer::XvfbServer(const std::string &screen) {
    int fds[2];
    if (pipe(fds) != 0 || (pid_ = fork()) < 0) {
        error_ = "cannot start a process";
        return;
    }
    if (pid_ == 0) {
        close(fds[0]);
        const int devnull = open("/dev/null", O_RDWR);
        for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(devnull, fd);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes its display number to the pipe once it accepts clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    for (char c; poll(&p, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
    close(fds[0]);
    if (number.empty()) {
        error_ = "Xvfb did not start (is the xvfb package installed?)";
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return;
    }
    display_ = ":" + number;
    if (const char *old = std::getenv("DISPLAY")) previousDisplay_ = old, hadDisplay_ = true;
    setenv("DISPLAY", display_.c_str(), 1);
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (display_.empty()) return;
    hadDisplay_ ? setenv("DISPLAY", previousDisplay_.c_str(), 1) : unsetenv("DISPLAY");
}

}  // namespace testsupport
