#pragma once

// For the result tools' tests: a list with any number of columns, a small
// real disk, the files a folder holds, and a look inside written workbooks.

#include <sys/mount.h>
#include <QtTest>  // and with it QtCore
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

// A tmpfs mounted with `options` over `folder` until the test ends; none
// when `options` is null. Mounting needs root: elsewhere the test is skipped.
#define SMALL_DISK_OR_SKIP(folder, options)                                                \
    const char* const diskOptions = (options);                                             \
    const QByteArray diskPoint = QFile::encodeName(folder);                                \
    if (diskOptions && ::mount("tarnwell-test", diskPoint, "tmpfs", 0, diskOptions) != 0)  \
        QSKIP(qPrintable(QString("cannot mount a tmpfs (%1)").arg(std::strerror(errno)))); \
    const auto unmountDisk = qScopeGuard([&] { diskOptions&& ::umount2(diskPoint, MNT_DETACH); })

// Sorted, as a listing's order says nothing.
inline QStringList filesUnder(const QString& folder) {
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) names << it.next().mid(folder.size() + 1);
    names.sort();
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
