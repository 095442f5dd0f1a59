// A slow link on one machine: forwards 127.0.0.1:IN to 127.0.0.1:OUT and
// holds every chunk it reads, in each direction, for DELAY ms before sending
// it on, so a request and its answer take 2 * DELAY ms longer. With IN 0 it
// takes a free port and prints it on the first line of its output.
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kMaxConns = 32, kChunk = 64 * 1024 };

struct chunk {
    struct chunk* next;
    long long due;  // ns, CLOCK_MONOTONIC
    size_t len, sent;
    char data[];
};

// One direction: what is read from `from` is queued and later written to `to`.
struct way {
    int from, to;
    int eof;
    struct chunk *head, *tail;
};

struct conn {
    int used;
    struct way way[2];  // client to server, server to client
};

static struct conn conns[kMaxConns];
static long long delayNs;

static long long now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

static int socketTo(int port, int listening) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in a = {.sin_family = AF_INET, .sin_port = htons((unsigned short)port)};
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (listening ? bind(fd, (struct sockaddr*)&a, sizeof a) != 0 || listen(fd, 16) != 0
                  : connect(fd, (struct sockaddr*)&a, sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Nagle's algorithm would add its own wait on top of ours.
static void tune(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

static void drop(struct conn* c) {
    for (int w = 0; w < 2; ++w) {
        while (c->way[w].head) {
            struct chunk* next = c->way[w].head->next;
            free(c->way[w].head);
            c->way[w].head = next;
        }
    }
    close(c->way[0].from);
    close(c->way[0].to);
    memset(c, 0, sizeof *c);
}

// Reads what is there into a new chunk; false when the connection is to go.
static int readInto(struct way* w) {
    struct chunk* k = malloc(sizeof *k + kChunk);
    if (!k)
        return 0;
    const ssize_t n = read(w->from, k->data, kChunk);
    if (n <= 0) {
        free(k);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 1;
        w->eof = 1;
        if (!w->head)
            shutdown(w->to, SHUT_WR);
        return n == 0;
    }
    *k = (struct chunk){.due = now() + delayNs, .len = (size_t)n};
    if (w->tail)
        w->tail->next = k;
    else
        w->head = k;
    w->tail = k;
    return 1;
}

// Sends what is due; false when the connection is to go.
static int writeDue(struct way* w) {
    const long long t = now();
    while (w->head && w->head->due <= t) {
        struct chunk* k = w->head;
        const ssize_t n = send(w->to, k->data + k->sent, k->len - k->sent, MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        k->sent += (size_t)n;
        if (k->sent < k->len)
            return 1;
        w->head = k->next;
        if (!w->head)
            w->tail = NULL;
        free(k);
    }
    if (w->eof && !w->head)
        shutdown(w->to, SHUT_WR);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s PORT_IN PORT_OUT DELAY_MS\n", argv[0]);
        return 2;
    }
    const int portOut = atoi(argv[2]);
    delayNs = (long long)(atof(argv[3]) * 1e6);
    signal(SIGPIPE, SIG_IGN);
    const int listener = socketTo(atoi(argv[1]), 1);
    if (listener < 0) {
        perror("listen");
        return 1;
    }
    struct sockaddr_in bound;
    socklen_t boundLen = sizeof bound;
    getsockname(listener, (struct sockaddr*)&bound, &boundLen);
    printf("%d\n", ntohs(bound.sin_port));
    fflush(stdout);

    for (;;) {
        // The listener, then each connection's two sockets: fds[1 + 2c + w]
        // is way[w].from, which is also the other way's `to`.
        struct pollfd fds[1 + 2 * kMaxConns];
        long long wake = -1;
        const long long t = now();
        fds[0] = (struct pollfd){.fd = listener, .events = POLLIN};
        for (int c = 0; c < kMaxConns; ++c) {
            for (int w = 0; w < 2; ++w) {
                struct pollfd* p = &fds[1 + 2 * c + w];
                *p = (struct pollfd){.fd = -1};
                if (!conns[c].used)
                    continue;
                const struct way* in = &conns[c].way[w];
                const struct way* out = &conns[c].way[1 - w];
                p->fd = in->from;
                p->events = in->eof ? 0 : POLLIN;
                if (out->head && out->head->due <= t)
                    p->events |= POLLOUT;
                else if (out->head && (wake < 0 || out->head->due < wake))
                    wake = out->head->due;
            }
        }
        struct timespec timeout = {0, 0};
        if (wake > t)
            timeout = (struct timespec){(wake - t) / 1000000000LL, (wake - t) % 1000000000LL};
        if (ppoll(fds, 1 + 2 * kMaxConns, wake < 0 ? NULL : &timeout, NULL) < 0 &&
            errno != EINTR) {
            perror("poll");
            return 1;
        }
        for (int c = 0; c < kMaxConns; ++c) {
            struct conn* k = &conns[c];
            int keep = 1;
            for (int w = 0; w < 2 && k->used && keep; ++w) {
                const short got = fds[1 + 2 * c + w].revents;
                if (!k->way[w].eof && (got & (POLLIN | POLLHUP | POLLERR)))
                    keep = readInto(&k->way[w]);
            }
            for (int w = 0; w < 2 && k->used && keep; ++w) keep = writeDue(&k->way[w]);
            if (k->used && (!keep || (k->way[0].eof && k->way[1].eof && !k->way[0].head &&
                                      !k->way[1].head)))
                drop(k);
        }
        if (fds[0].revents & POLLIN) {
            const int client = accept4(listener, NULL, NULL, SOCK_CLOEXEC);
            const int server = client < 0 ? -1 : socketTo(portOut, 0);
            int c = 0;
            while (c < kMaxConns && conns[c].used) ++c;
            if (client < 0 || server < 0 || c == kMaxConns) {
                if (client >= 0)
                    close(client);
                if (server >= 0)
                    close(server);
                continue;
            }
            tune(client);
            tune(server);
            conns[c] = (struct conn){
                .used = 1, .way = {{.from = client, .to = server}, {.from = server, .to = client}}};
        }
    }
}
