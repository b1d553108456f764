#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

void Clipboard::clear()
{
    QGuiApplication::clipboard()->clear();
}

namespace {

// CR LF and lone CR become LF in one pass; QString::replace would move the
// whole rest of the string once per 1024 line ends.
QString withLf(const QString &text)
{
    // Text already in that form is shared rather than copied.
    if (!text.contains(QLatin1Char('\r')))
        return text;
    QString lf(text.size(), Qt::Uninitialized);
    QChar *dst = lf.data();
    for (auto src = text.cbegin(), end = text.cend(); src != end; ++src) {
        if (*src == QLatin1Char('\r')) {
            *dst++ = QLatin1Char('\n');
            if (src + 1 != end && src[1] == QLatin1Char('\n'))
                ++src;
        } else {
            *dst++ = *src;
        }
    }
    lf.truncate(dst - lf.constData());
    return lf;
}

} // namespace

void Clipboard::setText(const QString &text)
{
    auto *mime = new QMimeData;
    mime->setText(withLf(text));
    QGuiApplication::clipboard()->setMimeData(mime);
}
