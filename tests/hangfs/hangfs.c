// A small FUSE file system for the tests: a tree whose folder "hang" never
// answers a listing until a file named by the second argument exists, as a
// dead network share or a FUSE driver gone quiet would leave it. It ignores
// the kernel's interrupts, as such a driver may, so a reader killed in that
// listing is only let go by its answer. Once a listing of "hang" waits, the
// file RELEASE-FILE.held exists.
//
//   hangfs MOUNTPOINT RELEASE-FILE
//
// The tree: .r1  a/.a1  a/a2  hang/.h1  z/.z1
#define FUSE_USE_VERSION 31

#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char* releaseFile;
static char heldFile[4096];

static const char* const kFolders[] = {"/", "/a", "/hang", "/z"};
static const char* const kFiles[] = {"/.r1", "/a/.a1", "/a/a2", "/hang/.h1", "/z/.z1"};

static int isIn(const char* path, const char* const* list, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (strcmp(path, list[i]) == 0)
            return 1;
    return 0;
}

static int getAttributes(const char* path, struct stat* st, struct fuse_file_info* fi) {
    (void)fi;
    memset(st, 0, sizeof *st);
    if (isIn(path, kFolders, sizeof kFolders / sizeof *kFolders)) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (isIn(path, kFiles, sizeof kFiles / sizeof *kFiles)) {
        st->st_mode = S_IFREG | 0644;
        st->st_nlink = 1;
        return 0;
    }
    return -ENOENT;
}

static int readFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
    (void)offset;
    (void)fi;
    (void)flags;
    if (!isIn(path, kFolders, sizeof kFolders / sizeof *kFolders))
        return -ENOENT;
    if (strcmp(path, "/hang") == 0) {
        close(open(heldFile, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        while (access(releaseFile, F_OK) != 0)
            usleep(10000);
    }
    fill(buffer, ".", NULL, 0, 0);
    fill(buffer, "..", NULL, 0, 0);
    const size_t length = strlen(path);
    for (size_t i = 0; i < sizeof kFolders / sizeof *kFolders + sizeof kFiles / sizeof *kFiles;
         ++i) {
        const int folder = i < sizeof kFolders / sizeof *kFolders;
        const char* entry =
            folder ? kFolders[i] : kFiles[i - sizeof kFolders / sizeof *kFolders];
        // Entries directly inside `path`.
        const char* rest = length == 1 ? entry + 1 : entry + length + 1;
        if (strcmp(entry, "/") == 0 ||
            (length > 1 && (strncmp(entry, path, length) != 0 || entry[length] != '/')) ||
            strchr(rest, '/'))
            continue;
        struct stat st = {0};
        st.st_mode = folder ? S_IFDIR : S_IFREG;
        fill(buffer, rest, &st, 0, 0);
    }
    return 0;
}

static const struct fuse_operations kOperations = {
    .getattr = getAttributes,
    .readdir = readFolder,
};

int main(int argc, char* argv[]) {
    if (argc != 3) {
        fprintf(stderr, "usage: hangfs MOUNTPOINT RELEASE-FILE\n");
        return 2;
    }
    releaseFile = argv[2];
    snprintf(heldFile, sizeof heldFile, "%s.held", releaseFile);
    char* args[] = {argv[0], "-f", argv[1], NULL};
    return fuse_main(3, args, &kOperations, NULL);
}
