#include "results/textexport.h"

#include <fcntl.h>
#include <unistd.h>
#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <utility>

#include "errors/errortrap.h"
#include "errors/failure.h"
#include "fs/files.h"
#include "process/yield.h"
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

// Where the lines go. Normally a new file beside the target, renamed over it
// only when complete, so a failed export never costs the user the file they
// had; it takes the old file's owner, group and mode. A folder that lets no
// new file be made leaves one way to replace a file the user may write:
// rewriting it in place. Then the lines are held until every one is in hand,
// so a failure before that still leaves the file as it was.
class TextTarget {
public:
    explicit TextTarget(const QString& path) : path_(path), save_(path) {}
    ~TextTarget() {
        if (fd_ >= 0)
            ::close(fd_);
    }

    void open() {
        if (writableOnlyInPlace(path_)) {
            fd_ = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd_ < 0)
                throw Failure::fromErrno(errno);
            return;
        }
        // Unbuffered: the lines come in chunks already, and a failed write is
        // then told in the system's words at once.
        if (!save_.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw Failure(save_.errorString());
        if (FileExists(path_))
            takeOwnerAndMode(int(save_.handle()), path_);
    }

    void write(QByteArray& chunk) {
        if (fd_ >= 0) {
            held_ += chunk;
        } else {
            // A disk that fills up takes part of a chunk first; the write
            // after it is the one that says why.
            for (qsizetype done = 0; done < chunk.size();) {
                const qint64 n = save_.write(chunk.constData() + done, chunk.size() - done);
                if (n <= 0)
                    throw Failure(save_.errorString());
                done += qsizetype(n);
            }
        }
        chunk.clear();
    }

    void commit() {
        if (fd_ < 0) {
            if (!save_.commit())
                throw Failure(save_.errorString());
            return;
        }
        if (::ftruncate(fd_, 0) != 0)
            throw Failure::fromErrno(errno);
        if (const int error = writeAll(fd_, held_))
            throw Failure::fromErrno(error);
        if (::close(std::exchange(fd_, -1)) != 0)
            throw Failure::fromErrno(errno);
    }

private:
    QString path_;
    QSaveFile save_;
    int fd_ = -1;  // the target itself, when written in place
    QByteArray held_;
};

// One line per entry, each preceded by a yield. False when a
// line could not be written (already reported); the export is then abandoned,
// since a file with lines missing must not replace the user's old one.
bool writeLines(Window& window, ErrorTrap& trap, TextTarget& file) {
    ListControl& list = window.ResultsList;
    const int n = list.Count();  // read once: a handler may change the list meanwhile
    QByteArray chunk;
    chunk.reserve(kChunkBytes + 4096);
    for (int i = 1; i <= n; ++i) {
        window.platform.yield.doEvents();  // a long list must not freeze the window
        // The entry's own bytes: a name that is not valid in the locale's
        // encoding is written as the file system holds it.
        const bool written = trap.run(15, [&] {
            chunk += list.Bytes(i);
            chunk += "\r\n";
            if (chunk.size() >= kChunkBytes)
                file.write(chunk);
        });
        if (!written)
            return false;
    }
    return trap.run(15, [&] { file.write(chunk); });
}

}  // namespace

void saveResultsAsTextFile(Window& window, ErrorTrap& trap) {
    Services& platform = window.platform;
    const SaveFileRequest request{
        QStringLiteral("Save"),
        {QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")},
        QString()};
    const QString path =
        trap.value(5, [&] { return platform.dialogs.saveFileName(request); }).value_or(QString());
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
    TextTarget file(path);
    BusyPointer busy(window.pointer, trap, 11, 19);
    const bool opened = trap.run(12, [&] { file.open(); });
    // After a failure, reported once, the old file stays as it was, and
    // "Done." would claim a success that did not happen.
    const bool complete =
        opened && writeLines(window, trap, file) && trap.run(17, [&] { file.commit(); });
    if (complete)
        trap.run(18, [&] {
            platform.dialogs.msgBox(QStringLiteral("Done."), vbOKOnly, platform.appTitle);
        });
}

}  // namespace tarnwell
