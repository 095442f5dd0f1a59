#include "results/spreadsheet.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "desktop/shell.h"
#include "errors/failure.h"
#include "fs/descriptor.h"
#include "results/workbookstream.h"
#include "system/spawn.h"

namespace tarnwell {

namespace {

constexpr auto kXlsxMimeType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
constexpr time_t kWorkbookLifetimeSeconds = 7 * 24 * 60 * 60;

// The folder, made if missing, readable by its owner only: the workbooks
// hold the names of the user's hidden files.
void makePrivateFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    QDir().mkpath(QFileInfo(folder).path());
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        throw Failure::fromErrno(errno);
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        throw Failure::fromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        throw Failure::fromErrno(ENOTDIR);
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        throw Failure::fromErrno(errno);
}

// The workbooks this program wrote into its folder stay there for the
// spreadsheet application to read, for as long as it takes; after a week no
// one is reading them any more. Only regular files of this user under the
// program's own names go, and nothing that fails here stops an export.
void removeOldWorkbooks(const QString& folder) {
    static const QRegularExpression ours(QStringLiteral(R"(^Results-\d{8}-\d{6}(-\d+)?\.xlsx$)"));
    const int dirFd = ::open(QFile::encodeName(folder).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    DIR* dir = dirFd >= 0 ? ::fdopendir(dirFd) : nullptr;
    if (!dir) {
        if (dirFd >= 0)
            ::close(dirFd);
        return;
    }
    const time_t weekAgo = ::time(nullptr) - kWorkbookLifetimeSeconds;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st;
        if (!ours.match(QFile::decodeName(entry->d_name)).hasMatch() ||
            ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_mtime < weekAgo)
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

// A fresh name after the moment ("Results-20261206-142501.xlsx", then "-2",
// "-3", ... when a run in the same second has it), taken by `claim`, which
// fails with EEXIST for a name already there: an existing workbook is never
// replaced.
template <typename Claim>
QByteArray claimWorkbookName(const QString& folder, Claim claim) {
    const QString stem = folder + QStringLiteral("/Results-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1;; ++n) {
        const QString name =
            stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".xlsx");
        const QByteArray path = QFile::encodeName(name);
        if (claim(path))
            return path;
        if (errno != EEXIST || n >= 1000)
            throw Failure::fromErrno(errno);
    }
}

// An empty owner-only file under a fresh name, for the workbook to be
// written to.
QByteArray reserveWorkbookFile(const QString& folder) {
    return claimWorkbookName(folder, [](const QByteArray& path) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    });
}

// Gives a finished unnamed file a fresh name.
QByteArray nameWorkbookFile(const QString& folder, int fd) {
    const QByteArray source = QByteArray::fromStdString(descriptorPath(fd));
    return claimWorkbookName(folder, [&](const QByteArray& path) {
        return ::linkat(AT_FDCWD, source.constData(), AT_FDCWD, path.constData(),
                        AT_SYMLINK_FOLLOW) == 0;
    });
}

// A file with no name in the folder, for the workbook to be written into
// through its /proc link; -1 where the file system or /proc cannot do that.
// Until it is named nothing of it can be left behind, even when the program
// ends in the middle of an export.
int openUnnamedFile(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (::access(descriptorPath(fd).c_str(), W_OK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The window's side of a workbook: the cells go to tarnwell-workbook, which
// writes them with libxlsxwriter. What a failed close leaves open there (the
// temporary files of the sheets it did not get to pack, and the space they
// hold on a full disk) goes when that process ends, and the descriptors
// this side opened it closes itself. The file is this side's: it names it
// once the writer has written it, so a failure or a drop leaves nothing.
class XlsxWorkbook : public SpreadsheetApp {
public:
    XlsxWorkbook(Shell& shell, QString folder, QString writer, int rowsPerSheet)
        : shell_(shell),
          folder_(std::move(folder)),
          writer_(std::move(writer)),
          rowsPerSheet_(rowsPerSheet) {}

    ~XlsxWorkbook() override {
        // An unfinished workbook is no use to anyone: the writer goes with
        // everything it holds.
        if (pid_ > 0) {
            stream_.reset();
            ::kill(pid_, SIGKILL);
            reap();
        }
        if (!unnamed_ && !finished_ && !path_.isEmpty())
            ::unlink(path_.constData());
    }

    void addWorkbook() override {
        if (pid_ > 0 || finished_)
            throw Failure(QStringLiteral("A workbook is already open"));
        makePrivateFolder(folder_);
        removeOldWorkbooks(folder_);
        unnamed_.reset(openUnnamedFile(folder_));
        if (!unnamed_)
            path_ = reserveWorkbookFile(folder_);
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            throw Failure::fromErrno(errno);
        stream_.reset(ends[0]);
        const Descriptor writersEnd(ends[1]);
        // The writer reaches the unnamed file through its own stdout.
        const QByteArray program = QFile::encodeName(writer_);
        const QByteArray tmpdir = QFile::encodeName(folder_);
        const QByteArray target =
            unnamed_ ? QByteArray::fromStdString(descriptorPath(STDOUT_FILENO)) : path_;
        const QByteArray rows = QByteArray::number(rowsPerSheet_);
        const char* argv[] = {program.constData(), tmpdir.constData(), target.constData(),
                              rows.constData(), nullptr};
        const pid_t pid = spawnProgram(program.constData(), argv,
                                       {writersEnd.get(), unnamed_.get(), writersEnd.get()});
        if (pid < 0) {
            stream_.reset();
            throw Failure(QStringLiteral("The workbook writer %1 could not be started: %2")
                              .arg(writer_, Failure::fromErrno(-pid).description()));
        }
        pid_ = pid;
    }

    void makeVisible() override { visible_ = true; }

    void setCell(int row, int column, const QString& text) override {
        if (pid_ <= 0)
            throw Failure(QStringLiteral("No workbook is open"));
        if (row < 1 || column < 1 || uint32_t(column) > workbookstream::kMaxColumns)
            throw Failure(QStringLiteral("Index out of bounds"));
        const QByteArray utf8 = text.toUtf8();
        send({workbookstream::Cell, uint32_t(row), uint32_t(column), uint32_t(text.size()),
              uint32_t(utf8.size())},
             utf8);
    }

    void fitColumn(int column) override {
        if (pid_ <= 0)
            throw Failure(QStringLiteral("No workbook is open"));
        if (column < 1 || uint32_t(column) > workbookstream::kMaxColumns)
            throw Failure(QStringLiteral("Index out of bounds"));
        send({workbookstream::FitColumn, 0, uint32_t(column), 0, 0});
    }

    void fitAllColumns() override {
        if (pid_ <= 0)
            throw Failure(QStringLiteral("No workbook is open"));
        send({workbookstream::FitAll, 0, 0, 0, 0});
    }

    void finish() override {
        if (pid_ <= 0)
            throw Failure(QStringLiteral("No workbook is open"));
        send({workbookstream::Finish, 0, 0, 0, 0});
        flush();
        end();
        if (unnamed_) {
            path_ = nameWorkbookFile(folder_, unnamed_.get());
            unnamed_.reset();
        }
        finished_ = true;
        // As a new document made from the file where the application can, so
        // that a plain Save asks where to keep it rather than writing into
        // the program's hidden folder.
        if (visible_ && !shell_.openAsNewDocument(QFile::decodeName(path_)))
            throw Failure(QStringLiteral("The workbook could not be opened"));
    }

private:
    // Records are gathered and sent some 64 KB at a time: a million cells
    // are not a million system calls.
    void send(const workbookstream::Record& record, const QByteArray& text = {}) {
        pending_.append(reinterpret_cast<const char*>(&record), sizeof record);
        pending_.append(text);
        if (pending_.size() >= 65536)
            flush();
    }

    // A writer that ended breaks the stream: what it said is the failure.
    // MSG_NOSIGNAL, since its end gone would otherwise end this process.
    void flush() {
        qsizetype sent = 0;
        while (sent < pending_.size()) {
            const ssize_t n = ::send(stream_.get(), pending_.constData() + sent,
                                     size_t(pending_.size() - sent), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                pending_.clear();
                ::kill(pid_, SIGKILL);  // an ended writer is not hurt by it
                end();
                throw Failure(QStringLiteral("The workbook writer stopped taking cells"));
            }
            sent += n;
        }
        pending_.clear();
    }

    // Waits for the writer to end: the workbook is written when it ends well;
    // otherwise its one line, or how it ended, is the failure.
    void end() {
        QByteArray said;
        char buffer[512];
        for (ssize_t n; (n = ::read(stream_.get(), buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
            if (said.size() < 4096)
                said.append(buffer, n);
        }
        stream_.reset();
        const int status = reap();
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return;
        const QString message = QString::fromLocal8Bit(said).trimmed();
        if (!message.isEmpty())
            throw Failure(message);
        if (WIFSIGNALED(status))
            throw Failure(QStringLiteral("The workbook writer was ended by signal %1 (%2)")
                              .arg(WTERMSIG(status))
                              .arg(QString::fromLocal8Bit(::strsignal(WTERMSIG(status)))));
        throw Failure(
            QStringLiteral("The workbook writer ended with status %1").arg(WEXITSTATUS(status)));
    }

    int reap() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    Shell& shell_;
    QString folder_;
    QString writer_;
    int rowsPerSheet_;
    QByteArray path_;     // the reserved name, or the name given once written
    Descriptor unnamed_;  // the workbook's file while it has no name
    Descriptor stream_;   // to the writer, and its last words back
    pid_t pid_ = -1;
    QByteArray pending_;
    bool visible_ = false;
    bool finished_ = false;
};

}  // namespace

XlsxSpreadsheetHost::XlsxSpreadsheetHost(Shell& shell) : XlsxSpreadsheetHost(shell, Options{}) {}

XlsxSpreadsheetHost::XlsxSpreadsheetHost(Shell& shell, Options options)
    : shell_(shell), options_(std::move(options)) {}

std::unique_ptr<SpreadsheetApp> XlsxSpreadsheetHost::createApplication() {
    const bool present = options_.applicationPresent ? options_.applicationPresent()
                                                     : desktopHasSpreadsheetApplication();
    if (!present)
        throw Failure(QStringLiteral("No spreadsheet application is installed"));
    const QString folder = options_.folder.isEmpty() ? defaultFolder() : options_.folder;
    const QString writer = options_.writer.isEmpty() ? QCoreApplication::applicationDirPath() +
                                                           QStringLiteral("/tarnwell-workbook")
                                                     : options_.writer;
    return std::make_unique<XlsxWorkbook>(shell_, folder, writer, options_.rowsPerSheet);
}

QString XlsxSpreadsheetHost::defaultFolder() {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    // A relative value is to be ignored, as the base-directory rules say.
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/tarnwell");
}

bool XlsxSpreadsheetHost::desktopHasSpreadsheetApplication() {
    if (!defaultApplicationForType(QString::fromLatin1(kXlsxMimeType)).isEmpty())
        return true;
    for (const char* program : {"localc", "libreoffice", "soffice", "gnumeric", "calligrasheets"})
        if (!QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return true;
    return false;
}

}  // namespace tarnwell
