#include "ui/cursorfile.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QtEndian>

#include "errors/failure.h"

namespace tarnwell {

namespace {
// ICONDIR (6 bytes) and the first ICONDIRENTRY (16 bytes); in a cursor file
// the entry's planes and bit-count fields hold the hot spot.
constexpr qsizetype kHeaderSize = 6 + 16;
}  // namespace

QCursor loadCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
    const QByteArray data = file.readAll();
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const Failure invalid(QStringLiteral("Invalid picture"));
    if (data.size() < kHeaderSize || qFromLittleEndian<quint16>(bytes) != 0)
        throw invalid;
    const quint16 type = qFromLittleEndian<quint16>(bytes + 2);
    if ((type != 1 && type != 2) || qFromLittleEndian<quint16>(bytes + 4) == 0)
        throw invalid;

    // Qt's icon reader takes cursors only when they are labelled as icons.
    QByteArray asIcon = data;
    asIcon[2] = 1;
    const QImage image = QImage::fromData(asIcon, "ICO");
    if (image.isNull())
        throw invalid;
    int hotX = -1, hotY = -1;
    if (type == 2) {
        hotX = qFromLittleEndian<quint16>(bytes + 6 + 4);
        hotY = qFromLittleEndian<quint16>(bytes + 6 + 6);
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

}  // namespace tarnwell
