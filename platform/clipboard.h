#pragma once

#include <QString>

namespace Clipboard {

// Puts text on the clipboard as plain text only; callers pass it with the
// platform's own line ends (LF here), so that other programs get no stray CRs.
void setText(const QString &text);

} // namespace Clipboard
