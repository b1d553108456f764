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
        frmMain().win()->document->textDocument()->setModified(false);
        frmMain().unload();
    }
    flushDeferredDeletes();
}

} // namespace TestUtil
