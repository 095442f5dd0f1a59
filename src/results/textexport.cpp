#include "results/textexport.h"

#include <QByteArray>
#include <QSaveFile>

#include "errors/errortrap.h"
#include "errors/failure.h"
#include "platform/files.h"
#include "platform/yield.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

// Lines are gathered into chunks of about this size before they reach the
// file: a write per line would cost a system call per entry.
constexpr qsizetype kChunkBytes = 256 * 1024;

void writeChunk(QSaveFile& file, QByteArray& chunk) {
    if (chunk.isEmpty())
        return;
    // A disk that fills up takes part of a chunk first; the write after it
    // is the one that says why.
    for (qsizetype done = 0; done < chunk.size();) {
        const qint64 n = file.write(chunk.constData() + done, chunk.size() - done);
        if (n <= 0)
            throw Failure(file.errorString());
        done += qsizetype(n);
    }
    chunk.clear();
}

// Steps 13 to 16: one line per entry, each preceded by a yield. False when a
// line could not be written (already reported); the export is then abandoned,
// since a file with lines missing must not replace the user's old one.
bool writeLines(Window& window, ErrorTrap& trap, QSaveFile& file) {
    ListControl& list = window.ResultsList;
    const int n = list.Count();  // 13. Read once.
    QByteArray chunk;
    chunk.reserve(kChunkBytes + 4096);
    for (int i = 1; i <= n; ++i) {
        window.platform.yield.doEvents();  // a long list must not freeze the window
        // 15. The entry's own bytes: a name that is not valid in the locale's
        // encoding is written as the file system holds it.
        const bool written = trap.run(15, [&] {
            chunk += list.Bytes(i);
            chunk += "\r\n";
            if (chunk.size() >= kChunkBytes)
                writeChunk(file, chunk);
        });
        if (!written)
            return false;
    }
    return trap.run(15, [&] { writeChunk(file, chunk); });
}

}  // namespace

void saveResultsAsTextFile(Window& window, ErrorTrap& trap) {
    Services& platform = window.platform;
    // 1-6. Ask for the file name; the dialog's own overwrite prompt is off.
    const SaveFileRequest request{
        QStringLiteral("Save"),
        {QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")},
        QString()};
    const QString path =
        trap.value(5, [&] { return platform.dialogs.saveFileName(request); }).value_or(QString());
    // 7. Cancelled.
    if (path.isEmpty())
        return;
    // Asked here, since the dialog's own overwrite prompt is off.
    int answer = vbYes;
    if (FileExists(path)) {
        answer = trap.value(8,
                            [&] {
                                return platform.dialogs.msgBox(
                                    QStringLiteral("Are you sure you wish to overwrite ") + path +
                                        QStringLiteral(" ?"),
                                    vbYesNo, platform.appTitle);
                            })
                     .value_or(vbNo);
    }
    // A question that failed counts as No: nothing is overwritten unasked.
    if (answer != vbYes)
        return;
    // The busy pointer doubles as the flag that keeps other commands out until this one ends.
    trap.run(11, [&] { window.pointer.set(MousePointer::Busy); });
    // 12. Written beside the target and renamed over it only when complete,
    // so a failed export never costs the user the file they had.
    QSaveFile file(path);
    const bool opened = trap.run(12, [&] {
        // Unbuffered: the lines come in chunks already, and a failed write is
        // then told in the system's words at once.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw Failure(file.errorString());
    });
    // 13-17. Any failure has been reported once; the old file stays as it was
    // and "Done." would claim a success that did not happen.
    const bool complete = opened && writeLines(window, trap, file) && trap.run(17, [&] {
        if (!file.commit())
            throw Failure(file.errorString());
    });
    if (complete)
        trap.run(18, [&] {
            platform.dialogs.msgBox(QStringLiteral("Done."), vbOKOnly, platform.appTitle);
        });
    // Restored whatever failed above, so a failure never leaves the window busy.
    trap.run(19, [&] { window.pointer.set(MousePointer::Default); });
}

}  // namespace tarnwell
