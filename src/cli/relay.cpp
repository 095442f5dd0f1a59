#include "cli/relay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tarnwell {

namespace {

// In the child: the pipe its output goes through, as frames of a stream
// byte (1, 2, or 0 for the final status), a length, and the bytes.
int frames = -1;
// In the parent.
volatile pid_t child = 0;
const char* erase = nullptr;

[[noreturn]] void end(int status) {
    if (child > 0)
        ::kill(child, SIGKILL);
    if (erase && ::write(2, erase, std::strlen(erase)) < 0) {
    }
    ::_exit(status);
}

void leave(int signal) {
    end(128 + signal);
}

// False when the other end has gone.
bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

// False at the end of the pipe, even inside what was asked for.
bool readAll(int fd, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

struct Header {
    std::uint32_t stream;
    std::uint32_t size;
};
constexpr std::uint32_t kLargestFrame = 1 << 20;

void frame(int stream, const char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const Header h{std::uint32_t(stream),
                       std::uint32_t(std::min<std::size_t>(size - done, kLargestFrame))};
        if (!writeAll(frames, reinterpret_cast<const char*>(&h), sizeof h) ||
            !writeAll(frames, data + done, h.size))
            ::_exit(1);
        done += h.size;
    }
}

// Copies one frame to where it belongs; the final status, once it comes.
// False at the end of the pipe.
bool copyFrame(int from, int& status) {
    static char buffer[kLargestFrame];
    Header h;
    if (!readAll(from, reinterpret_cast<char*>(&h), sizeof h) || h.size > sizeof buffer ||
        !readAll(from, buffer, h.size))
        return false;
    if (h.stream == 0)
        status = static_cast<unsigned char>(buffer[0]);
    // Our own output gone: a closed pipe ends us before this unless SIGPIPE
    // was ignored by whoever started us; end as quietly.
    else if (!writeAll(h.stream, buffer, h.size))
        end(errno == EPIPE ? 128 + SIGPIPE : 1);
    return true;
}

// What else the child wrote on its own descriptors (a library's warning).
bool copyStray(int from) {
    char buffer[4096];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    return n > 0 && writeAll(2, buffer, std::size_t(n));
}

}  // namespace

void writeStream(int stream, const char* data, std::size_t size) {
    if (frames >= 0)
        frame(stream, data, size);
    else if (!writeAll(stream, data, size))
        ::_exit(1);
}

int runInChild(const std::function<int()>& work, const char* eraseOnSignal) {
    int framePipe[2], strayPipe[2];
    if (::pipe2(framePipe, O_CLOEXEC) != 0 || ::pipe2(strayPipe, O_CLOEXEC) != 0) {
        std::perror("tarnwell-find: pipe");
        return 1;
    }
    erase = eraseOnSignal;
    struct sigaction action {};
    action.sa_handler = leave;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("tarnwell-find: fork");
        return 1;
    }
    if (pid == 0) {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        // Nothing it finds matters once the parent has gone, however it went.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
        // The terminal or the caller's pipe is held by the parent alone.
        ::dup2(strayPipe[1], 1);
        ::dup2(strayPipe[1], 2);
        ::close(framePipe[0]);
        ::close(strayPipe[0]);
        ::close(strayPipe[1]);
        frames = framePipe[1];
        const char code = static_cast<char>(work());
        frame(0, &code, 1);
        ::_exit(static_cast<unsigned char>(code));
    }
    child = pid;
    ::close(framePipe[1]);
    ::close(strayPipe[1]);
    ::fcntl(strayPipe[0], F_SETFL, O_NONBLOCK);
    // The last one: our output's reader, whose end shows as an error on a
    // pipe at once, rather than at our next write, which may be far off.
    pollfd fds[3] = {{framePipe[0], POLLIN, 0}, {strayPipe[0], POLLIN, 0}, {1, 0, 0}};
    int status = -1;
    while (status < 0 && fds[0].fd >= 0) {
        if (::poll(fds, 3, -1) < 0)
            continue;
        if (fds[2].revents & POLLERR)
            end(128 + SIGPIPE);
        if (fds[1].revents && !copyStray(fds[1].fd))
            fds[1].fd = -1;
        if (fds[0].revents && !copyFrame(fds[0].fd, status))
            fds[0].fd = -1;
    }
    // The status is the child's last word, but a reader it left stuck in
    // the kernel may keep it from exiting: it is not waited for.
    if (status >= 0) {
        char buffer[4096];
        ssize_t n;
        while (fds[1].fd >= 0 && (n = ::read(fds[1].fd, buffer, sizeof buffer)) > 0 &&
               writeAll(2, buffer, std::size_t(n))) {
        }
        return status;
    }
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    return WIFSIGNALED(wstatus) ? 128 + WTERMSIG(wstatus) : WEXITSTATUS(wstatus);
}

}  // namespace tarnwell
