#include "document.h"

#include "memory.h"
#include "rtfreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPlainTextDocumentLayout>
#include <QStringTokenizer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <climits>

// The document separates blocks with U+2029 and keeps soft line breaks as
// U+2028; both are line ends in the plain text the program works with.
// Works in one pass: QString::replace with a longer replacement reallocates
// the whole string once per 1024 hits, which takes seconds on a document of
// many MB. A one-character line end is replaced in place, since every fresh
// copy of a large text costs more in page faults than the copying itself.
QString withLineEnds(QString raw, QLatin1String lineEnd)
{
    if (lineEnd.size() == 1) {
        const QChar end = QLatin1Char(lineEnd.front());
        raw.replace(QChar::ParagraphSeparator, end);
        raw.replace(QChar::LineSeparator, end);
        return raw;
    }
    const auto isLineEnd
        = [](QChar c) { return c == QChar::ParagraphSeparator || c == QChar::LineSeparator; };
    const qsizetype lineEnds = std::count_if(raw.cbegin(), raw.cend(), isLineEnd);
    if (lineEnds == 0)
        return raw;
    QString out(raw.size() + lineEnds * (lineEnd.size() - 1), Qt::Uninitialized);
    QChar *dst = out.data();
    for (const QChar c : std::as_const(raw)) {
        if (isLineEnd(c)) {
            for (const char e : lineEnd)
                *dst++ = QLatin1Char(e);
        } else {
            *dst++ = c;
        }
    }
    return out;
}

// A load under way: the file, what reads it, the document being filled
// (shown already) and the one shown before, kept aside.
struct Document::Load
{
    TextFile file;
    std::unique_ptr<TextPieces> pieces;
    TextFormat format;
    RtfContent rtf;
    std::unique_ptr<RtfInserter> inserter;
    // A legacy encoding is decoded whole by Qt, then put in a slice at a time.
    FileEncoding legacy;
    QString legacyText;
    qsizetype legacyPos = 0;
    QTextCursor cursor;

    QTextDocument *earlier = nullptr;
    QString earlierPath;
    int percent = -1;

    int progress() const
    {
        if (inserter)
            return rtf.text.isEmpty() ? 100 : int(inserter->inserted() * 100 / rtf.text.size());
        if (legacy.isLegacy())
            return legacyText.isEmpty() ? 100 : int(legacyPos * 100 / legacyText.size());
        return pieces->bytesTotal() == 0 ? 100
                                         : int(pieces->bytesDone() * 100 / pieces->bytesTotal());
    }
};

Document::Document(QObject *parent)
    : QObject(parent)
{
    m_loadTimer = new QTimer(this);
    m_loadTimer->setSingleShot(true);
    connect(m_loadTimer, &QTimer::timeout, this, &Document::runLoadStep);
    m_recheck = new QTimer(this);
    m_recheck->setSingleShot(true);
    m_recheck->setInterval(500);
    connect(m_recheck, &QTimer::timeout, this, &Document::checkWholeText);
    m_doc = newTextDocument();
    watchText();
}

Document::~Document()
{
    m_load.reset();
    // The text documents go with this object's children, after this. Their
    // memory is kept for a while: the next document is most likely opened
    // soon, and would otherwise fault in every page again.
    if (m_doc->characterCount() > loadPieceBytes)
        returnFreedMemoryWhenIdle();
}

qint64 Document::maxFileSize()
{
    const qint64 available = availableMemoryBytes();
    const qint64 fits = available > 0 ? available / peakBytesPerFileByte : qint64(512) << 20;
    // A document counts its characters in int.
    return qMin(fits, qint64(INT_MAX) / 2);
}

QTextDocument *Document::newTextDocument()
{
    auto *doc = new QTextDocument(this);
    doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
    // A fresh document looks as the one shown now: the view set its font,
    // margin and options there.
    if (m_doc) {
        doc->setDefaultFont(m_doc->defaultFont());
        doc->setDocumentMargin(m_doc->documentMargin());
        doc->setDefaultTextOption(m_doc->defaultTextOption());
    }
    return doc;
}

bool Document::isModified() const
{
    return m_load ? m_load->earlier->isModified() : m_doc->isModified();
}

QString Document::text(QLatin1String lineEnd) const
{
    return withLineEnds(m_doc->toRawText(), lineEnd);
}

QString Document::textBetween(QTextDocument *doc, qint64 from, qint64 to)
{
    if (to <= from)
        return QString();
    QTextCursor range(doc);
    range.setPosition(int(from));
    range.setPosition(int(to), QTextCursor::KeepAnchor);
    return range.selectedText();
}

bool Document::lineLimitAllows(const QTextCursor &cursor, QStringView text)
{
    if (cursor.isNull())
        return true;
    // Only the lines around the cursor can grow. Cheap for the usual short
    // block: its text is copied, never the document's.
    const QTextDocument *doc = cursor.document();
    const QTextBlock first = doc->findBlock(cursor.selectionStart());
    const QTextBlock last = doc->findBlock(cursor.selectionEnd());
    if (lineLimitAllows(first.length() + last.length() + text.size()))
        return true;
    const QString before = first.text().left(cursor.selectionStart() - first.position());
    const QString after = last.text().mid(cursor.selectionEnd() - last.position());
    return lineLimitAllows(longestLine(QString(before + text.toString() + after)));
}

namespace {

// The text between the positions, lines separated by U+2029. One pass over
// the document's pieces; reading it line by line costs ten times that on
// a document of a million lines.
// True when the text, lines separated by U+2029, has a character
// Windows-1252 lacks.
bool needsUtf8(const QString &text)
{
    for (const QStringView line : qTokenize(text, QChar(QChar::ParagraphSeparator))) {
        if (!fitsEncoding(line, TextEncoding::Windows1252))
            return true;
    }
    return false;
}

} // namespace

void Document::watchText()
{
    connect(m_doc, &QTextDocument::contentsChange, this, &Document::onContentsChange);
}

void Document::setAutoNeedsUtf8(bool needsUtf8)
{
    if (m_encoding.isAuto())
        setEncoding(FileEncoding::automatic(needsUtf8));
}

void Document::checkWholeText()
{
    if (m_encoding.isAuto())
        setAutoNeedsUtf8(needsUtf8(m_doc->toRawText()));
}

void Document::onContentsChange(int position, int charsRemoved, int charsAdded)
{
    // A load names its encoding once complete.
    if (m_load || !m_encoding.isAuto())
        return;
    const bool wasUtf8 = m_encoding.name == encodingName(TextEncoding::Utf8);
    if (charsRemoved > 0 && m_doc->characterCount() <= 256 * 1024) {
        // What was removed is gone: only the text left can tell whether the
        // characters looked for went with it.
        checkWholeText();
        return;
    }
    if (charsAdded > 0 && !wasUtf8)
        setAutoNeedsUtf8(needsUtf8(Document::textBetween(m_doc, position, position + charsAdded)));
    else if (charsRemoved > 0 && wasUtf8)
        m_recheck->start();
}

void Document::setFilePath(const QString &path)
{
    if (path == m_path)
        return;
    m_path = path;
    Q_EMIT filePathChanged(path);
}

void Document::setEncoding(const FileEncoding &encoding)
{
    m_recheck->stop();
    if (encoding == m_encoding)
        return;
    m_encoding = encoding;
    Q_EMIT encodingChanged();
}

bool Document::cannotWriteBackExactly() const
{
    if (!m_encoding.isLegacy())
        return false;
    QByteArray bytes;
    return !m_encoding.exact || !encodeLegacy(text(), m_encoding.legacyCodec, &bytes);
}

bool Document::saveChangesEncoding() const
{
    return m_encoding.kind == TextEncoding::Windows1252
        && !fitsEncoding(text(), TextEncoding::Windows1252);
}

int Document::misplacedKeptByteLine() const
{
    // Only UTF-16 has bytes that cannot stand alone; the text is not copied
    // for the others.
    if (!m_encoding.isUtf16())
        return 0;
    const QString raw = m_doc->toRawText();
    const qsizetype at = misplacedKeptByte(raw, m_encoding.kind);
    return at < 0 ? 0 : m_doc->findBlock(int(at)).blockNumber() + 1;
}

void Document::replaceMisplacedKeptBytes()
{
    const auto runs = misplacedKeptBytes(m_doc->toRawText(), m_encoding.kind);
    QTextCursor edit(m_doc);
    edit.beginEditBlock();
    // From the last back, so that the positions of those still to do hold.
    for (auto it = runs.crbegin(); it != runs.crend(); ++it) {
        edit.setPosition(int(it->first));
        edit.setPosition(int(it->first + it->second), QTextCursor::KeepAnchor);
        edit.insertText(QString(it->second, QChar(QChar::ReplacementCharacter)));
    }
    edit.endEditBlock();
}

bool Document::fileRemovedFromDisk(const QString &path) const
{
    return !m_file.path().isEmpty() && m_file.path() == QFileInfo(path).absoluteFilePath()
        && m_file.removedFromDisk();
}

bool Document::isDocumentFile(const QString &path) const
{
    return !m_file.path().isEmpty() && QFileInfo(m_file.path()) == QFileInfo(path);
}

bool Document::fileChangedOnDisk(const QString &path)
{
    if (!isDocumentFile(path))
        return false;
    m_file.takeUnnoticedChange();
    return m_file.changedOnDisk();
}

bool Document::newFileChangeOnDisk()
{
    // While a file loads, the file it comes from is not the document's yet.
    return !m_load && !m_path.isEmpty() && m_file.path() == m_path && m_file.takeUnnoticedChange();
}

bool Document::isRichTextSource(const QString &path) const
{
    return m_richSource && isDocumentFile(path);
}

void Document::forgetFile()
{
    m_file.clear();
    m_richSource = false;
    setEncoding(FileEncoding());
    checkWholeText();
    setFilePath(QString());
}

void Document::restore(const QString &path, const FileIdentity &identity,
                       const FileEncoding &encoding, const QString &text)
{
    cancelLoad();
    m_doc->setPlainText(text);
    m_doc->setModified(true);
    if (path.isEmpty())
        m_file.clear();
    else
        m_file.restore(path, identity);
    m_richSource = false;
    setEncoding(encoding);
    checkWholeText();
    setFilePath(path);
}

bool Document::load(const QString &path, bool richText)
{
    if (!beginLoad(path, richText))
        return false;
    finishLoad();
    return true;
}

bool Document::beginLoad(const QString &path, bool richText)
{
    return startLoad(path, richText, nullptr);
}

bool Document::beginReload(const FileEncoding &encoding)
{
    if (m_path.isEmpty() || isLoading())
        return false;
    return startLoad(m_path, false, &encoding);
}

std::unique_ptr<Document::Load> Document::prepareLoad(const QString &path, bool richText,
                                                      const FileEncoding *chosen)
{
    const qint64 cap = maxFileSize();
    const QFileInfo info(path);
    if (info.isFile() && info.size() > cap) {
        m_errorString = tr("The file is larger than %1 MB, the most the memory available now "
                           "can hold.")
                            .arg(cap / (1024 * 1024));
        return nullptr;
    }
    auto load = std::make_unique<Load>();
    if (!load->file.read(path, cap)) {
        m_errorString = load->file.errorString();
        return nullptr;
    }
    const QByteArray &bytes = load->file.bytes();
    const auto refuseLongLines = [this](qsizetype longest) {
        if (lineLimitAllows(longest))
            return false;
        m_errorString = lineTooLongReason();
        return true;
    };
    if (chosen && chosen->isLegacy()) {
        bool exact = false;
        load->legacyText = decodeLegacy(bytes, chosen->legacyCodec, &exact);
        load->legacy = FileEncoding::legacy(chosen->legacyCodec, exact);
        load->file.releaseBytes();
        if (refuseLongLines(longestLine(load->legacyText)))
            return nullptr;
    } else if (chosen) {
        load->format = chosenTextFormat(bytes, chosen->kind);
        if (refuseLongLines(longestLine(bytes, load->format)))
            return nullptr;
        load->pieces = std::make_unique<TextPieces>(bytes, load->format, loadPieceBytes);
    } else if (richText && looksLikeRtf(bytes)) {
        load->rtf = readRtf(bytes);
        load->file.releaseBytes();
        if (refuseLongLines(longestLine(load->rtf.text)))
            return nullptr;
        load->inserter = std::make_unique<RtfInserter>(load->rtf);
    } else {
        load->format = detectTextFormat(bytes);
        if (refuseLongLines(longestLine(bytes, load->format)))
            return nullptr;
        load->pieces = std::make_unique<TextPieces>(bytes, load->format, loadPieceBytes);
    }
    return load;
}

bool Document::startLoad(const QString &path, bool richText, const FileEncoding *chosen)
{
    cancelLoad();
    m_errorString.clear();
    // The memory of documents gone before is what this load will fill.
    keepFreedMemory();
    std::unique_ptr<Load> load = prepareLoad(path, richText, chosen);
    if (!load)
        return false;

    // The file goes into a document of its own, so that the one shown now
    // survives untouched until the load completes.
    QTextDocument *doc = newTextDocument();
    doc->setUndoRedoEnabled(false);
    load->cursor = QTextCursor(doc);
    load->earlier = m_doc;
    load->earlierPath = m_path;
    m_load = std::move(load);

    // The document is shown with its first piece in. Each change of the text
    // area's width lays out every line there is anew, keeping a layout
    // object per line: shown before the rest goes in, the view's scroll bars
    // settle on the first piece alone rather than on the whole file.
    bool more = loadStep(1);
    m_doc = doc;
    watchText();
    setFilePath(QFileInfo(path).absoluteFilePath());
    Q_EMIT documentReplaced();

    QElapsedTimer elapsed;
    elapsed.start();
    while (more && elapsed.elapsed() < m_loadStepMs)
        more = loadStep(1);
    if (!more) {
        completeLoad();
        return true;
    }
    Q_EMIT loadStarted();
    scheduleLoadStep();
    return true;
}

void Document::runLoadStep()
{
    if (!m_load)
        return;
    QElapsedTimer step;
    step.start();
    bool more = true;
    do
        more = loadStep(1);
    while (more && step.elapsed() < m_loadStepMs);
    if (more)
        scheduleLoadStep();
    else
        completeLoad();
}

void Document::scheduleLoadStep()
{
    const int percent = m_load->progress();
    if (percent != m_load->percent) {
        m_load->percent = percent;
        Q_EMIT loadProgress(percent);
    }
    m_loadTimer->start(0);
}

bool Document::loadStep(qsizetype pieces)
{
    Load &l = *m_load;
    bool more = true;
    l.cursor.beginEditBlock();
    for (qsizetype i = 0; i < pieces && more; ++i) {
        if (l.inserter) {
            more = l.inserter->insertSome(l.cursor, loadPieceBytes);
        } else if (l.legacy.isLegacy()) {
            // A slice never ends inside a character or between CR and LF,
            // which would make two line ends of one.
            qsizetype end = qMin(l.legacyText.size(), l.legacyPos + loadPieceBytes);
            while (end < l.legacyText.size() && end > l.legacyPos + 1
                   && (l.legacyText.at(end - 1) == u'\r'
                       || l.legacyText.at(end - 1).isHighSurrogate()))
                --end;
            l.cursor.insertText(
                QStringView(l.legacyText).mid(l.legacyPos, end - l.legacyPos).toString());
            l.legacyPos = end;
            more = end < l.legacyText.size();
        } else {
            QString piece;
            if (l.pieces->next(&piece))
                l.cursor.insertText(piece);
            more = l.pieces->bytesDone() < l.pieces->bytesTotal();
        }
    }
    l.cursor.endEditBlock();
    return more;
}

void Document::whenLoaded(QObject *context, std::function<void(bool completed)> then)
{
    if (!isLoading()) {
        then(true);
        return;
    }
    connect(this, &Document::loadEnded, context, std::move(then), Qt::SingleShotConnection);
}

void Document::finishLoad()
{
    if (!m_load)
        return;
    // In bigger steps than in the background: each one costs a pass of the
    // widget over the new lines.
    while (loadStep(16)) { }
    completeLoad();
}

void Document::completeLoad()
{
    m_loadTimer->stop();
    std::unique_ptr<Load> done = std::move(m_load);
    // Turning undo back on starts an empty history: a loaded file has no
    // undo steps.
    m_doc->setUndoRedoEnabled(true);
    m_doc->setModified(false);
    m_richSource = done->inserter != nullptr;
    if (done->legacy.isLegacy()) {
        setEncoding(done->legacy);
    } else if (done->inserter) {
        // Rich text can hold anything; a plain file left to Save's choice is
        // plain ASCII.
        setEncoding(FileEncoding());
        checkWholeText();
    } else if (done->format.encoding == TextEncoding::Auto) {
        setEncoding(FileEncoding::automatic(false));
    } else {
        setEncoding(FileEncoding::detected(done->format));
    }
    done->pieces.reset();
    done->file.releaseBytes();
    m_file = std::move(done->file);
    dropDocument(done->earlier);
    done.reset();
    Q_EMIT loadEnded(true);
}

void Document::dropDocument(QTextDocument *doc)
{
    // Kept warm for the next load rather than handed back at once.
    if (doc->characterCount() > loadPieceBytes)
        returnFreedMemoryWhenIdle();
    delete doc;
}

void Document::cancelLoad()
{
    if (!m_load)
        return;
    m_loadTimer->stop();
    std::unique_ptr<Load> load = std::move(m_load);
    QTextDocument *loaded = m_doc;
    m_doc = load->earlier;
    setFilePath(load->earlierPath);
    Q_EMIT documentReplaced();
    dropDocument(loaded);
    load.reset();
    Q_EMIT loadEnded(false);
}

QByteArray Document::encodedText(TextEncoding *used) const
{
    // The text is given its line ends and encoded a slice at a time, so that
    // saving a big document holds little more than one copy of its text and
    // the bytes at once.
    constexpr qsizetype sliceChars = 1024 * 1024;
    const QString raw = m_doc->toRawText();
    TextEncoding encoding = m_encoding.kind;
    bool bom = m_encoding.bom;
    QByteArray out;
    if (m_encoding.isLegacy()) {
        // Legacy files are small; a multi-byte encoding is encoded whole
        // rather than cut between slices.
        *used = encoding;
        if (!encodeLegacy(withLineEnds(raw, QLatin1String("\r\n")), m_encoding.legacyCodec, &out))
            return QByteArray();
        return out;
    }
    out.reserve(raw.size() + raw.size() / 32);
    qsizetype pos = 0;
    do {
        qsizetype end = qMin(raw.size(), pos + sliceChars);
        if (end < raw.size() && raw.at(end - 1).isHighSurrogate())
            ++end;
        TextEncoding sliceEncoding = encoding;
        const QByteArray bytes
            = encodeText(withLineEnds(raw.mid(pos, end - pos), QLatin1String("\r\n")), encoding,
                         bom && pos == 0, &sliceEncoding);
        if (sliceEncoding != encoding) {
            // A character Windows-1252 lacks: the whole text goes as UTF-8.
            encoding = sliceEncoding;
            bom = false;
            if (pos > 0) {
                out.clear();
                pos = 0;
                continue;
            }
        }
        out.append(bytes);
        pos = end;
    } while (pos < raw.size());
    *used = encoding;
    return out;
}

QList<SaveQuestion> Document::saveQuestions(const QString &path)
{
    QList<SaveQuestion> questions;
    if (isRichTextSource(path))
        questions.append(SaveQuestion{SaveQuestion::ReplaceRichText});
    if (fileChangedOnDisk(path))
        questions.append(SaveQuestion{SaveQuestion::OverwriteOtherChanges});
    if (fileRemovedFromDisk(path))
        questions.append(SaveQuestion{SaveQuestion::CreateRemovedFile});
    if (const int line = misplacedKeptByteLine())
        questions.append(SaveQuestion{SaveQuestion::MisplacedKeptBytes, line});
    if (cannotWriteBackExactly())
        questions.append(SaveQuestion{SaveQuestion::LegacyNotExact});
    if (saveChangesEncoding())
        questions.append(SaveQuestion{SaveQuestion::Windows1252BecomesUtf8});
    return questions;
}

void Document::accept(const SaveQuestion &question)
{
    if (question.kind == SaveQuestion::MisplacedKeptBytes)
        replaceMisplacedKeptBytes();
    else if (question.kind == SaveQuestion::LegacyNotExact)
        setEncoding(FileEncoding::detected({TextEncoding::Utf8, false}));
}

bool Document::save(const QString &path)
{
    m_errorString.clear();
    // Every edit keeps to the line limit; this is the last guard. A block is
    // at least as long as its longest line, so only the rare long block needs
    // its text looked at.
    for (QTextBlock b = m_doc->begin(); b.isValid(); b = b.next()) {
        if (!lineLimitAllows(b.length()) && !lineLimitAllows(longestLine(b.text()))) {
            m_errorString = tr("Line %1 is longer than %2 characters; the editor could not "
                               "open the file again. Break the line, then save.")
                                .arg(b.blockNumber() + 1)
                                .arg(maxLineLength);
            return false;
        }
    }
    if (cannotWriteBackExactly()) {
        m_errorString
            = tr("The text cannot be written back exactly in %1.").arg(m_encoding.legacyCodec);
        return false;
    }
    TextEncoding used = m_encoding.kind;
    const QByteArray bytes = encodedText(&used);
    if (!m_file.write(path, bytes)) {
        m_errorString = m_file.errorString();
        return false;
    }
    m_richSource = false;
    // Written with bytes above ASCII, an Auto file is Windows-1252 from now
    // on: a character it lacks later makes Save ask before going to UTF-8,
    // as for any Windows-1252 file, instead of silently changing those
    // bytes. A legacy encoding stays what it is.
    if (m_encoding.isAuto() && used == TextEncoding::Auto
        && std::any_of(bytes.cbegin(), bytes.cend(), [](char b) { return uchar(b) >= 0x80; }))
        used = TextEncoding::Windows1252;
    if (!m_encoding.isLegacy() && used != m_encoding.kind)
        setEncoding(FileEncoding::detected({used, false}));
    m_doc->setModified(false);
    setFilePath(QFileInfo(path).absoluteFilePath());
    return true;
}
