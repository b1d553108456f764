#include "sendmessage.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

namespace {

struct Entry
{
    QPointer<QWidget> widget;
    MessageTarget *target;
};

QHash<qint32, Entry> &handles()
{
    static QHash<qint32, Entry> table;
    return table;
}

qint32 s_nextHandle = 0x1000;

} // namespace

qint32 registerHandle(QWidget *control, MessageTarget *target)
{
    const qint32 handle = s_nextHandle;
    s_nextHandle += 4;
    handles().insert(handle, Entry{control, target});
    return handle;
}

void releaseHandle(qint32 handle)
{
    handles().remove(handle);
}

qint32 SendMessageA(qint32 hWnd, quint32 msg, qint32 wParam, qint32 *lParam)
{
    const auto it = handles().constFind(hWnd);
    if (it == handles().constEnd() || it->widget.isNull())
        return 0;
    return it->target->handleMessage(msg, wParam, lParam ? *lParam : 0);
}
