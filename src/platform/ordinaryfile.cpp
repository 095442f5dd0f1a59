#include "platform/ordinaryfile.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <QFile>
#include <QtEndian>

namespace tarnwell {

std::optional<unsigned> dosAttributes(const QByteArray& path) {
    // NTFS volumes (both Linux drivers) answer this name though they never
    // list it; other file systems say it is not there.
    unsigned char word[4];
    if (::getxattr(path.constData(), "system.ntfs_attrib_be", word, sizeof word) == sizeof word)
        return qFromBigEndian<quint32>(word);
    return std::nullopt;
}

bool listedAsHidden(const QByteArray& folder, const QByteArray& name) {
    QFile list(QFile::decodeName(folder + "/.hidden"));
    if (!list.open(QIODevice::ReadOnly))
        return false;
    while (!list.atEnd()) {
        QByteArray line = list.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line == name)
            return true;
    }
    return false;
}

bool isOrdinaryFile(const QString& folder, const QString& tail) {
    for (const QString& part : tail.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        if (part.startsWith(QLatin1Char('.')))
            return false;
    const QByteArray path = QFile::encodeName(folder + tail);
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const qsizetype slash = path.lastIndexOf('/');
    if (slash >= 0 && listedAsHidden(path.left(slash), path.mid(slash + 1)))
        return false;
    if (const auto dos = dosAttributes(path); dos && (*dos & (kDosHidden | kDosSystem)))
        return false;
    return true;
}

}  // namespace tarnwell
