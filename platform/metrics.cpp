#include "metrics.h"

#include <QStringList>

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
