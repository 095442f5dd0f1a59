#pragma once

// Trees and conditions that the search tests need beyond plain files.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace tarnwell::test {

// `depth` nested folders "d" below root, made through descriptors since
// their paths go far beyond the path limit. With `siblings`, every level
// also holds "e1" (made before "d") and "e2" (after), each with a file ".h",
// so that a walk has folders to come back to at every level.
void makeDeep(const QByteArray& root, int depth, bool siblings);
// Removes a tree of any depth, locked folders and names that are not UTF-8
// too (rm copes with what QDir cannot).
void removeTree(const QString& root);

// Root reads any folder unless it gives that up. Capabilities are per thread
// and a thread starts with its creator's, so this is called before the first
// search: the reader threads then lack them too, for the rest of the run.
// True when permissions hold as for anyone.
bool readAsAnOrdinaryUser();

// A 16 MB NTFS volume (mkntfs) mounted with ntfs-3g, unmounted when it goes;
// mountPoint() is empty when it could not be had, and why() says why.
class NtfsVolume {
public:
    explicit NtfsVolume(int megabytes = 16);
    ~NtfsVolume();
    const QString& mountPoint() const { return mountPoint_; }
    const QString& why() const { return why_; }
    // The DOS attribute word of a path on the volume; ~0 when unreadable.
    static bool setAttributes(const QString& path, unsigned word);
    static unsigned attributes(const QString& path);

private:
    QTemporaryDir dir_{QStringLiteral("/tmp/tarnwell-ntfs-XXXXXX")};
    QString mountPoint_, why_;
};

}  // namespace tarnwell::test
