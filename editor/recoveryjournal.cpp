#include "recoveryjournal.h"

#include "document.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

RecoveryJournal::RecoveryJournal(Document *model, QPlainTextEdit *view, JournalStore *store,
                                 QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_view(view)
    , m_store(store)
    , m_writer(store,
               [this](bool ok, const QString &reason) {
                   // Told on the writer's thread; handled on this one.
                   QMetaObject::invokeMethod(
                       this, [this, ok, reason] { onWritten(ok, reason); }, Qt::QueuedConnection);
               })
    , m_timer(new QTimer(this))
    , m_sliceTimer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(delayMs);
    connect(m_timer, &QTimer::timeout, this, &RecoveryJournal::writeNow);
    // One slice per turn of the event loop: input and painting come between.
    m_sliceTimer->setSingleShot(true);
    m_sliceTimer->setInterval(0);
    connect(m_sliceTimer, &QTimer::timeout, this, &RecoveryJournal::copySlice);
    watchDocument();
    connect(model, &Document::documentReplaced, this, &RecoveryJournal::watchDocument);
    connect(model, &Document::filePathChanged, this, &RecoveryJournal::onChange);
}

RecoveryJournal::~RecoveryJournal()
{
    // Whatever is on its way to disk gets there; the journal itself stays
    // for a document that still had unsaved work. A copy not finished is
    // dropped: the journal before it stays whole.
    if (m_copying)
        m_writer.abandon();
    m_writer.wait();
}

void RecoveryJournal::watchDocument()
{
    disconnect(m_contentsWatch);
    disconnect(m_modifiedWatch);
    QTextDocument *doc = m_model->textDocument();
    m_contentsWatch
        = connect(doc, &QTextDocument::contentsChange, this, &RecoveryJournal::onContentsChange);
    m_modifiedWatch = connect(doc, &QTextDocument::modificationChanged, this,
                              &RecoveryJournal::onModifiedChanged);
    // A load, or a cancelled one that brings back a document that may hold
    // unsaved work: another text, written whole.
    ++m_changes;
    rewrite();
    onChange();
}

void RecoveryJournal::onChange()
{
    // The first change starts the clock; later ones ride on the same write,
    // so that continuous typing is journaled every two seconds.
    if (!m_timer->isActive())
        m_timer->start();
}

void RecoveryJournal::onContentsChange(int position, int removed, int added)
{
    if (!removed && !added)
        return;
    ++m_changes;
    onChange();
    // A copy under way starts again and takes this change in.
    if (!m_whole || m_copying)
        return;
    // Replace All, its Undo and each step of a load come as one change of
    // the whole span: the text is written whole rather than copied here.
    if (m_model->isLoading() || added > logLimit || m_loggedChars + added > logLimit
        || m_loggedEdits >= editLimit) {
        rewrite();
        return;
    }
    // What was added is read now, before later changes move it. A text
    // document counts the end of its last block, which its text lacks.
    QTextDocument *doc = m_model->textDocument();
    const QString text = Document::textBetween(
        doc, position, qMin<qint64>(qint64(position) + added, doc->characterCount() - 1));
    m_loggedChars += text.size();
    // Typing on at the end of the last insertion makes no new edit.
    if (!removed && !m_pending.isEmpty()) {
        JournalEdit &last = m_pending.last();
        if (position == last.position + last.added.size()) {
            last.added += text;
            return;
        }
    }
    m_pending.append({position, removed, text});
    ++m_loggedEdits;
}

void RecoveryJournal::onModifiedChanged(bool modified)
{
    if (modified) {
        onChange();
        return;
    }
    // Saved, or undone back to the saved text: nothing left to recover.
    m_timer->stop();
    rewrite();
    if (m_written) {
        m_writer.remove(m_store->ownId());
        m_written = false;
    }
}

void RecoveryJournal::rewrite()
{
    stopCopy();
    m_whole = false;
    m_pending.clear();
    m_loggedChars = 0;
    m_loggedEdits = 0;
}

JournalEntry RecoveryJournal::state() const
{
    JournalEntry entry;
    entry.path = m_model->filePath();
    entry.identity = m_model->fileIdentity();
    entry.encoding = m_model->encoding();
    entry.caret = m_view ? m_view->textCursor().position() : 0;
    entry.changed = QDateTime::currentDateTime();
    return entry;
}

void RecoveryJournal::writeNow()
{
    m_timer->stop();
    // While a file loads, the work at stake is the document shown before.
    if (m_model->isLoading())
        return;
    if (!m_model->isModified()) {
        rewrite();
        if (m_written) {
            m_writer.remove(m_store->ownId());
            m_written = false;
        }
        return;
    }
    const QString id = m_store->ownId();
    if (id.isEmpty()) {
        QString reason;
        m_store->ensureFolder(&reason);
        onWritten(false, reason);
        return;
    }
    if (id != m_id)
        rewrite();
    m_id = id;
    if (m_copying)
        return; // the copy under way takes in every change
    if (!m_whole) {
        startCopy();
        return;
    }
    m_writer.append(id, state(), std::exchange(m_pending, {}));
    m_written = true;
}

void RecoveryJournal::startCopy()
{
    m_copying = true;
    m_copyChanges = m_changes;
    m_copied = 0;
    m_copyLength = m_model->textDocument()->characterCount() - 1;
    m_writer.begin(m_id, state(), m_copyLength);
    // The journal on disk, if any, is of this document from now on.
    m_written = true;
    m_sliceTimer->start();
}

void RecoveryJournal::copySlice()
{
    QTextDocument *doc = m_model->textDocument();
    if (m_changes != m_copyChanges) {
        if (m_copyRestarts++ < copyRestarts) {
            startCopy();
            return;
        }
        // Typing goes on faster than a copy in slices ends: the text is
        // copied in one step, as before.
        m_copyChanges = m_changes;
        m_copyLength = doc->characterCount() - 1;
        m_writer.begin(m_id, state(), m_copyLength);
        m_writer.addSlice(doc->toRawText());
        m_copied = m_copyLength;
    } else {
        QElapsedTimer clock;
        clock.start();
        do {
            const qint64 end = qMin(m_copied + pieceLength, m_copyLength);
            m_writer.addSlice(Document::textBetween(doc, m_copied, end));
            m_copied = end;
        } while (m_copied < m_copyLength && clock.elapsed() < sliceMs);
    }
    if (m_copied < m_copyLength) {
        m_sliceTimer->start();
        return;
    }
    m_writer.finish();
    m_copying = false;
    m_copyRestarts = 0;
    m_whole = true;
    m_written = true;
}

void RecoveryJournal::stopCopy()
{
    if (!m_copying)
        return;
    m_sliceTimer->stop();
    m_writer.abandon();
    m_copying = false;
    m_copyRestarts = 0;
}

void RecoveryJournal::onWritten(bool ok, const QString &reason)
{
    if (ok) {
        if (m_failing) {
            m_failing = false;
            Q_EMIT written();
        }
        return;
    }
    // The journal no longer ends where the edits go on: the next write is
    // of the whole text. When the journal merely went missing, that write
    // comes at once, untold.
    if (!m_copying)
        rewrite();
    if (reason.isEmpty()) {
        if (m_model->isModified())
            onChange();
        return;
    }
    if (!m_failing) {
        m_failing = true;
        Q_EMIT failed(reason);
    }
}

void RecoveryJournal::discard()
{
    m_timer->stop();
    rewrite();
    if (m_written)
        m_writer.remove(m_store->ownId());
    m_written = false;
}

void RecoveryJournal::flush()
{
    // No event comes between the slices here, so the copy ends.
    m_sliceTimer->stop();
    while (m_copying)
        copySlice();
    m_writer.wait();
}
