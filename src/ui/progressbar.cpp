#include "ui/progressbar.h"

#include <algorithm>
#include <cmath>

namespace tarnwell {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
    setAccessibleName(QStringLiteral("Progress Bar"));
    QProgressBar::setValue(0);
}

void ProgressBar::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    setAccessibleDescription(text);
    update();
}

void ProgressBar::setValue(double percent) {
    value_ = percent;
    const double shown = std::isfinite(percent) ? std::clamp(percent, 0.0, 100.0) : 0.0;
    QProgressBar::setValue(int(std::lround(shown)));
}

}  // namespace tarnwell
