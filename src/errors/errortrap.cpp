#include "errors/errortrap.h"

namespace tarnwell {

QString errorReportText(const QString& description, const QString& object, const QString& procedure,
                        int line) {
    return description + QStringLiteral("\r\n") + QStringLiteral("in Quorrel2021/08/31.") + object +
           QLatin1Char('.') + procedure + QLatin1Char(' ') + QStringLiteral("at line ") +
           QString::number(line) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") + kSupportAddress;
}

void ErrorTrap::report(int line, const QString& description) {
    ++reports_;
    dialogs_.msgBox(errorReportText(description, object_, procedure_, line), vbExclamation,
                    kErrorReportTitle);
}

}  // namespace tarnwell
