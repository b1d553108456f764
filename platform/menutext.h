#pragma once

#include <QString>

// A file name (or any text the user chose) as a menu item's text: a menu
// takes '&' as the mark of the mnemonic letter, so "ships&weapons.vyx"
// would show as "shipsweapons.vyx" with an underlined w. Doubled, it shows.
inline QString menuText(QString text)
{
    return text.replace(u'&', QLatin1String("&&"));
}
