#pragma once

// A deterministic synthetic tree for the search benchmarks: 5% folders, 95%
// small (empty) files, 10% of both with dot names, and a `.hidden` list in one
// folder of every thousand naming two of its visible files. Generated once per
// size and kept (a stamp file marks a complete tree).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnwell::bench {

struct Tree {
    std::string root;
    std::vector<std::string> hidden;    // every file we should list, sorted
    std::vector<std::string> dotNamed;  // the subset a dot-name search finds, sorted
};

inline void mustMakeDir(const std::string& p) {
    if (::mkdir(p.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error("mkdir " + p);
}

inline void mustTouch(const std::string& p, const std::string& content = {}) {
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("create " + p);
    if (!content.empty() && ::write(fd, content.data(), content.size()) < 0)
        throw std::runtime_error("write " + p);
    ::close(fd);
}

// entries: folders plus files; allHidden: every file gets a dot name.
inline Tree generateTree(const std::string& base, long entries, bool allHidden) {
    Tree t;
    t.root = base + "/tree-" + std::to_string(entries) + (allHidden ? "-allhidden" : "");
    const long folders = std::max(1L, entries / 20);
    const long files = entries - folders;
    const bool exists = ::access((t.root + ".complete").c_str(), F_OK) == 0;

    std::vector<std::string> folderPath(static_cast<size_t>(folders));
    folderPath[0] = t.root;
    if (!exists) {
        std::string cmd = "rm -rf '" + t.root + "'";
        if (std::system(cmd.c_str()) != 0)
            throw std::runtime_error("cannot clear " + t.root);
        mustMakeDir(base);
        mustMakeDir(t.root);
    }
    char name[32];
    for (long i = 1; i < folders; ++i) {
        const long parent = (i - 1) / 8;  // a tree eight wide, six or so deep
        std::snprintf(name, sizeof name, "%sd%06ld", i % 10 == 0 ? "." : "", i);
        folderPath[size_t(i)] = folderPath[size_t(parent)] + "/" + name;
        if (!exists)
            mustMakeDir(folderPath[size_t(i)]);
    }
    for (long j = 0; j < files; ++j) {
        const long folder = j % folders;
        const bool dot = allHidden || j % 10 == 0;
        std::snprintf(name, sizeof name, "%sf%07ld.txt", dot ? "." : "", j);
        const std::string path = folderPath[size_t(folder)] + "/" + name;
        if (!exists)
            mustTouch(path);
        if (dot) {
            t.hidden.push_back(path);
            t.dotNamed.push_back(path);
        }
    }
    // .hidden lists: name two visible files of the folder (the list itself is a dot file).
    for (long i = 0; i < folders; i += 1000) {
        std::string list;
        for (long j = i, named = 0; j < files && named < 2; j += folders) {
            if (allHidden || j % 10 == 0)
                continue;
            std::snprintf(name, sizeof name, "f%07ld.txt", j);
            list += std::string(name) + "\n";
            t.hidden.push_back(folderPath[size_t(i)] + "/" + name);
            ++named;
        }
        const std::string listPath = folderPath[size_t(i)] + "/.hidden";
        if (!exists)
            mustTouch(listPath, list);
        t.hidden.push_back(listPath);
        t.dotNamed.push_back(listPath);
    }
    if (!exists)
        mustTouch(t.root + ".complete");
    std::sort(t.hidden.begin(), t.hidden.end());
    std::sort(t.dotNamed.begin(), t.dotNamed.end());
    return t;
}

}  // namespace tarnwell::bench
