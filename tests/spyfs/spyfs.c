// A small FUSE file system for the tests: a read-only mirror of the folder
// SOURCE that writes down who asks it what, so a test can tell which threads
// touched a searched tree. Each request is one line "TID OP PATH" appended to
// LOG, TID being the asking thread (0 for the kernel's own, as releases). While
// a file named CONTROL exists each request, once written down, waits for its
// removal and ignores interrupts, as a share whose server went away would.
// The kernel checks the modes itself and caches nothing, so changes to SOURCE
// show at once and every step of every path walk reaches LOG.
//
//   spyfs SOURCE MOUNTPOINT LOG CONTROL      (stays in the foreground;
//   fusermount3 -u MOUNTPOINT ends it)
#define FUSE_USE_VERSION 31

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <fuse_lowlevel.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

static int sourceFd, logFd;
static const char* controlFile;

// Writes the request down in one write(), so lines from several threads never
// mix, then holds it while the dead switch is on. Returns the path relative to
// SOURCE for the *at calls.
static const char* spy(const char* op, const char* path) {
    char line[PATH_MAX + 64];
    const int length = snprintf(line, sizeof line, "%d %s %s\n", (int)fuse_get_context()->pid, op,
                                path ? path : "-");
    if (write(logFd, line, length < (int)sizeof line ? (size_t)length : sizeof line - 1) < 0)
        perror("spyfs: log");
    // Ending spyfs (SIGTERM) lets the held requests go, so that it can end.
    struct fuse_session* session = fuse_get_session(fuse_get_context()->fuse);
    while (access(controlFile, F_OK) == 0 && !fuse_session_exited(session))
        usleep(10000);
    return path && path[1] ? path + 1 : ".";
}

static int status(int result) { return result < 0 ? -errno : 0; }

static void* start(struct fuse_conn_info* conn, struct fuse_config* cfg) {
    (void)conn;
    cfg->use_ino = 1;  // The source's inode numbers, so they stay put.
    cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = 0;
    return NULL;
}

static int getAttributes(const char* path, struct stat* st, struct fuse_file_info* fi) {
    (void)fi;
    return status(fstatat(sourceFd, spy("getattr", path), st, AT_SYMLINK_NOFOLLOW));
}

static int readLink(const char* path, char* buffer, size_t size) {
    const ssize_t length = readlinkat(sourceFd, spy("readlink", path), buffer, size - 1);
    if (length < 0)
        return -errno;
    buffer[length] = '\0';
    return 0;
}

static int openFolder(const char* path, struct fuse_file_info* fi) {
    const int fd = openat(sourceFd, spy("opendir", path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* folder = fd < 0 ? NULL : fdopendir(fd);
    fi->fh = (uintptr_t)folder;
    return folder ? 0 : -errno;
}

static int readFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
    (void)flags;
    spy("readdir", path);
    DIR* folder = (DIR*)(uintptr_t)fi->fh;
    if (offset == 0)
        rewinddir(folder);
    for (struct dirent* entry; (errno = 0, entry = readdir(folder));) {
        struct stat st = {.st_ino = entry->d_ino, .st_mode = DTTOIF(entry->d_type)};
        if (fill(buffer, entry->d_name, &st, 0, 0))
            return -ENOMEM;
    }
    return -errno;
}

static int releaseFolder(const char* path, struct fuse_file_info* fi) {
    spy("releasedir", path);
    closedir((DIR*)(uintptr_t)fi->fh);
    return 0;
}

static int openFile(const char* path, struct fuse_file_info* fi) {
    const int fd = openat(sourceFd, spy("open", path), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    fi->fh = (uint64_t)fd;
    return fd < 0 ? -errno : 0;
}

static int readFile(const char* path, char* buffer, size_t size, off_t offset,
                    struct fuse_file_info* fi) {
    spy("read", path);
    const ssize_t length = pread((int)fi->fh, buffer, size, offset);
    return length < 0 ? -errno : (int)length;
}

// Answered rather than left unimplemented: the kernel stops sending what once
// failed with ENOSYS, and those calls would then go unseen.
static int flushFile(const char* path, struct fuse_file_info* fi) {
    (void)fi, spy("flush", path);
    return 0;
}

static int releaseFile(const char* path, struct fuse_file_info* fi) {
    spy("release", path);
    return status(close((int)fi->fh));
}

static int fileSystemStatus(const char* path, struct statvfs* st) {
    spy("statfs", path);
    return status(fstatvfs(sourceFd, st));
}

// No extended attributes, but asked each time all the same.
static int getExtended(const char* path, const char* name, char* value, size_t size) {
    (void)name, (void)value, (void)size, spy("getxattr", path);
    return -ENODATA;
}

static int listExtended(const char* path, char* list, size_t size) {
    (void)list, (void)size, spy("listxattr", path);
    return 0;
}

static const struct fuse_operations kOperations = {
    .init = start,
    .getattr = getAttributes,
    .readlink = readLink,
    .opendir = openFolder,
    .readdir = readFolder,
    .releasedir = releaseFolder,
    .open = openFile,
    .read = readFile,
    .flush = flushFile,
    .release = releaseFile,
    .statfs = fileSystemStatus,
    .getxattr = getExtended,
    .listxattr = listExtended,
};

int main(int argc, char* argv[]) {
    if (argc != 5) {
        fprintf(stderr, "usage: spyfs SOURCE MOUNTPOINT LOG CONTROL\n");
        return 2;
    }
    sourceFd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    logFd = open(argv[3], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (sourceFd < 0 || logFd < 0) {
        perror("spyfs");
        return 2;
    }
    controlFile = argv[4];
    char options[] = "ro,default_permissions,allow_other,fsname=spyfs";
    char* args[] = {argv[0], "-f", "-o", options, argv[2], NULL};
    return fuse_main(5, args, &kOperations, NULL);
}
