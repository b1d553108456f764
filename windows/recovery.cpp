#include "frmmain.h"
#include "journal.h"
#include "messagebox.h"
#include "recoveryoffer.h"
#include "richtextbox.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>

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
QString unreadableNote(const RecoveryOffer &offer)
{
    const QStringList names = offer.unreadableFiles();
    if (names.isEmpty())
        return QString();
    return QStringLiteral("%1 recovery %2 could not be read (in \"%3\"): %4.")
        .arg(QString::number(names.size()),
             names.size() > 1 ? QStringLiteral("files") : QStringLiteral("file"),
             QDir::toNativeSeparators(offer.folder()), names.join(QLatin1String(", ")));
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
    // Whatever is left undecided waits for a later start once the offer ends.
    RecoveryOffer offer(frmMain().journalStore());
    QWidget *parent = isVisible() ? this : nullptr;
    // Unreadable journals have a notice of their own only when nothing else is offered.
    const bool offered = !offer.entries().isEmpty();
    while (!offer.entries().isEmpty()) {
        QStringList lines;
        for (const JournalEntry &entry : offer.entries())
            lines << describe(entry);
        const Choice choice = ask(parent, lines, unreadableNote(offer));
        if (choice == Choice::Later)
            break;
        if (choice == Choice::Discard) {
            if (askYesNo(
                    parent,
                    QStringLiteral("Delete the unsaved work of %1 for good?").arg(lines.first()))
                == QMessageBox::Yes)
                offer.discardFirst();
            continue;
        }
        const QString path = offer.entries().first().path;
        offer.recoverFirst(document, rtfMain, journal);
        frmMain().setCaption(path.isEmpty() ? applicationTitle() : QFileInfo(path).fileName());
        return true;
    }
    const qsizetype unreadable = offer.unreadableFiles().size();
    if (unreadable > 0 && !offered
        && askDiscardUnreadable(parent, unreadableNote(offer), unreadable))
        offer.discardUnreadable();
    return false;
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
