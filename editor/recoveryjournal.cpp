#include "recoveryjournal.h"

#include "document.h"

#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

RecoveryJournal::RecoveryJournal(Document *model, QPlainTextEdit *view, JournalStore *store,
                                 QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_view(view)
    , m_store(store)
    , m_writer(store)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(delayMs);
    connect(m_timer, &QTimer::timeout, this, &RecoveryJournal::writeNow);
    watchDocument();
    connect(model, &Document::documentReplaced, this, &RecoveryJournal::watchDocument);
    connect(model, &Document::filePathChanged, this, &RecoveryJournal::onChange);
}

RecoveryJournal::~RecoveryJournal()
{
    // Whatever is on its way to disk gets there; the journal itself stays
    // for a document that still had unsaved work.
    m_writer.wait();
}

void RecoveryJournal::watchDocument()
{
    disconnect(m_contentsWatch);
    disconnect(m_modifiedWatch);
    QTextDocument *doc = m_model->textDocument();
    m_contentsWatch
        = connect(doc, &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
              if (removed || added)
                  onChange();
          });
    m_modifiedWatch = connect(doc, &QTextDocument::modificationChanged, this,
                              &RecoveryJournal::onModifiedChanged);
    // A cancelled load brings back a document that may hold unsaved work.
    onChange();
}

void RecoveryJournal::onChange()
{
    // The first change starts the clock; later ones ride on the same write,
    // so that continuous typing is journaled every two seconds.
    if (!m_timer->isActive())
        m_timer->start();
}

void RecoveryJournal::onModifiedChanged(bool modified)
{
    if (modified) {
        onChange();
        return;
    }
    // Saved, or undone back to the saved text: nothing left to recover.
    m_timer->stop();
    if (m_written) {
        m_writer.remove(m_store->ownId());
        m_written = false;
    }
}

void RecoveryJournal::writeNow()
{
    m_timer->stop();
    // While a file loads, the work at stake is the document shown before.
    if (m_model->isLoading() || !m_model->isModified()) {
        if (!m_model->isLoading() && m_written) {
            m_writer.remove(m_store->ownId());
            m_written = false;
        }
        return;
    }
    JournalEntry entry;
    entry.path = m_model->filePath();
    entry.identity = m_model->fileIdentity();
    entry.encoding = m_model->encoding();
    entry.caret = m_view ? m_view->textCursor().position() : 0;
    entry.changed = QDateTime::currentDateTime();
    // The one copy made here; the rest of the work is the writer's.
    entry.text = m_model->textDocument()->toRawText();
    m_writer.write(m_store->ownId(), std::move(entry));
    m_written = true;
}

void RecoveryJournal::discard()
{
    m_timer->stop();
    if (m_written)
        m_writer.remove(m_store->ownId());
    m_written = false;
}

void RecoveryJournal::flush()
{
    m_writer.wait();
}
