#include "document.h"

#include "memory.h"
#include "rtfreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPlainTextDocumentLayout>
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
    QString legacyCodec;
    QString legacyText;
    qsizetype legacyPos = 0;
    bool legacyExact = false;
    QTextCursor cursor;

    QTextDocument *earlier = nullptr;
    QString earlierPath;
    int percent = -1;

    int progress() const
    {
        if (inserter)
            return rtf.text.isEmpty() ? 100 : int(inserter->inserted() * 100 / rtf.text.size());
        if (!legacyCodec.isEmpty())
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
    m_doc = newTextDocument();
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

QString Document::text() const
{
    return withLineEnds(m_doc->toRawText(), QLatin1String("\r\n"));
}

void Document::setFilePath(const QString &path)
{
    if (path == m_path)
        return;
    m_path = path;
    Q_EMIT filePathChanged(path);
}

void Document::setEncoding(TextEncoding encoding, bool bom)
{
    m_encoding = encoding;
    m_bom = bom;
    m_legacyCodec.clear();
    m_legacyExact = false;
    Q_EMIT encodingChanged();
}

QString Document::encodingLabel() const
{
    return m_legacyCodec.isEmpty() ? encodingName(m_encoding) : m_legacyCodec;
}

bool Document::cannotWriteBackExactly() const
{
    if (m_legacyCodec.isEmpty())
        return false;
    QByteArray bytes;
    return !m_legacyExact || !encodeLegacy(text(), m_legacyCodec, &bytes);
}

bool Document::saveChangesEncoding() const
{
    return m_encoding == TextEncoding::Windows1252 && !fitsEncoding(text(), m_encoding);
}

int Document::misplacedKeptByteLine() const
{
    // Only UTF-16 has bytes that cannot stand alone; the text is not copied
    // for the others.
    if (m_encoding != TextEncoding::Utf16LE && m_encoding != TextEncoding::Utf16BE)
        return 0;
    const QString raw = m_doc->toRawText();
    const qsizetype at = misplacedKeptByte(raw, m_encoding);
    return at < 0 ? 0 : m_doc->findBlock(int(at)).blockNumber() + 1;
}

void Document::replaceMisplacedKeptBytes()
{
    const auto runs = misplacedKeptBytes(m_doc->toRawText(), m_encoding);
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
    setEncoding(TextEncoding::Auto, false);
    setFilePath(QString());
}

void Document::restore(const QString &path, const FileIdentity &identity, TextEncoding encoding,
                       bool bom, const QString &text, const QString &legacyEncoding,
                       bool legacyExact)
{
    cancelLoad();
    m_doc->setPlainText(text);
    m_doc->setModified(true);
    if (path.isEmpty())
        m_file.clear();
    else
        m_file.restore(path, identity);
    m_richSource = false;
    setEncoding(encoding, bom);
    if (legacyEncodingNames().contains(legacyEncoding)) {
        m_legacyCodec = legacyEncoding;
        m_legacyExact = legacyExact;
        Q_EMIT encodingChanged();
    }
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
    return startLoad(path, richText, QString());
}

bool Document::beginReload(const QString &encodingName)
{
    if (m_path.isEmpty() || isLoading())
        return false;
    return startLoad(m_path, false, encodingName);
}

std::unique_ptr<Document::Load> Document::prepareLoad(const QString &path, bool richText,
                                                      const QString &encodingName)
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
        if (longest <= maxLineLength)
            return false;
        m_errorString
            = tr("It has a line longer than %1 characters, too long to edit.").arg(maxLineLength);
        return true;
    };
    TextEncoding chosen = TextEncoding::Auto;
    if (legacyEncodingNames().contains(encodingName)) {
        load->legacyCodec = encodingName;
        load->legacyText = decodeLegacy(bytes, encodingName, &load->legacyExact);
        load->file.releaseBytes();
        if (refuseLongLines(longestLine(load->legacyText)))
            return nullptr;
    } else if (encodingForName(encodingName, &chosen)) {
        // The byte order mark of the encoding chosen, if the file has one,
        // stays a mark rather than a character.
        const TextFormat found = detectTextFormat(bytes);
        load->format = {chosen, found.bom && found.encoding == chosen};
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

bool Document::startLoad(const QString &path, bool richText, const QString &encodingName)
{
    cancelLoad();
    m_errorString.clear();
    // The memory of documents gone before is what this load will fill.
    keepFreedMemory();
    std::unique_ptr<Load> load = prepareLoad(path, richText, encodingName);
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
        } else if (!l.legacyCodec.isEmpty()) {
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
    if (done->inserter || !done->legacyCodec.isEmpty())
        setEncoding(TextEncoding::Auto, false);
    else
        setEncoding(done->format.encoding, done->format.bom);
    if (!done->legacyCodec.isEmpty()) {
        m_legacyCodec = done->legacyCodec;
        m_legacyExact = done->legacyExact;
        Q_EMIT encodingChanged();
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
    TextEncoding encoding = m_encoding;
    bool bom = m_bom;
    QByteArray out;
    if (!m_legacyCodec.isEmpty()) {
        // Legacy files are small; a multi-byte encoding is encoded whole
        // rather than cut between slices.
        *used = encoding;
        if (!encodeLegacy(withLineEnds(raw, QLatin1String("\r\n")), m_legacyCodec, &out))
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

bool Document::save(const QString &path)
{
    m_errorString.clear();
    // Every edit keeps to the line limit; this is the last guard. A block is
    // at least as long as its longest line, so only the rare long block needs
    // its text looked at.
    for (QTextBlock b = m_doc->begin(); b.isValid(); b = b.next()) {
        if (b.length() > maxLineLength && longestLine(b.text()) > maxLineLength) {
            m_errorString = tr("Line %1 is longer than %2 characters; the editor could not "
                               "open the file again. Break the line, then save.")
                                .arg(b.blockNumber() + 1)
                                .arg(maxLineLength);
            return false;
        }
    }
    if (cannotWriteBackExactly()) {
        m_errorString = tr("The text cannot be written back exactly in %1.").arg(m_legacyCodec);
        return false;
    }
    TextEncoding used = m_encoding;
    const QByteArray bytes = encodedText(&used);
    if (!m_file.write(path, bytes)) {
        m_errorString = m_file.errorString();
        return false;
    }
    m_richSource = false;
    // Written with bytes above ASCII, the file is Windows-1252 from now on:
    // a character it lacks later makes Save ask before going to UTF-8, as
    // for any Windows-1252 file, instead of silently changing those bytes.
    if (used == TextEncoding::Auto
        && std::any_of(bytes.cbegin(), bytes.cend(), [](char b) { return uchar(b) >= 0x80; }))
        used = TextEncoding::Windows1252;
    if (used != m_encoding)
        setEncoding(used, false);
    m_doc->setModified(false);
    setFilePath(QFileInfo(path).absoluteFilePath());
    return true;
}
