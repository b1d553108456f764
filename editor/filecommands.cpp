#include "filecommands.h"

#include "commondialog.h"
#include "frmmain.h"
#include "messagebox.h"
#include "richtextbox.h"

#include <QDir>
#include <QFileInfo>
#include <QTextDocument>

namespace {

QString quoted(const QString &path)
{
    return QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path));
}

bool isModified()
{
    RichTextBox *rtf = frmMain().rtfMain();
    return rtf && rtf->document()->isModified();
}

// Writes the document to path; tells the user why when that fails.
bool writeDocument(const QString &path)
{
    RichTextBox *rtf = frmMain().rtfMain();
    if (!rtf->SaveFile(path, RichTextBox::rtfText)) {
        showWarning(frmMain().window(),
                    QObject::tr("Cannot save %1: %2").arg(quoted(path), rtf->errorString()));
        return false;
    }
    rtf->document()->setModified(false);
    return true;
}

bool saveAs()
{
    FrmMainWindow *w = frmMain().win();
    CommonDialog *cdl1 = w->cdl1;
    cdl1->InitDir = frmMain().strLastsave;
    if (!cdl1->ShowSave())
        return false;
    const QString path = cdl1->FileName;
    if (!writeDocument(path))
        return false;
    frmMain().setCaption(path);
    frmMain().strLastsave = path;
    frmMain().documentPath = path;
    return true;
}

// Save writes only to the file the document shown came from or was saved
// to; a document without one is saved under a name the user chooses.
bool save()
{
    const QString path = frmMain().documentPath;
    if (path.isEmpty())
        return saveAs();
    return writeDocument(path);
}

} // namespace

bool openDocument(const QString &path)
{
    frmMain().load();
    RichTextBox *rtf = frmMain().rtfMain();
    const QFileInfo info(path);
    const QString fullPath = info.absoluteFilePath();
    // Reading a pipe or a device could wait forever or never end.
    if (info.exists() && !info.isFile() && !info.isDir()) {
        showWarning(frmMain().window(),
                    QObject::tr("Cannot open %1: it is not a regular file.").arg(quoted(fullPath)));
        return false;
    }
    if (!rtf->LoadFile(fullPath)) {
        showWarning(frmMain().window(),
                    QObject::tr("Cannot open %1: %2").arg(quoted(fullPath), rtf->errorString()));
        return false;
    }
    frmMain().setCaption(info.fileName());
    frmMain().strLastopen = fullPath;
    frmMain().documentPath = fullPath;
    return true;
}

void mnuNew_Click()
{
    if (!confirmDiscardChanges())
        return;
    RichTextBox *rtf = frmMain().rtfMain();
    rtf->setText(QString());
    rtf->setFileEncoding(TextEncoding::Auto, false);
    rtf->document()->setModified(false);
    frmMain().documentPath.clear();
}

void mnuOpen_Click()
{
    if (!confirmDiscardChanges())
        return;
    CommonDialog *cdl1 = frmMain().win()->cdl1;
    cdl1->InitDir = frmMain().strLastopen;
    if (!cdl1->ShowOpen())
        return;
    openDocument(cdl1->FileName);
}

void mnuSave_Click()
{
    save();
}

void mnuSaveAs_Click()
{
    saveAs();
}

void mnuExit_Click()
{
    if (!confirmDiscardChanges())
        return;
    Runtime::endProgram();
}

bool confirmDiscardChanges()
{
    if (!isModified())
        return true;
    switch (askYesNoCancel(frmMain().window(), QStringLiteral("Save Changes?"))) {
    case QMessageBox::Yes:
        return save();
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}
