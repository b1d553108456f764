#pragma once

#include <QString>

namespace Clipboard {

// Empties the system clipboard.
void clear();
// Puts text on the clipboard as plain text only. Line ends become the
// platform's own (LF here), so that other programs get no stray CRs.
void setText(const QString &text);

} // namespace Clipboard
