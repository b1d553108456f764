#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

void Clipboard::setText(const QString &text)
{
    // Replaces whatever the clipboard held with text/plain alone.
    QGuiApplication::clipboard()->setText(text);
}
