#include "definitionview.h"

#include "contrast.h"
#include "definitionsyntax.h"
#include "document.h"
#include "menutext.h"
#include "richtextbox.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace {

using DefinitionSyntax::Kind;

// The colour of the given hue closest to it that reads on the background
// with a contrast of at least 4.5 : 1, made darker on a light background and
// lighter on a dark one. Black or white always reaches 4.58 : 1, so a
// lightness between the colour's own and theirs does.
QColor readable(QColor colour, const QColor &background)
{
    constexpr double target = 4.55;
    colour.setAlpha(255);
    if (contrastRatio(colour, background) >= target)
        return colour;
    const bool darken
        = contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background);
    float h, s, l;
    colour.getHslF(&h, &s, &l);
    float bad = l, good = darken ? 0.f : 1.f;
    for (int i = 0; i < 24; ++i) {
        const float mid = (bad + good) / 2;
        (contrastRatio(QColor::fromHslF(h, s, mid), background) >= target ? good : bad) = mid;
    }
    return QColor::fromHslF(h, s, good);
}

QColor mixed(const QColor &a, const QColor &b, double share)
{
    return QColor::fromRgbF(float(a.redF() * (1 - share) + b.redF() * share),
                            float(a.greenF() * (1 - share) + b.greenF() * share),
                            float(a.blueF() * (1 - share) + b.blueF() * share));
}

QTextCharFormat coloured(const QColor &colour)
{
    QTextCharFormat format;
    format.setForeground(colour);
    return format;
}

} // namespace

DefinitionView::DefinitionView(RichTextBox *edit, Document *model, QWidget *window)
    : QObject(window)
    , m_edit(edit)
    , m_model(model)
    , m_viewport(edit->viewport())
{
    setObjectName(QStringLiteral("definitionView"));

    m_openIncluded = new QAction(QStringLiteral("Open Included File"), this);
    m_openIncluded->setObjectName(QStringLiteral("mnuOpenIncluded"));
    // Queued, so that the context menu is closed and gone before the
    // "Save Changes?" question or the open comes up.
    connect(
        m_openIncluded, &QAction::triggered, this, [this] { follow(m_openTarget, m_openLine); },
        Qt::QueuedConnection);

    m_back = new QAction(QStringLiteral("Back to Including File"), this);
    m_back->setObjectName(QStringLiteral("mnuBack"));
    m_back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    m_back->setEnabled(false);
    connect(m_back, &QAction::triggered, this, [this] { goBack(); });
    window->addAction(m_back);

    updateFormats();
    m_edit->installEventFilter(this);
    m_viewport->installEventFilter(this);
    m_viewport->setMouseTracking(true);
    window->installEventFilter(this);

    watchDocument();
    // A file being opened comes in a document of its own.
    connect(m_edit, &RichTextBox::documentReplaced, this, &DefinitionView::watchDocument);
}

void DefinitionView::watchDocument()
{
    disconnect(m_documentWatch);
    QTextDocument *doc = m_edit->document();
    m_documentWatch = connect(
        doc, &QTextDocument::contentsChange, this,
        [this, doc](int position, int, int added) { recolourChange(doc, position, added); });
}

void DefinitionView::recolourChange(QTextDocument *doc, int position, int added)
{
    // What a load brings in is coloured when shown; colouring the ends of
    // each of its steps cost 20 MB and more for a file of 10 MB.
    if (m_model->isLoading())
        return;
    // An edited line is coloured again before it is laid out, so that typing
    // never shows colours a character off. Only the first and last line of a
    // change can hold old colours: lines a change brings in are new.
    const QTextBlock first = doc->findBlock(position);
    const QTextBlock last = doc->findBlock(position + added);
    for (const QTextBlock &block : {first, last}) {
        if (block.isValid() && colourBlock(block))
            doc->markContentsDirty(block.position(), block.length());
        if (first == last)
            break;
    }
}

void DefinitionView::setColoursEnabled(bool enabled)
{
    m_coloursEnabled = enabled;
    recolourNow();
}

void DefinitionView::recolourNow()
{
    if (m_viewport)
        m_viewport->update();
}

void DefinitionView::updateFormats()
{
    m_formats = formatsOn(m_edit->palette());
}

DefinitionView::Formats DefinitionView::formatsOn(const QPalette &palette)
{
    // Comments, directives and include names take their hues from the
    // palette; numbers, strings and the missing-file mark have no role there
    // and take fixed hues. Every colour is then made to read on the base.
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const auto onBase = [&base](const QColor &hue) { return readable(hue, base); };

    Formats formats;
    formats.comment = coloured(onBase(mixed(text, base, 0.45)));
    formats.separator = formats.comment;
    formats.separator.setFontWeight(QFont::Bold);
    formats.directive = coloured(onBase(palette.color(QPalette::Active, QPalette::LinkVisited)));
    formats.includeName = coloured(onBase(palette.color(QPalette::Active, QPalette::Link)));
    formats.includeName.setFontUnderline(true);
    formats.missingInclude = formats.includeName;
    formats.missingInclude.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    formats.missingInclude.setUnderlineColor(onBase(QColor(0xe0, 0x1b, 0x24)));
    formats.number = coloured(onBase(QColor(0x00, 0x83, 0x8f)));
    formats.string = coloured(onBase(QColor(0xb3, 0x5c, 0x00)));
    return formats;
}

QList<QTextLayout::FormatRange> DefinitionView::paperFormatsFor(const QString &line)
{
    if (!m_coloursEnabled)
        return {};
    // Paper is white whatever the screen shows: black text, and the link
    // hues of a light desktop, made to read on white as on screen.
    static const Formats paper = [] {
        QPalette palette;
        palette.setColor(QPalette::Base, Qt::white);
        palette.setColor(QPalette::Text, Qt::black);
        palette.setColor(QPalette::Link, QColor(0x1a, 0x5f, 0xb4));
        palette.setColor(QPalette::LinkVisited, QColor(0x81, 0x3d, 0x9c));
        return formatsOn(palette);
    }();
    return formatsFor(line, paper);
}

QList<QTextLayout::FormatRange> DefinitionView::formatsFor(const QString &line,
                                                           const Formats &formats)
{
    QList<QTextLayout::FormatRange> out;
    const QList<DefinitionSyntax::Span> spans = DefinitionSyntax::spans(line);
    out.reserve(spans.size());
    for (const DefinitionSyntax::Span &span : spans) {
        const QTextCharFormat *format = nullptr;
        switch (span.kind) {
        case Kind::Comment:
            format = &formats.comment;
            break;
        case Kind::Separator:
            format = &formats.separator;
            break;
        case Kind::Directive:
            format = &formats.directive;
            break;
        case Kind::IncludeName: {
            const QString target = DefinitionSyntax::resolveInclude(
                m_model->filePath(), DefinitionSyntax::include(line).name);
            format = target.isEmpty() || includeExists(target) ? &formats.includeName
                                                               : &formats.missingInclude;
            break;
        }
        case Kind::Number:
            format = &formats.number;
            break;
        case Kind::String:
            format = &formats.string;
            break;
        }
        out.append({span.start, span.length, *format});
    }
    return out;
}

bool DefinitionView::colourBlock(const QTextBlock &block)
{
    // A line of thousands of characters is no definition a modder reads by
    // its colours, and thousands of coloured pieces would make each key
    // typed on it take several times as long to lay out.
    constexpr int longestColouredLine = 4096;
    QList<QTextLayout::FormatRange> wanted;
    if (m_coloursEnabled && !m_edit->hasFormatting() && block.length() <= longestColouredLine)
        wanted = formatsFor(block.text(), m_formats);
    QTextLayout *layout = block.layout();
    if (layout->formats() == wanted)
        return false;
    layout->setFormats(wanted);
    return true;
}

void DefinitionView::colourShownLines()
{
    if (m_colouring)
        return;
    QScopedValueRollback<bool> busy(m_colouring, true);
    QTextDocument *doc = m_edit->document();
    const QTextBlock top = m_edit->cursorForPosition(QPoint(0, 0)).block();
    const QTextBlock bottom
        = m_edit->cursorForPosition(QPoint(0, m_edit->viewport()->height())).block();
    const int topNumber = top.blockNumber();
    // A page either side, so that scrolling by lines finds them coloured.
    const int margin = std::clamp(bottom.blockNumber() - topNumber + 1, 10, 200);
    QTextBlock block = doc->findBlockByNumber(std::max(0, topNumber - margin));
    const int count = bottom.blockNumber() + margin - block.blockNumber() + 1;
    // Lines whose colours changed are laid out again, in runs.
    int runStart = -1, runEnd = -1;
    for (int i = 0; i < count && block.isValid(); ++i, block = block.next()) {
        if (!colourBlock(block))
            continue;
        if (runStart >= 0 && block.position() != runEnd) {
            doc->markContentsDirty(runStart, runEnd - runStart);
            runStart = -1;
        }
        if (runStart < 0)
            runStart = block.position();
        runEnd = block.position() + block.length();
    }
    if (runStart >= 0)
        doc->markContentsDirty(runStart, runEnd - runStart);
}

bool DefinitionView::includeExists(const QString &path, bool fresh)
{
    // Typing a name letter by letter asks for a new file at each key; a
    // cache that grows without bound is not worth keeping.
    if (m_exists.size() > 4096)
        m_exists.clear();
    auto it = m_exists.find(path);
    if (it == m_exists.end() || fresh) {
        const bool exists = QFileInfo::exists(path);
        if (it != m_exists.end() && *it != exists)
            recolourNow();
        it = m_exists.insert(path, exists);
    }
    return *it;
}

// The file the include on the line points to, if it is an include line.
QString DefinitionView::includeTarget(const QTextBlock &block)
{
    const DefinitionSyntax::Include include = DefinitionSyntax::include(block.text());
    return include.isValid() ? DefinitionSyntax::resolveInclude(m_model->filePath(), include.name)
                             : QString();
}

// The same, when the point of the text's viewport is on the include's name.
QString DefinitionView::includeTargetUnder(const QPoint &pos)
{
    const QTextBlock block = m_edit->cursorForPosition(pos).block();
    const DefinitionSyntax::Include include = DefinitionSyntax::include(block.text());
    if (!include.isValid())
        return {};
    QTextCursor at(block);
    at.setPosition(block.position() + include.start);
    const QRect first = m_edit->cursorRect(at);
    at.setPosition(block.position() + include.start + include.length);
    const QRect last = m_edit->cursorRect(at);
    if (pos.x() < first.left() || pos.x() > last.left() || pos.y() < first.top()
        || pos.y() > first.bottom())
        return {};
    return includeTarget(block);
}

// The filter also sees the events the text and its window get while they are
// being destroyed, so it touches them only for the events it handles, which
// never come then.
bool DefinitionView::eventFilter(QObject *watched, QEvent *event)
{
    QWidget *viewport = m_viewport;
    switch (event->type()) {
    case QEvent::Paint:
    case QEvent::PaletteChange:
    case QEvent::ActivationChange:
        keepColours(watched, event->type());
        break;
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        if (watched == viewport && mouseOnInclude(static_cast<QMouseEvent *>(event)))
            return true;
        break;
    case QEvent::KeyPress:
    case QEvent::ContextMenu:
        if (openContextMenu(watched, event))
            return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

// Lines are coloured as they are painted, in the palette's colours.
void DefinitionView::keepColours(QObject *watched, QEvent::Type type)
{
    QWidget *viewport = m_viewport;
    if (type == QEvent::Paint && watched == viewport) {
        colourShownLines();
    } else if (type == QEvent::PaletteChange && watched == m_edit) {
        updateFormats();
        recolourNow();
    } else if (type == QEvent::ActivationChange && watched == parent()
               && static_cast<QWidget *>(watched)->isActiveWindow()) {
        // Another program may have created or removed files meanwhile.
        m_exists.clear();
        recolourNow();
    }
}

// Ctrl+click on an include's name follows it when the button is released
// there; the pointer shows which names Ctrl+click follows. True when the
// event was the click's.
bool DefinitionView::mouseOnInclude(QMouseEvent *mouse)
{
    const QPoint pos = mouse->position().toPoint();
    if (mouse->type() == QEvent::MouseMove) {
        const bool onName
            = mouse->modifiers() == Qt::ControlModifier && !includeTargetUnder(pos).isEmpty();
        if (onName != m_pointerOnName) {
            m_pointerOnName = onName;
            m_viewport->setCursor(onName ? Qt::PointingHandCursor : Qt::IBeamCursor);
        }
        return false;
    }
    if (mouse->button() != Qt::LeftButton)
        return false;
    const bool press = mouse->type() == QEvent::MouseButtonPress;
    if (press ? mouse->modifiers() != Qt::ControlModifier : !std::exchange(m_pressedOnName, false))
        return false;
    const QString target = includeTargetUnder(pos);
    if (target.isEmpty())
        return false;
    if (press)
        m_pressedOnName = true;
    else if (includeExists(target, true))
        follow(target, m_edit->cursorForPosition(pos).blockNumber());
    return true;
}

// The text's context menu, with the include items, from a right click, the
// Menu key, or Shift+F10, which opens it as the Menu key does, at the caret.
bool DefinitionView::openContextMenu(QObject *watched, QEvent *event)
{
    QWidget *viewport = m_viewport;
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (watched != m_edit || key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier)
            return false;
        const QPoint at = m_edit->cursorRect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at,
                               m_edit->viewport()->mapToGlobal(at));
        showContextMenu(&menu, false);
        return true;
    }
    if (watched != viewport && watched != m_edit)
        return false;
    auto *menu = static_cast<QContextMenuEvent *>(event);
    showContextMenu(menu, watched == viewport && menu->reason() == QContextMenuEvent::Mouse);
    return true;
}

void DefinitionView::showContextMenu(QContextMenuEvent *event, bool atMouse)
{
    const QTextCursor at = atMouse ? m_edit->cursorForPosition(event->pos()) : m_edit->textCursor();
    const DefinitionSyntax::Include include = DefinitionSyntax::include(at.block().text());
    m_openTarget = includeTarget(at.block());
    m_openLine = at.blockNumber();
    const bool missing = !m_openTarget.isEmpty() && !includeExists(m_openTarget, true);
    m_openIncluded->setText(missing ? QStringLiteral("\"%1\" not found").arg(menuText(include.name))
                                    : QStringLiteral("Open Included File"));
    m_openIncluded->setEnabled(!m_openTarget.isEmpty() && !missing);
    historyIsCurrent();

    QMenu *menu = m_edit->createStandardContextMenu();
    menu->setObjectName(QStringLiteral("rtfMainContextMenu"));
    menu->setAccessibleName(QStringLiteral("Text context menu"));
    menu->addSeparator();
    menu->addAction(m_openIncluded);
    menu->addAction(m_back);
    // Deleted once closed and its item handled; not shown with exec(), so
    // that the program (and a test) goes on while it is open.
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    const QPoint global = atMouse ? event->globalPos()
                                  : m_edit->viewport()->mapToGlobal(m_edit->cursorRect().center());
    menu->popup(global);
}

void DefinitionView::follow(const QString &target, int line)
{
    // Links wait while a file loads: following one would stop the load.
    if (target.isEmpty() || m_model->isLoading())
        return;
    const QString from = m_model->filePath();
    Q_EMIT openRequested(target);
    const QString to = m_model->filePath();
    if (to == from || QFileInfo(to) != QFileInfo(target))
        return;
    // A document that was never saved has nowhere to go back to.
    if (from.isEmpty()) {
        m_history.clear();
    } else {
        m_history.append({from, line, to});
    }
    historyIsCurrent();
}

// Back leads to the including file only while the file shown is the one the
// include led to; once another was opened or saved over it, the walk ended.
bool DefinitionView::historyIsCurrent()
{
    if (!m_history.isEmpty() && m_history.last().to != m_model->filePath())
        m_history.clear();
    m_back->setEnabled(!m_history.isEmpty());
    return !m_history.isEmpty();
}

void DefinitionView::goBack()
{
    if (m_model->isLoading() || !historyIsCurrent())
        return;
    const Step step = m_history.last();
    Q_EMIT openRequested(step.from);
    if (m_model->filePath() != step.from)
        return;
    m_history.removeLast();
    historyIsCurrent();
    // The include's line may be far into a big file: the caret goes there
    // once the load has brought it in.
    const auto showLine = [this, line = step.line] {
        const QTextBlock block = m_edit->document()->findBlockByNumber(line);
        if (block.isValid()) {
            m_edit->setTextCursor(QTextCursor(block));
            m_edit->centerCursor();
        }
    };
    if (!m_model->isLoading()) {
        showLine();
        return;
    }
    connect(
        m_model, &Document::loadEnded, this,
        [showLine](bool completed) {
            if (completed)
                showLine();
        },
        Qt::SingleShotConnection);
}
