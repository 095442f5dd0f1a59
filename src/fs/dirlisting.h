#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnwell {

// The names directly inside one folder, read in a single pass in the order
// the file system lists them, split into files and folders by the type the
// listing itself reports (one lstat only where it reports none). A symbolic
// link is a file, whatever it points to, so a walk never follows one.
class DirListing {
public:
    struct Entry {
        std::uint32_t offset;  // into names(), NUL-terminated
        std::uint16_t length;  // a name is at most 255 bytes
        std::uint8_t type;     // a DT_ value, never DT_UNKNOWN
        std::uint64_t ino;     // as the listing gave it
    };

    // Lists the open folder `fd` (its read position must be at the start);
    // false when the listing failed, with error() set. Entries read before
    // a failure are dropped: a listing either worked or it did not.
    bool read(int fd);
    // Records a failure found before the listing could start.
    void fail(int error);

    int error() const { return error_; }
    const std::vector<Entry>& files() const { return files_; }
    const std::vector<Entry>& folders() const { return folders_; }
    const char* name(Entry e) const { return names_.data() + e.offset; }
    // The longest file name in bytes, an upper bound on its characters.
    std::size_t longestFileName() const { return longestFileName_; }
    // The folder holds a file named ".hidden".
    bool hasHiddenList() const { return hasHiddenList_; }

private:
    void add(const char* name, std::size_t length, std::uint8_t type, std::uint64_t ino);

    std::string names_;
    std::vector<Entry> files_;
    std::vector<Entry> folders_;
    std::size_t longestFileName_ = 0;
    int error_ = 0;
    bool hasHiddenList_ = false;
};

}  // namespace tarnwell
