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

bool saveAs();

// Writes the document to path; tells the user why when that fails. Asks
// first where the write would lose something: a rich-text source replaced
// by plain text (No offers another name), someone else's changes on disk,
// or the bytes of a Windows-1252 file rewritten as UTF-8.
bool writeDocument(const QString &path)
{
    RichTextBox *rtf = frmMain().rtfMain();
    QWidget *window = frmMain().window();
    if (rtf->isRichTextSource(path)) {
        switch (askYesNoCancel(
            window,
            QObject::tr("%1 is a rich-text file. Saving writes it as plain text: its "
                        "formatting, pictures, links and notes are lost.\n\nReplace it with "
                        "plain text? Choose No to save under another name.")
                .arg(quoted(path)))) {
        case QMessageBox::Yes:
            break;
        case QMessageBox::No:
            return saveAs();
        default:
            return false;
        }
    }
    if (rtf->fileChangedOnDisk(path)
        && askYesNo(window,
                    QObject::tr("%1 has been changed by another program since it was opened or "
                                "saved here.\n\nOverwrite those changes with the text shown?")
                        .arg(quoted(path)))
            != QMessageBox::Yes)
        return false;
    if (rtf->saveChangesEncoding()
        && askYesNo(window,
                    QObject::tr("The text has characters that Windows-1252 cannot hold, so %1 "
                                "will be saved as UTF-8. Its accented letters and other "
                                "characters above ASCII then change bytes, and programs that read "
                                "it as Windows-1252 show them wrongly.\n\nSave as UTF-8?")
                        .arg(quoted(path)))
            != QMessageBox::Yes)
        return false;
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
    const QString earlierCaption = frmMain().caption();
    const QString earlierLastopen = frmMain().strLastopen;
    const QString earlierPath = frmMain().documentPath;
    if (!rtf->beginLoad(fullPath)) {
        showWarning(frmMain().window(),
                    QObject::tr("Cannot open %1: %2").arg(quoted(fullPath), rtf->errorString()));
        return false;
    }
    frmMain().setCaption(info.fileName());
    frmMain().strLastopen = fullPath;
    frmMain().documentPath = fullPath;
    // A big file goes on loading in the background; stopped, it leaves the
    // earlier document as it was, under its own name.
    if (rtf->isLoading()) {
        QObject::connect(
            rtf, &RichTextBox::loadEnded, rtf,
            [=](bool completed) {
                if (completed)
                    return;
                frmMain().setCaption(earlierCaption);
                frmMain().strLastopen = earlierLastopen;
                frmMain().documentPath = earlierPath;
            },
            Qt::SingleShotConnection);
    }
    return true;
}

void checkDocumentOnDisk()
{
    RichTextBox *rtf = frmMain().rtfMain();
    const QString path = frmMain().documentPath;
    // While a file loads, the file it comes from is not the document's yet.
    if (!rtf || rtf->isLoading() || path.isEmpty() || !rtf->newFileChangeOnDisk(path))
        return;
    QWidget *window = frmMain().window();
    if (!isModified()) {
        if (askYesNo(window,
                     QObject::tr("%1 has been changed by another program.\n\nReload it?")
                         .arg(quoted(path)))
            == QMessageBox::Yes)
            openDocument(path);
        return;
    }
    showWarning(window,
                QObject::tr("%1 has been changed by another program. Your changes here are kept; "
                            "Save will ask before writing over the other program's.")
                    .arg(quoted(path)));
}

void mnuNew_Click()
{
    if (!confirmDiscardChanges())
        return;
    RichTextBox *rtf = frmMain().rtfMain();
    rtf->setText(QString());
    rtf->forgetFile();
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
    // A load under way is stopped first: the document to keep or drop is
    // the one shown before it.
    if (RichTextBox *rtf = frmMain().rtfMain())
        rtf->cancelLoad();
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
