#pragma once

#include <QFont>
#include <QRect>

// Window and control layouts are given in twips (1/1440 inch). At the usual
// 96 dots per inch 15 twips make one pixel; Qt's logical pixels keep that
// proportion on high-DPI screens, so the conversion stays a fixed ratio.
constexpr int twipsPerPixel = 15;

constexpr int twips(int value)
{
    return value / twipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// The font every text-bearing control uses: Verdana 9.75 pt, or its
// registered substitute (DejaVu Sans) where Verdana is not installed.
QFont standardFont(bool bold = false);
