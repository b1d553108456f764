#include "document.h"
#include "frmmain.h"
#include "testutil.h"

#include <QTest>
#include <QTextDocument>

namespace TestUtil {

bool showEditor()
{
    frmMain().show();
    return QTest::qWaitForWindowExposed(frmMain().window());
}

void closeEditor()
{
    if (frmMain().isLoaded()) {
        shownDocument()->textDocument()->setModified(false);
        frmMain().unload();
    }
    flushDeferredDeletes();
}

Document *shownDocument()
{
    return part<Document>(frmMain().win(), "document");
}

QAction *menuItem(const char *name)
{
    return part(frmMain().win(), name);
}

} // namespace TestUtil
