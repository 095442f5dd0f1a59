#include "ui/skinframework.h"

#include <QFile>
#include <QStringDecoder>

#include "errors/failure.h"

namespace tarnwell {

bool looksLikeStyleSheet(const QByteArray& content) {
    if (content.contains('\0'))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(content);
    if (utf8.hasError())
        return false;
    int depth = 0;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('/') && i + 1 < text.size() &&
                   text[i + 1] == QLatin1Char('*')) {
            const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
            if (end < 0)
                return false;
            i = end + 1;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char('}')) {
            if (--depth < 0)
                return false;
        }
    }
    return depth == 0 && quote.isNull();
}

void SkinFramework::LoadSkin(const QString& path, const QString& section) {
    if (!section.isEmpty())
        throw Failure(QStringLiteral("Skin section not found"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(file.errorString());
    if (!looksLikeStyleSheet(content))
        throw Failure(QStringLiteral("Invalid skin file"));
    sheet_ = QString::fromUtf8(content);
    loaded_ = true;
}

void SkinFramework::ApplyWindow(WId handle) {
    if (!loaded_)
        throw Failure(QStringLiteral("No skin loaded"));
    QWidget* window = QWidget::find(handle);
    if (!window)
        throw Failure(QStringLiteral("Invalid window handle"));
    window->setProperty("skinControls", bool(options_ & kSkinControls));
    window->setProperty("skinFlat", flatControls_);
    window->setProperty("skinHover", hoverHighlight_);
    window->setStyleSheet(sheet_);
}

}  // namespace tarnwell
