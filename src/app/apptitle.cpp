#include "app/apptitle.h"

namespace tarnwell {

QString applicationTitleFor(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        if (space < 0)
            break;
        title.truncate(space);
    } while (title.size() > 40);
    return title;
}

}  // namespace tarnwell
