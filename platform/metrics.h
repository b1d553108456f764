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

class QWidget;

// Where a window's frame goes on a screen's available area: where it is,
// when it fits there; otherwise no larger than the area and moved onto it.
QRect placeOnScreen(const QRect &frame, const QRect &available);
// Makes a window fit the screen it opens on, whatever the scale: placed by
// placeOnScreen, with a fixed size kept fixed at the smaller size. The
// controls, placed by hand, follow a smaller window: one that spans more
// than half of it shrinks with it, one in its far half moves with its edge.
void fitOnScreen(QWidget *window);
