#include "desktop/shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <utility>

namespace tarnwell {

namespace {

// The Exec line of the desktop entry with that ID, as written in it.
QString execLineOf(const QString& desktopId) {
    QFile entry(QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId));
    if (entry.fileName().isEmpty() || !entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool inMainGroup = false;
    while (!entry.atEnd()) {
        const QString line = QString::fromUtf8(entry.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inMainGroup = line == QLatin1String("[Desktop Entry]");
        else if (inMainGroup && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5);
    }
    return QString();
}

// The arguments of an Exec value: the value's own escapes first (\s, \n,
// \t, \r, \\), then the quoting of arguments in double quotes, inside which a
// backslash takes the next character literally.
QStringList splitExec(const QString& value) {
    QString exec;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            exec += value[i];
            continue;
        }
        const QChar c = value[++i];
        if (c == QLatin1Char('s'))
            exec += QLatin1Char(' ');
        else if (c == QLatin1Char('n'))
            exec += QLatin1Char('\n');
        else if (c == QLatin1Char('t'))
            exec += QLatin1Char('\t');
        else if (c == QLatin1Char('r'))
            exec += QLatin1Char('\r');
        else if (c == QLatin1Char('\\'))
            exec += QLatin1Char('\\');
        else  // not an escape of the value: the quoting below reads it
            exec += QLatin1Char('\\') + QString(c);
    }
    QStringList args;
    QString arg;
    bool inArg = false, quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size())
                arg += exec[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                arg += c;
        } else if (c == QLatin1Char('"')) {
            quoted = inArg = true;
        } else if (c == QLatin1Char(' ')) {
            if (inArg)
                args << std::exchange(arg, QString());
            inArg = false;
        } else {
            arg += c;
            inArg = true;
        }
    }
    if (inArg)
        args << arg;
    return args;
}

// The command of a desktop entry's Exec value that opens `file` as a new
// document with LibreOffice's -n; empty when the line has no place for a file.
QStringList newDocumentCommand(const QString& exec, const QString& file) {
    QStringList command;
    bool placed = false, given = false;
    for (const QString& arg : splitExec(exec)) {
        const bool asPath = arg == QLatin1String("%f") || arg == QLatin1String("%F");
        const bool asUrl = arg == QLatin1String("%u") || arg == QLatin1String("%U");
        // Flatpak forwards only what stands between its @@ markers into the
        // sandbox, as files: the option goes before them.
        const bool forwarding = arg == QLatin1String("@@u") || arg == QLatin1String("@@f");
        if (!placed && (asPath || asUrl || forwarding)) {
            command << QStringLiteral("-n");
            placed = true;
        }
        given = given || asPath || asUrl;
        if (asPath)
            command << file;
        else if (asUrl)
            command << QUrl::fromLocalFile(file).toString();
        else if (arg.size() == 2 && arg[0] == QLatin1Char('%') && arg[1] != QLatin1Char('%'))
            continue;  // the entry's icon, name or location: nothing to pass here
        else
            command << QString(arg).replace(QLatin1String("%%"), QLatin1String("%"));
    }
    return given ? command : QStringList();
}

}  // namespace

QString defaultApplicationForType(const QString& mimeType) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return QString();
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return QString();
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

bool DesktopShell::openFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool DesktopShell::openFile(const QString& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

bool DesktopShell::openAsNewDocument(const QString& file) {
    const QString application = defaultApplicationForType(
        QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension).name());
    const bool libreOfficeCalc =
        application.contains(QLatin1String("libreoffice"), Qt::CaseInsensitive) &&
        application.contains(QLatin1String("calc"), Qt::CaseInsensitive);
    const QStringList command =
        libreOfficeCalc ? newDocumentCommand(execLineOf(application), file) : QStringList();
    if (command.isEmpty())
        return openFile(file);
    return QProcess::startDetached(command.first(), command.mid(1));
}

}  // namespace tarnwell
