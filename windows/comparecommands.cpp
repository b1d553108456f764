#include "commondialog.h"
#include "document.h"
#include "frmcompare.h"
#include "frmmain.h"
#include "metrics.h"
#include "richtextbox.h"

#include <QFileInfo>
#include <QMenu>
#include <QTextBlock>

// File > Compare with File... and Compare with Saved, after Reopen with
// Encoding. The compare dialog is a dialog of its own: cdl1's next start
// place belongs to Open and Save As.
void FrmMainWindow::buildCompareMenu()
{
    mnuCompareFile = addItem(mnuFile, "mnuCompareFile", QStringLiteral("Compare with File..."),
                             QKeySequence(), &FrmMainWindow::mnuCompareFile_Click);
    mnuCompareSaved = addItem(mnuFile, "mnuCompareSaved", QStringLiteral("Compare with Saved"),
                              QKeySequence(), &FrmMainWindow::mnuCompareSaved_Click, false);
    connect(document, &Document::filePathChanged, this,
            [this](const QString &path) { mnuCompareSaved->setEnabled(!path.isEmpty()); });
    // A comparison is of the document shown: another file opened, a reload
    // or a load cancelled leave it behind.
    connect(document, &Document::documentReplaced, this, [this] {
        if (frmCompare)
            frmCompare->close();
    });
    cdlCompare = new CommonDialog(this,
                                  {QStringLiteral("Text Files (*.txt) (*.txt)"),
                                   QStringLiteral("VYX files (.vyx) (*.vyx)"),
                                   QStringLiteral("All Files (*)")},
                                  1);
    cdlCompare->setObjectName(QStringLiteral("cdlCompare"));
}

void FrmMainWindow::mnuCompareFile_Click()
{
    if (document->isLoading())
        return;
    // The folder last used for a comparison, at first the document's.
    if (cdlCompare->FileName.isEmpty())
        cdlCompare->InitDir = document->filePath();
    else
        cdlCompare->InitDir = cdlCompare->FileName;
    if (!cdlCompare->ShowOpen())
        return;
    const QString path = cdlCompare->FileName;
    openCompare(path, QFileInfo(path).fileName());
}

void FrmMainWindow::mnuCompareSaved_Click()
{
    const QString path = document->filePath();
    if (path.isEmpty() || document->isLoading())
        return;
    openCompare(path, tr("%1 (on disk)").arg(QFileInfo(path).fileName()));
}

void FrmMainWindow::openCompare(const QString &path, const QString &name)
{
    if (!frmCompare) {
        frmCompare = new FrmCompare(this, document, rtfMain->font());
        // A double click on a line of the document goes to it here.
        connect(frmCompare, &FrmCompare::documentLineActivated, this, [this](int line) {
            QTextDocument *doc = rtfMain->document();
            const QTextBlock block = doc->findBlockByNumber(qMin(line, doc->blockCount()) - 1);
            rtfMain->setTextCursor(QTextCursor(block));
            rtfMain->centerCursor();
            raise();
            activateWindow();
            rtfMain->setFocus();
        });
    }
    const bool placed = frmCompare->isVisible();
    frmCompare->compare(path, name);
    frmCompare->show();
    if (!placed) {
        // Over the editor, and on the screen whatever its size.
        frmCompare->move(geometry().center() - frmCompare->rect().center());
        fitOnScreen(frmCompare);
    }
    frmCompare->raise();
    frmCompare->activateWindow();
}
