#include "document.h"
#include "frmmain.h"
#include "journal.h"
#include "messagebox.h"
#include "recoveryjournal.h"
#include "richtextbox.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBlock>

namespace {

QString describe(const JournalEntry &entry)
{
    const QString name
        = entry.path.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(entry.path).fileName();
    return QStringLiteral("%1, last changed %2")
        .arg(name, QLocale().toString(entry.changed, QLocale::ShortFormat));
}

enum class Choice { Recover, Discard, Later };

// Journals that cannot be read (cut short, damaged, or of a later version
// of the program), named so that the user can look at them or drop them.
QString unreadableNote(const JournalStore *store, const QStringList &ids)
{
    if (ids.isEmpty())
        return QString();
    QStringList names;
    for (const QString &id : ids)
        names << QFileInfo(store->journalPath(id)).fileName();
    return QStringLiteral("%1 recovery %2 could not be read (in \"%3\"): %4.")
        .arg(QString::number(ids.size()),
             ids.size() > 1 ? QStringLiteral("files") : QStringLiteral("file"),
             QDir::toNativeSeparators(store->folder()), names.join(QLatin1String(", ")));
}

// One question for all the journals found; what it decides is about the
// first of them, the most recently changed, and those that cannot be read.
Choice ask(QWidget *parent, const QStringList &lines, const QString &unreadable)
{
    QString text = QStringLiteral("Unsaved work was found and can be recovered:\n\n%1\n\n"
                                  "Recover brings %2 back; Discard deletes it; Later keeps it "
                                  "for the next start.")
                       .arg(lines.join(u'\n'),
                            lines.size() > 1 ? QStringLiteral("the first") : QStringLiteral("it"));
    if (!unreadable.isEmpty())
        text += QStringLiteral("\n\n%1 Discard deletes them too.").arg(unreadable);
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("msgRecovery"));
    QPushButton *recover = box.addButton(QStringLiteral("Recover"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton *later = box.addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    recover->setObjectName(QStringLiteral("cmdRecover"));
    discard->setObjectName(QStringLiteral("cmdDiscard"));
    later->setObjectName(QStringLiteral("cmdLater"));
    box.setDefaultButton(recover);
    // Escape and the close box keep the work for later.
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == recover)
        return Choice::Recover;
    if (box.clickedButton() == discard)
        return Choice::Discard;
    return Choice::Later;
}

// The notice of unreadable journals when there is no work to recover.
bool askDiscardUnreadable(QWidget *parent, const QString &unreadable, qsizetype count)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle(),
                    QStringLiteral("%1\n\nDiscard deletes %2; Later keeps %2 for the next "
                                   "start.")
                        .arg(unreadable, count > 1 ? QStringLiteral("them") : QStringLiteral("it")),
                    QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("msgUnreadableJournals"));
    QPushButton *discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton *later = box.addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    discard->setObjectName(QStringLiteral("cmdDiscard"));
    later->setObjectName(QStringLiteral("cmdLater"));
    box.setDefaultButton(later);
    box.setEscapeButton(later);
    box.exec();
    return box.clickedButton() == discard;
}

} // namespace

bool FrmMainWindow::offerRecovery()
{
    JournalStore *store = frmMain().journalStore();
    QStringList ids;
    QList<JournalEntry> entries;
    // Journals that cannot be read are named, and deleted only when the
    // user says so: their bytes may still be of use to someone.
    QStringList unreadable;
    for (const QString &id : store->claimOrphans()) {
        JournalEntry entry;
        if (!store->read(id, &entry)) {
            unreadable << id;
            continue;
        }
        ids << id;
        entries << entry;
    }
    QWidget *parent = isVisible() ? this : nullptr;
    // Unreadable journals have a notice of their own only when nothing else is offered.
    const bool offered = !entries.isEmpty();
    bool recovered = false;
    while (!entries.isEmpty() && !recovered) {
        QStringList lines;
        for (const JournalEntry &entry : std::as_const(entries))
            lines << describe(entry);
        const QString id = ids.first();
        const Choice choice = ask(parent, lines, unreadableNote(store, unreadable));
        if (choice == Choice::Later)
            break;
        if (choice == Choice::Discard) {
            if (askYesNo(
                    parent,
                    QStringLiteral("Delete the unsaved work of %1 for good?").arg(lines.first()))
                != QMessageBox::Yes)
                continue;
            store->remove(id);
            for (const QString &bad : std::as_const(unreadable))
                store->remove(bad);
            unreadable.clear();
        } else {
            const JournalEntry &entry = entries.first();
            document->restore(entry.path, entry.identity, entry.encoding, entry.text);
            QTextCursor caret(rtfMain->document());
            caret.setPosition(qBound(0, entry.caret, rtfMain->document()->characterCount() - 1));
            rtfMain->setTextCursor(caret);
            rtfMain->ensureCursorVisible();
            frmMain().setCaption(entry.path.isEmpty() ? applicationTitle()
                                                      : QFileInfo(entry.path).fileName());
            // Its work now lives in this editor, under the same journal.
            store->adopt(id);
            journal->writeNow();
            recovered = true;
        }
        entries.removeFirst();
        ids.removeFirst();
    }
    if (!unreadable.isEmpty() && !offered
        && askDiscardUnreadable(parent, unreadableNote(store, unreadable), unreadable.size())) {
        for (const QString &bad : std::as_const(unreadable))
            store->remove(bad);
        unreadable.clear();
    }
    // What was not recovered now waits for a later start.
    for (const QString &id : std::as_const(ids) + unreadable)
        store->release(id);
    return recovered;
}

void FrmMainWindow::journalFailed(const QString &reason)
{
    const QString text
        = QStringLiteral("Unsaved work cannot be kept safe from a crash: %1.").arg(reason);
    // Long enough to be read; the caret's place comes back after it.
    statusBar()->showMessage(text, 15000);
    if (m_journalFailureShown)
        return;
    m_journalFailureShown = true;
    // Not modal, and not taking the keyboard: typing goes on meanwhile.
    auto *box
        = new QMessageBox(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("msgJournalFailed"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setModal(false);
    box->show();
}
