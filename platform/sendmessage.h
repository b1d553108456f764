#pragma once

#include <QtGlobal>

class QWidget;

// Window messages the program sends to its editing control.
constexpr quint32 WM_CUT = 0x0300;
constexpr quint32 WM_PASTE = 0x0302;

// A control that can be reached by its handle and answers window messages.
class MessageTarget
{
public:
    virtual ~MessageTarget() = default;
    virtual qint32 handleMessage(quint32 msg, qint32 wParam, qint32 lParam) = 0;
};

// Gives a control a 32-bit handle by which SendMessageA reaches it. The
// handle stays valid until the control is destroyed.
qint32 registerHandle(QWidget *control, MessageTarget *target);
void releaseHandle(qint32 handle);

// Delivers a message to the control with the given handle and returns its
// result; an unknown or stale handle gets 0, like a message to no window.
qint32 SendMessageA(qint32 hWnd, quint32 msg, qint32 wParam, qint32 *lParam);
