#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

void Clipboard::clear()
{
    QGuiApplication::clipboard()->clear();
}

void Clipboard::setText(const QString &text)
{
    QString native = text;
    native.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    native.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    auto *mime = new QMimeData;
    mime->setText(native);
    QGuiApplication::clipboard()->setMimeData(mime);
}

QString Clipboard::text()
{
    return QGuiApplication::clipboard()->text();
}
