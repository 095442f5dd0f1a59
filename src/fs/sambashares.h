#pragma once

// The folders this machine's Samba server shares, learned from the
// configuration in force as Samba's own tools read it (testparm, which
// honours SMB_CONF_PATH and then /etc/samba/smb.conf), plus the user shares
// defined in its usershare folder. In those folders, and only there, a
// file's DOS word is read from "user.DOSATTRIB": anywhere else the read
// would cost more than the rest of a search. A machine without smbd, or
// without a configuration file, starts no program and reads nothing.
//
// Shares that keep their attributes elsewhere (vfs objects xattr_tdb, gpfs,
// ceph or glusterfs; store dos attributes = no, where map hidden may turn the
// Hidden bit into a mode bit) are left out: their words cannot be read here.

#include <sys/types.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwell {

// What a configuration dump (`testparm -s -v`) says is shared.
struct SambaConfig {
    std::vector<std::string> folders;  // share roots that keep DOS words in user.DOSATTRIB
    bool homes = false;                // [homes] shares each account's home folder
    std::string usersharePath;         // where user shares are defined; empty when they are off
};
SambaConfig parseTestparmDump(std::string_view dump);
// The folder a user share definition (one file of the usershare folder) shares.
std::string pathOfUsershare(std::string_view definition);

// What this machine's Samba server shares, as last learned: one table for
// whoever searches and acts on what was found (the window, tarnwell-find),
// asked by the readers of its searches at once. Until it is first learned
// nothing is shared.
class SambaShares {
public:
    SambaShares();
    ~SambaShares();
    SambaShares(const SambaShares&) = delete;
    SambaShares& operator=(const SambaShares&) = delete;

    // Asks for the configuration to be learned again, when the next search
    // reaches its first folder; cheap, for the start of a search.
    void relearnAtNextSearch();
    // Learns the configuration when asked to above (and the first time); for
    // the reader of a search's first folder, which may wait for testparm.
    // One learner at a time; nobody who only asks waits for it.
    void learnIfDue();

    // Whether the folder open on `fd` (dev and ino from its fstat) is a
    // share or lies in one, as of the last learning. `parentServed`, when
    // known, says whether its parent does; otherwise its ancestors are
    // looked at.
    bool serves(int fd, dev_t dev, ino_t ino, std::optional<bool> parentServed) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tarnwell
