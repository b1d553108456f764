#include "commondialog.h"
#include "document.h"
#include "filehistory.h"
#include "frmcompare.h"
#include "frmmain.h"
#include "menutext.h"
#include "messagebox.h"
#include "recoveryjournal.h"
#include "richtextbox.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

namespace {

// What the user answers to a question Save asks before writing.
enum class SaveReply { Go, SaveElsewhere, Stop };

SaveReply goOnIfYes(QMessageBox::StandardButton answer)
{
    return answer == QMessageBox::Yes ? SaveReply::Go : SaveReply::Stop;
}

// The question for something writing to path would lose, in the user's words.
SaveReply askBeforeSaving(QWidget *window, const SaveQuestion &question, const QString &path,
                          const FileEncoding &encoding)
{
    switch (question.kind) {
    case SaveQuestion::ReplaceRichText:
        switch (askYesNoCancel(
            window,
            QObject::tr("%1 is a rich-text file. Saving writes it as plain text: its "
                        "formatting, pictures, links and notes are lost.\n\nReplace it with "
                        "plain text? Choose No to save under another name.")
                .arg(quotedPath(path)))) {
        case QMessageBox::Yes:
            return SaveReply::Go;
        case QMessageBox::No:
            return SaveReply::SaveElsewhere;
        default:
            return SaveReply::Stop;
        }
    case SaveQuestion::OverwriteOtherChanges:
        // Return must not throw away another program's work: No is the default.
        return goOnIfYes(
            askYesNo(window,
                     QObject::tr("%1 has been changed by another program since it was opened or "
                                 "saved here.\n\nOverwrite those changes with the text shown?")
                         .arg(quotedPath(path)),
                     QMessageBox::No));
    case SaveQuestion::CreateRemovedFile:
        return goOnIfYes(askYesNo(
            window,
            QObject::tr("%1 is no longer on disk: another program has removed or renamed it "
                        "since it was opened or saved here.\n\nCreate it again with the text "
                        "shown?")
                .arg(quotedPath(path))));
    case SaveQuestion::MisplacedKeptBytes:
        return goOnIfYes(
            askYesNo(window,
                     QObject::tr("Line %1 holds bytes from a file in another encoding, which "
                                 "%2 in %3 cannot hold as they are: written alone, they would "
                                 "shift every character after them.\n\nWrite each such byte as "
                                 "the replacement character \u00AB\uFFFD\u00BB instead? No "
                                 "writes nothing.")
                         .arg(question.line)
                         .arg(quotedPath(path), encoding.name),
                     QMessageBox::No));
    case SaveQuestion::LegacyNotExact:
        return askAcceptCancel(window,
                               QObject::tr("%1 cannot be written back exactly in %2: some of its "
                                           "bytes or characters have no place there.\n\nSave "
                                           "it as UTF-8 instead?")
                                   .arg(quotedPath(path), encoding.name),
                               QStringLiteral("UTF-8"))
            ? SaveReply::Go
            : SaveReply::Stop;
    case SaveQuestion::Windows1252BecomesUtf8:
        return goOnIfYes(
            askYesNo(window,
                     QObject::tr("The text has characters that Windows-1252 cannot hold, so %1 "
                                 "will be saved as UTF-8. Its accented letters and other "
                                 "characters above ASCII then change bytes, and programs that "
                                 "read it as Windows-1252 show them wrongly.\n\nSave as UTF-8?")
                         .arg(quotedPath(path))));
    }
    return SaveReply::Stop;
}

} // namespace

// Writes the document to path; tells the user why when that fails. Asks
// first what the document says the write would lose, and does what the
// user agrees to.
bool FrmMainWindow::writeDocument(const QString &path)
{
    // Every question is answered before any answer is acted on: a later No
    // must leave the text as it was, kept bytes and all.
    const QList<SaveQuestion> questions = document->saveQuestions(path);
    for (const SaveQuestion &question : questions) {
        switch (askBeforeSaving(this, question, path, document->encoding())) {
        case SaveReply::Go:
            break;
        case SaveReply::SaveElsewhere:
            return saveAs();
        case SaveReply::Stop:
            return false;
        }
    }
    for (const SaveQuestion &question : questions)
        document->accept(question);
    if (!document->save(path)) {
        showWarning(
            this, QObject::tr("Cannot save %1: %2").arg(quotedPath(path), document->errorString()));
        return false;
    }
    FileHistory::addRecentFile(document->filePath());
    fillRecentFiles();
    return true;
}

bool FrmMainWindow::saveAs()
{
    cdl1->InitDir = frmMain().strLastsave;
    if (!cdl1->ShowSave())
        return false;
    const QString path = cdl1->FileName;
    if (!writeDocument(path))
        return false;
    frmMain().setCaption(path);
    frmMain().strLastsave = path;
    return true;
}

// Save writes only to the file the document shown came from or was saved
// to; a document without one is saved under a name the user chooses.
bool FrmMainWindow::save()
{
    const QString path = document->filePath();
    if (path.isEmpty())
        return saveAs();
    return writeDocument(path);
}

bool FrmMainWindow::openDocument(const QString &path, int line)
{
    const QFileInfo info(path);
    const QString fullPath = info.absoluteFilePath();
    const QString earlierCaption = frmMain().caption();
    const QString earlierLastopen = frmMain().strLastopen;
    rememberPlace();
    if (!document->beginLoad(fullPath)) {
        showWarning(
            this,
            QObject::tr("Cannot open %1: %2").arg(quotedPath(fullPath), document->errorString()));
        return false;
    }
    frmMain().setCaption(info.fileName());
    frmMain().strLastopen = fullPath;
    // A big file goes on loading in the background; stopped, it leaves the
    // earlier document as it was, under its own name.
    document->whenLoaded(this, [=](bool completed) {
        if (completed) {
            placeCaret(fullPath, line);
            return;
        }
        frmMain().setCaption(earlierCaption);
        frmMain().strLastopen = earlierLastopen;
    });
    return true;
}

void FrmMainWindow::placeCaret(const QString &path, int line)
{
    FileHistory::addRecentFile(path);
    fillRecentFiles();
    QTextDocument *doc = rtfMain->document();
    if (line > 0) {
        const QTextBlock block = doc->findBlockByNumber(qMin(line, doc->blockCount()) - 1);
        rtfMain->setTextCursor(QTextCursor(block));
        rtfMain->centerCursor();
        return;
    }
    FileHistory::returnToPlace(path, rtfMain);
}

void FrmMainWindow::rememberPlace()
{
    FileHistory::rememberPlace(document, rtfMain);
}

void FrmMainWindow::fillRecentFiles()
{
    // The item chosen may be the one running: it goes once that is over.
    for (QAction *item : mnuRecentFiles->actions()) {
        if (item != mnuClearRecentFiles) {
            mnuRecentFiles->removeAction(item);
            item->deleteLater();
        }
    }
    const QStringList files = FileHistory::recentFiles();
    QList<QAction *> items;
    for (int i = 0; i < files.size(); ++i) {
        // &1 to &9, then 1&0.
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        auto *item = new QAction(number + u' ' + menuText(QDir::toNativeSeparators(files[i])),
                                 mnuRecentFiles);
        item->setObjectName(QStringLiteral("mnuRecentFile%1").arg(i + 1));
        const QString path = files[i];
        connect(item, &QAction::triggered, this, [this, path] { openRecentFile(path); });
        items.append(item);
    }
    if (!items.isEmpty()) {
        auto *separator = new QAction(mnuRecentFiles);
        separator->setSeparator(true);
        separator->setObjectName(QStringLiteral("mnuRecentFilesSep"));
        items.append(separator);
    }
    mnuRecentFiles->insertActions(mnuClearRecentFiles, items);
    mnuClearRecentFiles->setEnabled(!files.isEmpty());
}

void FrmMainWindow::mnuClearRecentFiles_Click()
{
    FileHistory::clearRecentFiles();
    fillRecentFiles();
}

void FrmMainWindow::openRecentFile(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        FileHistory::removeRecentFile(path);
        fillRecentFiles();
        showWarning(this,
                    QObject::tr("%1 no longer exists. It has been removed from the recent files.")
                        .arg(quotedPath(path)));
        return;
    }
    if (confirmDiscardChanges())
        openDocument(path);
}

void FrmMainWindow::openDroppedFiles(const QList<QUrl> &files)
{
    if (files.isEmpty() || document->isLoading())
        return;
    if (confirmDiscardChanges())
        openDocument(files.first().toLocalFile());
}

void FrmMainWindow::reopenWithEncoding(const QString &encodingName)
{
    const QString path = document->filePath();
    FileEncoding encoding;
    if (path.isEmpty() || document->isLoading() || !FileEncoding::fromName(encodingName, &encoding)
        || !confirmDiscardChanges())
        return;
    rememberPlace();
    if (!document->beginReload(encoding)) {
        showWarning(
            this, QObject::tr("Cannot open %1: %2").arg(quotedPath(path), document->errorString()));
        return;
    }
    document->whenLoaded(this, [this, path](bool completed) {
        if (completed)
            placeCaret(path, 0);
    });
}

void FrmMainWindow::checkDocumentOnDisk()
{
    if (!document->newFileChangeOnDisk())
        return;
    const QString path = document->filePath();
    QWidget *window = this;
    if (document->fileRemovedFromDisk(path)) {
        showWarning(window,
                    QObject::tr("%1 is no longer on disk: another program has removed or renamed "
                                "it. Your text here is kept; Save will ask before creating the "
                                "file again.")
                        .arg(quotedPath(path)));
        return;
    }
    if (!document->isModified()) {
        if (askYesNo(window,
                     QObject::tr("%1 has been changed by another program.\n\nReload it?")
                         .arg(quotedPath(path)))
            == QMessageBox::Yes)
            openDocument(path);
        return;
    }
    showWarning(window,
                QObject::tr("%1 has been changed by another program. Your changes here are kept; "
                            "Save will ask before writing over the other program's.")
                    .arg(quotedPath(path)));
}

void FrmMainWindow::mnuNew_Click()
{
    if (!confirmDiscardChanges())
        return;
    document->cancelLoad();
    if (frmCompare)
        frmCompare->close();
    rememberPlace();
    rtfMain->setText(QString());
    document->forgetFile();
    rtfMain->document()->setModified(false);
}

void FrmMainWindow::mnuOpen_Click()
{
    if (!confirmDiscardChanges())
        return;
    cdl1->InitDir = frmMain().strLastopen;
    if (!cdl1->ShowOpen())
        return;
    openDocument(cdl1->FileName);
}

void FrmMainWindow::mnuSave_Click()
{
    save();
}

void FrmMainWindow::mnuSaveAs_Click()
{
    saveAs();
}

// The window closes without asking again; the last window closed ends the
// program.
void FrmMainWindow::mnuExit_Click()
{
    if (!confirmDiscardChanges())
        return;
    frmMain().unload();
}

bool FrmMainWindow::confirmDiscardChanges()
{
    // During a load the question is about the document shown before it,
    // and Cancel lets the load go on.
    if (!document->isModified())
        return true;
    switch (askYesNoCancel(this, QStringLiteral("Save Changes?"))) {
    case QMessageBox::Yes:
        // What is saved is that earlier document: the load gives way.
        document->cancelLoad();
        return save();
    case QMessageBox::No:
        // The user drops the work: its journal goes with it.
        journal->discard();
        return true;
    default:
        return false;
    }
}
