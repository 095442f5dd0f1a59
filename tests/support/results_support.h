#pragma once

// For the result tools' tests: a list with any number of columns, a small
// real disk, and a look inside written workbooks.

#include <sys/mount.h>
#include <QDirIterator>
#include <QProcess>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <vector>

#include "errors/failure.h"
#include "results/columnlist.h"

namespace tarnwell::test {

// Rows of cells with a check mark each.
struct TableList : ColumnList {
    struct Row {
        QStringList cells;
        bool checked = true;
    };
    QStringList captions{QStringLiteral("Results")};
    std::vector<Row> rows;

    int Count() const override { return int(rows.size()); }
    int ColumnCount() const override { return int(captions.size()); }
    QString ColumnText(int c) const override { return captions.value(c - 1); }
    QString Cell(int r, int c) const override { return row(r).cells.value(c - 1); }
    bool Checked(int r) const override { return row(r).checked; }
    const Row& row(int r) const {
        if (r < 1 || r > Count())
            throw Failure(QStringLiteral("Index out of bounds"));
        return rows[size_t(r - 1)];
    }
};

// A tmpfs mounted with `options` over `folder` for the test's life; none
// when `options` is null.
struct SmallDisk {
    QByteArray point;
    QString whyNot;
    SmallDisk(const QString& folder, const char* options)
        : point(options ? folder.toLocal8Bit() : QByteArray()) {
        if (options && ::mount("tarnwell-test", point.constData(), "tmpfs", 0, options) != 0)
            whyNot = QStringLiteral("cannot mount a tmpfs (%1)").arg(std::strerror(errno));
    }
    ~SmallDisk() {
        if (!point.isEmpty() && whyNot.isEmpty())
            ::umount2(point.constData(), MNT_DETACH);
    }
};

// Mounting needs root: elsewhere the test is skipped.
#define SMALL_DISK_OR_SKIP(folder, options)                         \
    const tarnwell::test::SmallDisk smallDisk((folder), (options)); \
    if (!smallDisk.whyNot.isEmpty())                                \
    QSKIP(qPrintable(smallDisk.whyNot))

inline QStringList filesUnder(const QString& folder) {
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) names << it.next().mid(folder.size() + 1);
    return names;
}

// One member of a workbook's zip, as unzip gives it ("" when it is missing).
inline QString unzipped(const QString& workbook, const QString& member) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), workbook, member});
    unzip.waitForFinished(60000);
    return QString::fromUtf8(unzip.readAllStandardOutput());
}

}  // namespace tarnwell::test
