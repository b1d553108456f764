#include "metrics.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QStringList>
#include <QStyle>
#include <QWidget>

QFont standardFont(bool bold)
{
    // Verdana is rarely installed on Linux; without a substitution Qt would
    // pick whatever fontconfig matches first. DejaVu Sans was drawn after
    // Verdana's metrics and is what install-deps provides.
    static const bool substituted = [] {
        QFont::insertSubstitutions(
            QStringLiteral("Verdana"),
            QStringList{QStringLiteral("DejaVu Sans"), QStringLiteral("Bitstream Vera Sans")});
        return true;
    }();
    Q_UNUSED(substituted);

    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(9.75);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QRect placeOnScreen(const QRect &frame, const QRect &available)
{
    QRect placed(frame.topLeft(), frame.size().boundedTo(available.size()));
    if (placed.right() > available.right())
        placed.moveRight(available.right());
    if (placed.bottom() > available.bottom())
        placed.moveBottom(available.bottom());
    if (placed.left() < available.left())
        placed.moveLeft(available.left());
    if (placed.top() < available.top())
        placed.moveTop(available.top());
    return placed;
}

namespace {

// The frame the window manager will put around a window not yet shown:
// its own once it has one, otherwise the style's title bar and borders.
QMargins frameMargins(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    if (window->isVisible() && frame != client)
        return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                        frame.right() - client.right(), frame.bottom() - client.bottom());
    const int border = window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return QMargins(border, title + border, border, border);
}

void followSmallerSize(QWidget *container, QSize designed)
{
    const int dx = designed.width() - container->width();
    const int dy = designed.height() - container->height();
    if (dx <= 0 && dy <= 0)
        return;
    for (QObject *child : container->children()) {
        auto *control = qobject_cast<QWidget *>(child);
        if (!control || control->isWindow())
            continue;
        QRect g = control->geometry();
        if (dx > 0) {
            if (g.width() * 2 > designed.width())
                g.setWidth(qMax(1, g.width() - dx));
            else if (g.center().x() * 2 > designed.width())
                g.translate(-dx, 0);
        }
        if (dy > 0) {
            if (g.height() * 2 > designed.height())
                g.setHeight(qMax(1, g.height() - dy));
            else if (g.center().y() * 2 > designed.height())
                g.translate(0, -dy);
        }
        control->setGeometry(g);
    }
}

} // namespace

void fitOnScreen(QWidget *window)
{
    QScreen *screen = QGuiApplication::screenAt(window->geometry().center());
    if (!screen)
        screen = window->screen();
    if (!screen)
        return;
    const QMargins margins = frameMargins(window);
    const QRect frame = window->geometry().marginsAdded(margins);
    const QRect placed = placeOnScreen(frame, screen->availableGeometry());
    const QRect client = placed.marginsRemoved(margins);
    if (client.size() != window->size()) {
        auto *main = qobject_cast<QMainWindow *>(window);
        QWidget *container = main && main->centralWidget() ? main->centralWidget() : window;
        // A window not yet shown has not yet given its client area its size.
        if (window->layout())
            window->layout()->setGeometry(window->rect());
        const QSize designed = container->size();
        if (window->minimumSize() == window->maximumSize())
            window->setFixedSize(client.size());
        else
            window->resize(client.size());
        if (window->layout())
            window->layout()->setGeometry(window->rect());
        followSmallerSize(container, designed);
    }
    window->setGeometry(client);
}
