#pragma once

#include <QProgressBar>

namespace tarnwell {

// A progress bar with a line of text drawn on it. The text is shown as given
// (a path may hold '%'), and is also the bar's accessible description, since
// a screen reader is not told a progress bar's text otherwise.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    const QString& Text() const { return text_; }
    void setText(const QString& text);

    // The value as last set, a percentage; values above 100 show as 100.
    double Value() const { return value_; }
    void setValue(double percent);

    QString text() const override { return text_; }

private:
    QString text_;
    double value_ = 0;
};

}  // namespace tarnwell
