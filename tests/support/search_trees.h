#pragma once

// Trees and conditions that the search tests need beyond plain files.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarnwell {
class ListControl;
}

namespace tarnwell::test {

// Every entry of a list, as text.
QStringList entries(const ListControl& list);

// A chain of `depth` nested folders named "d" below `root`, made and removed
// through descriptors, since its paths are far beyond the path limit.
void makeChain(const QByteArray& root, int depth, const char* fileAtBottom);
void removeChain(const QByteArray& root, int depth);

// A comb `depth` levels deep: every level holds the folders "e1", "d" and
// "e2", made in that order so that most listings give "d" before a sibling;
// each "e" holds a hidden file ".h", and "d" goes on to the next level.
void makeComb(const QByteArray& root, int depth);
// Removes everything below root, however deep, through descriptors.
void removeBelow(const QByteArray& root);

// How many descriptors this process has open.
int openDescriptors();

// While it lives, this thread works without the capabilities that let root
// read any folder, so a folder without permissions is refused as it would
// be for anyone else. Capabilities are per thread: other threads keep theirs.
class WithoutDacOverride {
public:
    WithoutDacOverride();
    ~WithoutDacOverride();
    bool active() const { return active_; }

private:
    bool active_ = false;
};

// A small NTFS volume made with mkntfs and mounted with ntfs-3g; unmounted
// and removed when it goes. mountPoint() is empty when it could not be made,
// and why() says why.
class NtfsVolume {
public:
    NtfsVolume();
    ~NtfsVolume();
    const QString& mountPoint() const { return mountPoint_; }
    const QString& why() const { return why_; }
    // Sets the DOS attribute word of a path on the volume.
    bool setAttributes(const QString& path, unsigned word) const;
    unsigned attributes(const QString& path) const;

private:
    QString dir_, image_, mountPoint_, why_;
};

}  // namespace tarnwell::test
