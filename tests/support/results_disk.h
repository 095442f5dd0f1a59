#pragma once

// Real disks for the result tools' tests: a tiny tmpfs, and what a folder holds.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarnwell::test {

// A tmpfs of a few kilobytes, mounted for the test's life. Needs root.
class TinyDisk {
public:
    TinyDisk(const QString& mountPoint, const char* options);
    ~TinyDisk();
    bool mounted() const { return mounted_; }
    // Remounts it read-only, keeping what was written.
    bool makeReadOnly();
    QString whyNot() const { return whyNot_; }

private:
    QByteArray point_;
    bool mounted_ = false;
    QString whyNot_;
};

// Files in a folder, recursively, names relative to it.
QStringList filesUnder(const QString& folder);

}  // namespace tarnwell::test
