#include "recoveryoffer.h"
#include "document.h"
#include "recoveryjournal.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextCursor>

RecoveryOffer::RecoveryOffer(JournalStore *store)
    : m_store(store)
{
    for (const QString &id : m_store->claimOrphans()) {
        JournalEntry entry;
        if (!m_store->read(id, &entry)) {
            m_unreadable << id;
            continue;
        }
        m_ids << id;
        m_entries << entry;
    }
}

RecoveryOffer::~RecoveryOffer()
{
    for (const QString &id : std::as_const(m_ids) + m_unreadable)
        m_store->release(id);
}

QStringList RecoveryOffer::unreadableFiles() const
{
    QStringList names;
    for (const QString &id : m_unreadable)
        names << QFileInfo(m_store->journalPath(id)).fileName();
    return names;
}

void RecoveryOffer::recoverFirst(Document *document, QPlainTextEdit *view, RecoveryJournal *journal)
{
    const JournalEntry entry = m_entries.takeFirst();
    const QString id = m_ids.takeFirst();
    document->restore(entry.path, entry.identity, entry.encoding, entry.text);
    QTextCursor caret(view->document());
    caret.setPosition(qBound(0, entry.caret, view->document()->characterCount() - 1));
    view->setTextCursor(caret);
    view->ensureCursorVisible();
    // Its work now lives in this editor, under the same journal.
    m_store->adopt(id);
    journal->writeNow();
}

void RecoveryOffer::discardFirst()
{
    m_entries.removeFirst();
    m_store->remove(m_ids.takeFirst());
    discardUnreadable();
}

void RecoveryOffer::discardUnreadable()
{
    for (const QString &id : std::as_const(m_unreadable))
        m_store->remove(id);
    m_unreadable.clear();
}
