#include "includecompleter.h"

#include "definitionsyntax.h"
#include "document.h"
#include "includenames.h"
#include "richtextbox.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>
#include <QThread>
#include <QTimer>

#include <atomic>

// A reading of a folder in its own thread; dropping it stops and waits for it.
struct IncludeCompleter::Reading
{
    std::atomic<bool> cancel{false};
    std::unique_ptr<QThread> thread;
    ~Reading()
    {
        cancel = true;
        thread->wait();
    }
};

IncludeCompleter::IncludeCompleter(RichTextBox *edit, Document *model, QObject *parent)
    : QObject(parent)
    , m_edit(edit)
    , m_model(model)
    , m_completer(new QCompleter(this))
    , m_names(new QStringListModel(this))
{
    m_completer->setObjectName(QStringLiteral("includeCompleter"));
    m_completer->setModel(m_names);
    m_completer->setWidget(edit);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setFilterMode(Qt::MatchContains);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setModelSorting(QCompleter::UnsortedModel);
    QAbstractItemView *popup = m_completer->popup();
    popup->setObjectName(QStringLiteral("lstIncludeNames"));
    // Nothing visible names the list; its rows are read as the names they show.
    popup->setAccessibleName(QStringLiteral("Include names"));
    // After the completer's own filter, so that this one sees the keys first.
    popup->installEventFilter(this);
    edit->installEventFilter(this);
    connect(m_completer, qOverload<const QString &>(&QCompleter::activated), this,
            &IncludeCompleter::insertName);
    connect(edit, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (m_wanted)
            updateList();
    });
    connect(model, &Document::documentReplaced, this, &IncludeCompleter::closeList);
}

IncludeCompleter::~IncludeCompleter() = default;

int IncludeCompleter::nameStartAtCaret() const
{
    const QTextCursor caret = m_edit->textCursor();
    return IncludeNames::nameStart(caret.block().text(), caret.positionInBlock());
}

void IncludeCompleter::offerNames()
{
    const QString path = m_model->filePath();
    if (path.isEmpty() || m_edit->isReadOnly() || nameStartAtCaret() < 0)
        return;
    const QTextCursor caret = m_edit->textCursor();
    const QTextBlock line = caret.block();
    m_withExtension = !QStringView(line.text())
                           .mid(caret.positionInBlock())
                           .startsWith(u".vyx\"", Qt::CaseInsensitive);
    QStringList others;
    for (QTextBlock block = m_edit->document()->begin(); block.isValid(); block = block.next()) {
        if (block == line)
            continue;
        if (const DefinitionSyntax::Include include = DefinitionSyntax::include(block.text());
            include.isValid())
            others.append(include.name);
    }
    m_separator = IncludeNames::separatorOf(others);
    m_wanted = true;
    const QString folder = QFileInfo(path).absolutePath();
    if (folder == m_folder) {
        fillNames();
        updateList();
    }
    if (folder != m_folder || !m_readAt.isValid() || m_readAt.elapsed() >= 1000)
        readFolder(folder);
}

void IncludeCompleter::readFolder(const QString &folder)
{
    if (m_reading)
        return; // its result is asked for again when it comes
    m_reading = std::make_unique<Reading>();
    m_readAt.start();
    const std::atomic<bool> *cancel = &m_reading->cancel;
    m_reading->thread.reset(QThread::create([this, folder, cancel] {
        QStringList files = IncludeNames::definitionFiles(folder, *cancel);
        QMetaObject::invokeMethod(
            this, [this, folder, files = std::move(files)] { onFolderRead(folder, files); },
            Qt::QueuedConnection);
    }));
    m_reading->thread->start();
}

void IncludeCompleter::onFolderRead(const QString &folder, const QStringList &files)
{
    m_reading.reset();
    m_folder = folder;
    m_files = files;
    if (!m_wanted)
        return;
    const QString now = QFileInfo(m_model->filePath()).absolutePath();
    if (m_model->filePath().isEmpty() || now != folder) {
        // The document moved on while its old folder was read.
        if (!m_model->filePath().isEmpty())
            readFolder(now);
        return;
    }
    fillNames();
    updateList();
}

void IncludeCompleter::fillNames()
{
    m_names->setStringList(
        IncludeNames::offered(m_files, m_model->filePath(), m_separator, m_withExtension));
}

void IncludeCompleter::updateList()
{
    QAbstractItemView *popup = m_completer->popup();
    const int start = nameStartAtCaret();
    if (start < 0 || m_edit->isReadOnly()) {
        closeList();
        return;
    }
    const QTextCursor caret = m_edit->textCursor();
    m_updating = true;
    m_completer->setCompletionPrefix(
        caret.block().text().mid(start, caret.positionInBlock() - start));
    if (m_completer->completionCount() == 0) {
        // Nothing fits what is typed (or the folder is still being read):
        // the list comes back when something does.
        popup->hide();
    } else {
        QRect place = m_edit->cursorRect().translated(m_edit->viewport()->pos());
        place.setWidth(popup->sizeHintForColumn(0) + popup->verticalScrollBar()->sizeHint().width()
                       + 2 * popup->frameWidth());
        m_completer->complete(place);
        popup->setCurrentIndex(m_completer->completionModel()->index(0, 0));
    }
    m_updating = false;
}

void IncludeCompleter::closeList()
{
    m_wanted = false;
    m_completer->popup()->hide();
}

void IncludeCompleter::insertName(const QString &name)
{
    const int start = nameStartAtCaret();
    closeList();
    if (start < 0 || m_edit->isReadOnly())
        return;
    QTextCursor cursor = m_edit->textCursor();
    const int caret = cursor.position();
    cursor.setPosition(cursor.block().position() + start);
    cursor.setPosition(caret, QTextCursor::KeepAnchor);
    if (!Document::lineLimitAllows(cursor, name)) {
        Q_EMIT m_edit->lineLimitRefused();
        return;
    }
    cursor.beginEditBlock();
    cursor.insertText(name);
    cursor.endEditBlock();
    m_edit->setTextCursor(cursor);
}

bool IncludeCompleter::eventFilter(QObject *watched, QEvent *event)
{
    QAbstractItemView *popup = m_completer->popup();
    if (watched == popup && event->type() == QEvent::Hide && !m_updating) {
        m_wanted = false; // closed by a click elsewhere, or the focus leaving
    } else if (watched == popup && event->type() == QEvent::KeyPress) {
        // The completer would hand these to the text first, which takes
        // Enter and Tab as text of its own.
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
            if (popup->currentIndex().isValid())
                insertName(popup->currentIndex().data().toString());
            else
                closeList();
            return true;
        case Qt::Key_Escape:
            closeList();
            return true;
        default:
            break;
        }
    } else if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::ControlModifier
            && nameStartAtCaret() >= 0) {
            offerNames();
            return true;
        }
        // While nothing fits what is typed the list is away but still
        // wanted; Escape ends that too.
        if (key->key() == Qt::Key_Escape && m_wanted)
            closeList();
        if (key->text() == u"\"") {
            // Once the control has typed it.
            QTimer::singleShot(0, this, [this] {
                const QTextCursor caret = m_edit->textCursor();
                if (caret.block().text().left(caret.positionInBlock()) == u"#include \"")
                    offerNames();
            });
        }
    }
    return QObject::eventFilter(watched, event);
}
