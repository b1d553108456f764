#include "document.h"
#include "frmmain.h"
#include "journal.h"
#include "messagebox.h"
#include "recoveryjournal.h"
#include "richtextbox.h"

#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
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

// One question for all the journals found; what it decides is about the
// first of them, the most recently changed.
Choice ask(QWidget *parent, const QStringList &lines)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    QStringLiteral("Unsaved work was found and can be recovered:\n\n%1\n\n"
                                   "Recover brings %2 back; Discard deletes it; Later keeps it "
                                   "for the next start.")
                        .arg(lines.join(u'\n'),
                             lines.size() > 1 ? QStringLiteral("the first") : QStringLiteral("it")),
                    QMessageBox::NoButton, parent);
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

} // namespace

bool FrmMainWindow::offerRecovery()
{
    JournalStore *store = frmMain().journalStore();
    QStringList ids;
    QList<JournalEntry> entries;
    for (const QString &id : store->claimOrphans()) {
        JournalEntry entry;
        // A journal cut short by the crash itself cannot be read: it is left
        // where it is, as the bytes may still be of use to someone.
        if (!store->read(id, &entry)) {
            store->release(id);
            continue;
        }
        ids << id;
        entries << entry;
    }
    QWidget *parent = isVisible() ? this : nullptr;
    bool recovered = false;
    while (!entries.isEmpty() && !recovered) {
        QStringList lines;
        for (const JournalEntry &entry : std::as_const(entries))
            lines << describe(entry);
        const QString id = ids.first();
        const Choice choice = ask(parent, lines);
        if (choice == Choice::Later)
            break;
        if (choice == Choice::Discard) {
            if (askYesNo(
                    parent,
                    QStringLiteral("Delete the unsaved work of %1 for good?").arg(lines.first()))
                != QMessageBox::Yes)
                continue;
            store->remove(id);
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
    // What was not recovered now waits for a later start.
    for (const QString &id : std::as_const(ids))
        store->release(id);
    return recovered;
}
