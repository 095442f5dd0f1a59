#include "fs/sambashares.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "fs/descriptor.h"
#include "fs/dirlisting.h"
#include "fs/files.h"
#include "system/spawn.h"

namespace tarnwell {

namespace {

// Virtual file systems keep no DOS words; these modules keep them elsewhere.
constexpr std::string_view kElsewhereModules[] = {"xattr_tdb", "gpfs", "ceph", "ceph_new",
                                                  "glusterfs"};
constexpr int kTestparmSeconds = 10;
constexpr size_t kDumpLimit = 16 * 1024 * 1024;
constexpr size_t kUsershareLimit = 64 * 1024;
// Accounts of people, as useradd numbers them; the others have no home a
// share would serve.
constexpr uid_t kFirstUserId = 1000, kLastUserId = 59999;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Each line of `text`, trimmed, until `visit` says false.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        if (!visit(trim(text.substr(at, end - at))))
            return;
        at = end + 1;
    }
}

bool isYes(std::string_view v) {
    return v == "Yes" || v == "yes" || v == "True" || v == "true" || v == "1";
}

// The part of a share's path before its first substitution (%U, %S, ...):
// every folder the share can stand for lies below it. Empty when nothing
// fixed is left but the root.
std::string fixedPart(std::string_view path) {
    const size_t percent = path.find('%');
    if (percent == std::string_view::npos)
        return std::string(path);
    const size_t slash = path.rfind('/', percent);
    if (slash == std::string_view::npos || slash == 0)
        return {};
    return std::string(path.substr(0, slash));
}

bool keepsWordsElsewhere(std::string_view storeDos, std::string_view modules) {
    if (!isYes(storeDos))
        return true;
    size_t at = 0;
    while (at < modules.size()) {
        size_t end = modules.find_first_of(" \t,", at);
        if (end == std::string_view::npos)
            end = modules.size();
        const std::string_view m = modules.substr(at, end - at);
        for (std::string_view e : kElsewhereModules)
            if (m == e)
                return true;
        at = end + 1;
    }
    return false;
}

// Where Samba's programs are installed, searched after PATH: a desktop
// session's PATH often lacks sbin, where Debian puts them.
constexpr const char* kSambaProgramFolders =
    ":/usr/sbin:/sbin:/usr/bin:/usr/local/sbin:/usr/local/samba/sbin:/usr/local/samba/bin";

std::string findProgram(const char* name) {
    std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
    dirs += kSambaProgramFolders;
    size_t at = 0;
    while (at <= dirs.size()) {
        size_t end = dirs.find(':', at);
        if (end == std::string::npos)
            end = dirs.size();
        if (end > at) {
            const std::string path = dirs.substr(at, end - at) + '/' + name;
            if (::access(path.c_str(), X_OK) == 0)
                return path;
        }
        at = end + 1;
    }
    return {};
}

// testparm's dump of the configuration in force; empty when it cannot be
// had. stdin and stderr go to /dev/null, and a testparm that does not end
// within its time is killed.
std::string runTestparm(const std::string& program) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {};
    const char* argv[] = {"testparm", "-s", "-v", nullptr};
    const pid_t pid = spawnProgram(program.c_str(), argv, {-1, out[1], -1});
    ::close(out[1]);
    const Descriptor reading(out[0]);
    if (pid < 0)
        return {};
    std::string dump;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTestparmSeconds);
    bool complete = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{reading.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) == 0)
            break;
        char buffer[65536];
        const ssize_t n = ::read(reading.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        dump.append(buffer, size_t(n));
        if (dump.size() > kDumpLimit)
            break;
    }
    if (!complete)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return complete && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? dump : std::string();
}

std::vector<std::string> usershareFolders(const std::string& definitions) {
    std::vector<std::string> folders;
    const Descriptor dir(::open(definitions.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DirListing listing;
    if (!dir || !listing.read(dir.get()))
        return folders;  // not ours to read (the folder is often the sambashare group's)
    for (const DirListing::Entry& e : listing.files()) {
        std::string path = pathOfUsershare(
            readSmallFile(dir.get(), listing.name(e), kUsershareLimit, false).toStdString());
        if (!path.empty())
            folders.push_back(std::move(path));
    }
    return folders;
}

std::vector<std::string> homeFolders() {
    std::vector<std::string> homes;
    ::setpwent();
    passwd entry, *found = nullptr;
    std::vector<char> buffer(16384);
    while (::getpwent_r(&entry, buffer.data(), buffer.size(), &found) == 0 && found)
        if (found->pw_uid >= kFirstUserId && found->pw_uid <= kLastUserId && found->pw_dir &&
            found->pw_dir[0] == '/' && found->pw_dir[1])
            homes.emplace_back(found->pw_dir);
    ::endpwent();
    return homes;
}

using Identity = std::pair<dev_t, ino_t>;
struct Served {
    std::set<Identity> roots;
};

std::shared_ptr<const Served> learn() {
    auto served = std::make_shared<Served>();
    const char* configured = std::getenv("SMB_CONF_PATH");
    const std::string config = configured && *configured ? configured : "/etc/samba/smb.conf";
    const std::string testparm = findProgram("testparm");
    if (::access(config.c_str(), F_OK) != 0 || findProgram("smbd").empty() || testparm.empty())
        return served;
    const SambaConfig parsed = parseTestparmDump(runTestparm(testparm));
    std::vector<std::string> folders = parsed.folders;
    if (parsed.homes)
        for (std::string& h : homeFolders()) folders.push_back(std::move(h));
    if (!parsed.usersharePath.empty())
        for (std::string& u : usershareFolders(parsed.usersharePath))
            folders.push_back(std::move(u));
    for (const std::string& f : folders) {
        struct stat st;
        if (::stat(f.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            served->roots.emplace(st.st_dev, st.st_ino);
    }
    return served;
}

}  // namespace

struct SambaShares::State {
    std::mutex learning;  // one learner at a time; readers never wait for it
    std::mutex lock;
    std::shared_ptr<const Served> served = std::make_shared<Served>();
    std::atomic<bool> any{false};
    std::atomic<bool> due{true};
};

SambaShares::SambaShares() : state_(std::make_unique<State>()) {}
SambaShares::~SambaShares() = default;

SambaConfig parseTestparmDump(std::string_view dump) {
    using Section = std::map<std::string, std::string, std::less<>>;
    std::vector<std::pair<std::string, Section>> sections;
    forEachLine(dump, [&](std::string_view line) {
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            sections.emplace_back(std::string(line.substr(1, line.size() - 2)), Section());
            return true;
        }
        const size_t eq = line.find('=');
        if (!sections.empty() && eq != std::string_view::npos && line.front() != '#' &&
            line.front() != ';')
            sections.back().second[std::string(trim(line.substr(0, eq)))] =
                std::string(trim(line.substr(eq + 1)));
        return true;
    });
    const Section none;
    const Section* global = &none;
    for (const auto& [name, values] : sections)
        if (name == "global")
            global = &values;
    const auto value = [&](const Section& s, std::string_view key) -> std::string_view {
        auto it = s.find(key);
        if (it != s.end())
            return it->second;
        it = global->find(key);
        return it != global->end() ? std::string_view(it->second) : std::string_view();
    };

    SambaConfig config;
    for (const auto& [name, s] : sections) {
        if (name == "global" || isYes(value(s, "printable")) ||
            (!value(s, "available").empty() && !isYes(value(s, "available"))) ||
            keepsWordsElsewhere(value(s, "store dos attributes"), value(s, "vfs objects")))
            continue;
        const std::string_view path = value(s, "path");
        if (name == "homes" && (path.empty() || path.starts_with("%H"))) {
            config.homes = true;
            continue;
        }
        std::string fixed = fixedPart(path);
        if (!fixed.empty() && fixed.front() == '/')
            config.folders.push_back(std::move(fixed));
    }
    const std::string_view maxShares = value(none, "usershare max shares");
    if (!maxShares.empty() && maxShares != "0" &&
        !keepsWordsElsewhere(value(none, "store dos attributes"), value(none, "vfs objects")))
        config.usersharePath = std::string(value(none, "usershare path"));
    return config;
}

std::string pathOfUsershare(std::string_view definition) {
    std::string path;
    forEachLine(definition, [&](std::string_view line) {
        if (line.starts_with("path=/"))
            path = line.substr(5);
        return path.empty();
    });
    return path;
}

void SambaShares::relearnAtNextSearch() {
    state_->due.store(true, std::memory_order_release);
}

void SambaShares::learnIfDue() {
    State& s = *state_;
    std::lock_guard learning(s.learning);
    if (!s.due.exchange(false, std::memory_order_acq_rel))
        return;
    std::shared_ptr<const Served> served = learn();
    const bool any = !served->roots.empty();
    {
        std::lock_guard guard(s.lock);
        s.served.swap(served);
    }
    s.any.store(any, std::memory_order_release);
    // The old set, if any, goes here, outside the lock.
}

bool SambaShares::serves(int fd, dev_t dev, ino_t ino, std::optional<bool> parentServed) const {
    State& s = *state_;
    if (!s.any.load(std::memory_order_acquire))
        return false;
    std::shared_ptr<const Served> served;
    {
        std::lock_guard guard(s.lock);
        served = s.served;
    }
    if (served->roots.count({dev, ino}))
        return true;
    if (parentServed)
        return *parentServed;
    // A folder reached by its path: look at its ancestors, up to "/".
    Descriptor up(::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    Identity below{dev, ino};
    // A bound on the climb, so that a file system that loops never holds the reader.
    constexpr int kDeepestAncestor = 4096;
    for (int depth = 0; up && depth < kDeepestAncestor; ++depth) {
        struct stat st;
        if (::fstat(up.get(), &st) != 0 || Identity(st.st_dev, st.st_ino) == below)
            break;
        if (served->roots.count({st.st_dev, st.st_ino}))
            return true;
        below = {st.st_dev, st.st_ino};
        up.reset(::openat(up.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return false;
}

}  // namespace tarnwell
