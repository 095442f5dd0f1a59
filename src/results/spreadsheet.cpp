#include "results/spreadsheet.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <vector>

#include "desktop/shell.h"
#include "errors/failure.h"
#include "fs/descriptor.h"

namespace tarnwell {

namespace {

constexpr auto kXlsxMimeType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
// The widest column a sheet allows, in characters.
constexpr double kMaxColumnWidth = 255;
constexpr time_t kWorkbookLifetimeSeconds = 7 * 24 * 60 * 60;

Failure lastError(const QString& otherwise) {
    return errno != 0 ? Failure::fromErrno(errno) : Failure(otherwise);
}

void check(lxw_error error) {
    if (error != LXW_NO_ERROR)
        throw Failure(QString::fromUtf8(lxw_strerror(error)));
}

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

// A workbook written with libxlsxwriter in constant-memory mode: each row
// goes to disk as soon as the next one begins, so a million rows cost no more
// memory than one. Rows therefore arrive in order, as the export writes them.
class XlsxWorkbook : public SpreadsheetApp {
public:
    XlsxWorkbook(Shell& shell, QString folder, int rowsPerSheet)
        : shell_(shell), folder_(std::move(folder)), rowsPerSheet_(std::max(2, rowsPerSheet)) {}

    ~XlsxWorkbook() override {
        // Only closing a workbook closes the files its sheets stream their
        // rows into: an unfinished one is closed too, into the file that is
        // then dropped, since it is no use to anyone.
        try {
            if (book_)
                close();
        } catch (...) {  // out of memory: what it held stays until the program ends
        }
        if (unnamedFd_ >= 0)
            ::close(unnamedFd_);
        else if (!finished_ && !path_.isEmpty())
            ::unlink(path_.constData());
    }

    void addWorkbook() override {
        if (book_)
            throw Failure(QStringLiteral("A workbook is already open"));
        makePrivateFolder(folder_);
        removeOldWorkbooks(folder_);
        unnamedFd_ = openUnnamedFile(folder_);
        path_ = unnamedFd_ >= 0 ? QByteArray::fromStdString(descriptorPath(unnamedFd_))
                                : reserveWorkbookFile(folder_);
        // The rows waiting to be packed go beside the workbook, in the
        // private folder, rather than in a shared temporary folder.
        tmpdir_ = QFile::encodeName(folder_);
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmpdir_.data();
        book_ = workbook_new_opt(path_.constData(), &options);
        if (!book_)
            throw Failure(QStringLiteral("The workbook could not be created"));
        // Before any sheet: the files libxlsxwriter opens from here on are
        // the ones a failed close may leave open.
        before_ = openTemporaries();
        sheet(0);
    }

    void makeVisible() override { visible_ = true; }

    void setCell(int row, int column, const QString& text) override {
        if (!book_)
            throw Failure(QStringLiteral("No workbook is open"));
        if (row < 1 || column < 1 || column > LXW_COL_MAX)
            throw Failure(QStringLiteral("Index out of bounds"));
        const QByteArray utf8 = text.toUtf8();
        if (row == 1) {
            // Kept to head every further sheet too.
            if (header_.size() < size_t(column))
                header_.resize(size_t(column));
            header_[size_t(column - 1)] = utf8;
            write(0, 0, column, utf8, text.size());
            return;
        }
        // Row 1 of every sheet is the header, so each holds one row fewer
        // of entries than it has rows.
        const int dataRows = rowsPerSheet_ - 1;
        const int index = row - 2;
        write(index / dataRows, lxw_row_t(index % dataRows + 1), column, utf8, text.size());
    }

    void fitColumn(int column) override {
        if (column < 1 || column > LXW_COL_MAX)
            throw Failure(QStringLiteral("Index out of bounds"));
        if (fitted_.size() < size_t(column))
            fitted_.resize(size_t(column));
        fitted_[size_t(column - 1)] = true;
    }

    void fitAllColumns() override { allFitted_ = true; }

    void finish() override {
        if (!book_)
            throw Failure(QStringLiteral("No workbook is open"));
        applyWidths();
        const auto [error, closeErrno] = close();
        if (error != LXW_NO_ERROR) {
            errno = closeErrno;
            throw lastError(QString::fromUtf8(lxw_strerror(error)));
        }
        if (unnamedFd_ >= 0) {
            path_ = nameWorkbookFile(folder_, unnamedFd_);
            ::close(unnamedFd_);
            unnamedFd_ = -1;
        }
        finished_ = true;
        // As a new document made from the file where the application can, so
        // that a plain Save asks where to keep it rather than writing into
        // the program's hidden folder.
        if (visible_ && !shell_.openAsNewDocument(QFile::decodeName(path_)))
            throw Failure(QStringLiteral("The workbook could not be opened"));
    }

private:
    struct Sheet {
        lxw_worksheet* sheet;
        std::vector<qsizetype> longest;  // per column, in characters
    };

    Sheet& sheet(int index) {
        while (int(sheets_.size()) <= index) {
            errno = 0;
            lxw_worksheet* ws = workbook_add_worksheet(book_, nullptr);
            if (!ws)
                throw lastError(QStringLiteral("The worksheet could not be created"));
            sheets_.push_back({ws, {}});
            // A further sheet starts with the header row, like the first.
            if (sheets_.size() > 1)
                for (size_t c = 0; c < header_.size(); ++c)
                    write(int(sheets_.size()) - 1, 0, int(c) + 1, header_[c],
                          QString::fromUtf8(header_[c]).size());
        }
        return sheets_[size_t(index)];
    }

    void write(int sheetIndex, lxw_row_t row, int column, const QByteArray& utf8,
               qsizetype length) {
        Sheet& s = sheet(sheetIndex);
        if (utf8.isEmpty())
            return;  // an empty cell is no cell
        check(
            worksheet_write_string(s.sheet, row, lxw_col_t(column - 1), utf8.constData(), nullptr));
        if (s.longest.size() < size_t(column))
            s.longest.resize(size_t(column));
        qsizetype& longest = s.longest[size_t(column - 1)];
        longest = std::max(longest, length);
    }

    // Closes the workbook, which frees it whatever the outcome. A failed
    // close (a full disk) leaves the temporary files of the sheets it did not
    // get to open, and the space they hold with them, until the program
    // ends: libxlsxwriter closes them only as it packs each sheet, and keeps
    // them nowhere once freed. They are let go here, and only they: unlinked
    // files in the program's private folder, opened since this workbook was
    // made.
    std::pair<lxw_error, int> close() {
        errno = 0;
        const lxw_error error = workbook_close(book_);
        const int closeErrno = errno;
        book_ = nullptr;
        if (error != LXW_NO_ERROR)
            for (int fd : openTemporaries())
                if (!before_.count(fd))
                    ::close(fd);
        return {error, closeErrno};
    }

    // This process's descriptors of unlinked temporary files in the folder.
    std::set<int> openTemporaries() const {
        std::set<int> fds;
        const QByteArray prefix = QFile::encodeName(QFileInfo(folder_).absoluteFilePath()) + '/';
        DIR* dir = ::opendir("/proc/self/fd");
        if (!dir)
            return fds;
        while (const dirent* entry = ::readdir(dir)) {
            char target[4096];
            const ssize_t n =
                ::readlink(descriptorPath(std::atoi(entry->d_name)).c_str(), target, sizeof target);
            const QByteArray path(target, n > 0 ? n : 0);
            if (path.startsWith(prefix) && path.endsWith(" (deleted)"))
                fds.insert(std::atoi(entry->d_name));
        }
        ::closedir(dir);
        return fds;
    }

    // There is no automatic fit: a column is as wide as its longest text.
    void applyWidths() {
        for (Sheet& s : sheets_) {
            for (size_t c = 0; c < s.longest.size(); ++c) {
                const bool fit = allFitted_ || (c < fitted_.size() && fitted_[c]);
                if (!fit || s.longest[c] == 0)
                    continue;
                const double width = std::min(kMaxColumnWidth, double(s.longest[c]) + 1);
                check(worksheet_set_column(s.sheet, lxw_col_t(c), lxw_col_t(c), width, nullptr));
            }
        }
    }

    Shell& shell_;
    QString folder_;
    int rowsPerSheet_;
    QByteArray path_;
    int unnamedFd_ = -1;  // the workbook's file while it has no name
    QByteArray tmpdir_;
    lxw_workbook* book_ = nullptr;
    std::set<int> before_;  // unlinked files in the folder open before the first sheet
    std::vector<Sheet> sheets_;
    std::vector<QByteArray> header_;
    std::vector<bool> fitted_;
    bool allFitted_ = false;
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
    return std::make_unique<XlsxWorkbook>(shell_, folder, options_.rowsPerSheet);
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
