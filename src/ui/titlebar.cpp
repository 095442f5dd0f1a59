#include "ui/titlebar.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

namespace tarnwell {

namespace {

constexpr int kButtonSize = 24;
constexpr int kMargin = 4;

QToolButton* titleButton(QWidget* bar, QStyle::StandardPixmap picture, const QString& name) {
    auto* button = new QToolButton(bar);
    button->setIcon(bar->style()->standardIcon(picture, nullptr, button));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(name);
    button->setAccessibleName(name);
    button->resize(kButtonSize, kButtonSize);
    return button;
}

}  // namespace

TitleBar::TitleBar(QWidget* window)
    : QWidget(window),
      minimise_(titleButton(this, QStyle::SP_TitleBarMinButton, QStringLiteral("Minimise"))),
      close_(titleButton(this, QStyle::SP_TitleBarCloseButton, QStringLiteral("Close"))) {
    setObjectName(QStringLiteral("TitleBar"));
    setAccessibleName(QStringLiteral("Title bar"));
    setGeometry(0, 0, window->width(), kHeight);
    const int top = (kHeight - kButtonSize) / 2;
    close_->move(width() - kMargin - kButtonSize, top);
    minimise_->move(close_->x() - kMargin - kButtonSize, top);
    connect(minimise_, &QToolButton::clicked, window, &QWidget::showMinimized);
    connect(close_, &QToolButton::clicked, window, &QWidget::close);
    window->installEventFilter(this);
}

void TitleBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.fillRect(rect(), colours.color(QPalette::Window).darker(108));
    painter.setPen(colours.color(QPalette::Mid));
    painter.drawLine(0, height() - 1, width(), height() - 1);

    const QIcon icon = window()->windowIcon();
    const int iconSize = kHeight - 2 * kMargin - 2;
    if (!icon.isNull())
        icon.paint(&painter, kMargin + 2, (kHeight - iconSize) / 2, iconSize, iconSize);
    QFont font = painter.font();
    font.setBold(false);
    painter.setFont(font);
    painter.setPen(colours.color(isActiveWindow() ? QPalette::Active : QPalette::Inactive,
                                 QPalette::WindowText));
    const QRect titleArea(kHeight, 0, minimise_->x() - kHeight - kMargin, kHeight);
    painter.drawText(titleArea, Qt::AlignCenter,
                     painter.fontMetrics().elidedText(window()->windowTitle(), Qt::ElideRight,
                                                      titleArea.width()));
}

void TitleBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && window()->windowHandle() &&
        window()->windowHandle()->startSystemMove())
        event->accept();
    else
        QWidget::mousePressEvent(event);
}

// The title and the icon are drawn from the window's, and the title's colour
// follows whether the window is active.
bool TitleBar::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowTitleChange:
        case QEvent::WindowIconChange:
        case QEvent::ActivationChange:
            update();
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarnwell
