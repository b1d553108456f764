#include "linediff.h"

#include "rtfreader.h"
#include "textcodec.h"
#include "textfile.h"

#include <QElapsedTimer>
#include <QHash>
#include <QThread>

#include <dtl/dtl.hpp>

#include <functional>
#include <vector>

namespace {

// libdtl has no way to stop: once cancel is set, every pair compares equal,
// which sends its search straight to the end of both sequences.
template<typename T>
class CancellableCompare : public dtl::Compare<T>
{
public:
    explicit CancellableCompare(const std::atomic<bool> *cancel = nullptr)
        : m_cancel(cancel)
    {
    }
    bool impl(const T &a, const T &b) const override
    {
        return a == b || (m_cancel && m_cancel->load(std::memory_order_relaxed));
    }

private:
    const std::atomic<bool> *m_cancel;
};

bool isCancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// The pairs (from 0) of elements that a shortest edit script from a to b
// keeps, in order.
template<typename T>
std::vector<std::pair<int, int>> commonPairs(const std::vector<T> &a, const std::vector<T> &b,
                                             const std::atomic<bool> *cancel)
{
    std::vector<std::pair<int, int>> pairs;
    if (a.empty() || b.empty())
        return pairs;
    dtl::Diff<T, std::vector<T>, CancellableCompare<T>> diff(a, b, CancellableCompare<T>(cancel));
    diff.compose();
    if (isCancelled(cancel))
        return pairs;
    for (const auto &element : diff.getSes().getSequence()) {
        if (element.second.type == dtl::SES_COMMON)
            pairs.emplace_back(int(element.second.beforeIdx - 1), int(element.second.afterIdx - 1));
    }
    return pairs;
}

QStringView withoutTrailingBlanks(QStringView line)
{
    qsizetype end = line.size();
    while (end > 0 && (line[end - 1] == u' ' || line[end - 1] == u'\t'))
        --end;
    return line.first(end);
}

QList<LineDifference> compareLines(const QList<QStringView> &left, const QList<QStringView> &right,
                                   const LineDiffOptions &options, const std::atomic<bool> *cancel,
                                   bool *cancelled, const std::function<void(int)> &progress)
{
    const auto key = [&](QStringView line) {
        return options.ignoreTrailingBlanks ? withoutTrailingBlanks(line) : line;
    };
    // Lines are compared as ids: each distinct line gets one, so that the
    // algorithm compares integers instead of strings.
    QHash<QStringView, int> ids;
    ids.reserve(left.size() + right.size());
    std::vector<int> leftIds(size_t(left.size()));
    std::vector<int> rightIds(size_t(right.size()));
    int done = 0;
    const auto number = [&](const QList<QStringView> &lines, std::vector<int> &out) {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QStringView line = key(lines[i]);
            auto id = ids.constFind(line);
            if (id == ids.constEnd())
                id = ids.insert(line, int(ids.size()));
            out[size_t(i)] = id.value();
            if (++done % 16384 == 0 && progress)
                progress(done);
        }
    };
    number(left, leftIds);
    number(right, rightIds);

    // The same lines at both ends cost the algorithm nothing to skip.
    size_t head = 0;
    while (head < leftIds.size() && head < rightIds.size() && leftIds[head] == rightIds[head])
        ++head;
    size_t tail = 0;
    while (tail < leftIds.size() - head && tail < rightIds.size() - head
           && leftIds[leftIds.size() - 1 - tail] == rightIds[rightIds.size() - 1 - tail])
        ++tail;

    // A line found on one side only is part of a difference whatever the
    // rest: left out, it leaves the algorithm the lines that can match. Its
    // time grows with the square of the lines that differ, so that two
    // files unlike each other would otherwise take minutes.
    std::vector<int> onLeft(ids.size()), onRight(ids.size());
    for (size_t i = head; i < leftIds.size() - tail; ++i)
        ++onLeft[size_t(leftIds[i])];
    for (size_t i = head; i < rightIds.size() - tail; ++i)
        ++onRight[size_t(rightIds[i])];
    std::vector<int> a, b, aIndex, bIndex;
    for (size_t i = head; i < leftIds.size() - tail; ++i) {
        if (onRight[size_t(leftIds[i])]) {
            a.push_back(leftIds[i]);
            aIndex.push_back(int(i));
        }
    }
    for (size_t i = head; i < rightIds.size() - tail; ++i) {
        if (onLeft[size_t(rightIds[i])]) {
            b.push_back(rightIds[i]);
            bIndex.push_back(int(i));
        }
    }
    std::vector<std::pair<int, int>> pairs = commonPairs(a, b, cancel);
    if (isCancelled(cancel)) {
        if (cancelled)
            *cancelled = true;
        return {};
    }
    for (auto &pair : pairs)
        pair = {aIndex[size_t(pair.first)], bIndex[size_t(pair.second)]};
    // The lines after the common head up to the tail: gaps between pairs.
    pairs.emplace_back(int(leftIds.size() - tail), int(rightIds.size() - tail));
    QList<LineDifference> differences;
    int nextLeft = int(head);
    int nextRight = int(head);
    for (const auto &[l, r] : pairs) {
        if (l > nextLeft || r > nextRight)
            differences.append({nextLeft, l - nextLeft, nextRight, r - nextRight});
        nextLeft = l + 1;
        nextRight = r + 1;
    }
    return differences;
}

// Runs of the indexes (from 0) of one side's characters that differ.
QList<std::pair<int, int>> runs(const std::vector<int> &indexes)
{
    QList<std::pair<int, int>> out;
    for (const int i : indexes) {
        if (!out.isEmpty() && out.last().first + out.last().second == i)
            ++out.last().second;
        else
            out.append({i, 1});
    }
    return out;
}

} // namespace

QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r' && c != QChar::ParagraphSeparator && c != QChar::LineSeparator)
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}

QList<LineDifference> diffLines(const QList<QStringView> &left, const QList<QStringView> &right,
                                const LineDiffOptions &options, const std::atomic<bool> *cancel,
                                bool *cancelled)
{
    return compareLines(left, right, options, cancel, cancelled, {});
}

CharacterMarks diffCharacters(QStringView left, QStringView right, int maxLineLength)
{
    CharacterMarks marks;
    if (left.size() > maxLineLength || right.size() > maxLineLength) {
        if (!left.isEmpty())
            marks.left.append({0, int(left.size())});
        if (!right.isEmpty())
            marks.right.append({0, int(right.size())});
        return marks;
    }
    const std::vector<char16_t> a(left.utf16(), left.utf16() + left.size());
    const std::vector<char16_t> b(right.utf16(), right.utf16() + right.size());
    std::vector<bool> keptA(a.size()), keptB(b.size());
    for (const auto &[i, j] : commonPairs(a, b, nullptr)) {
        keptA[size_t(i)] = true;
        keptB[size_t(j)] = true;
    }
    std::vector<int> differA, differB;
    for (size_t i = 0; i < a.size(); ++i)
        if (!keptA[i])
            differA.push_back(int(i));
    for (size_t j = 0; j < b.size(); ++j)
        if (!keptB[j])
            differB.push_back(int(j));
    marks.left = runs(differA);
    marks.right = runs(differB);
    return marks;
}

QList<CompareRow> alignRows(const QList<LineDifference> &differences, int leftLines, int rightLines,
                            QList<int> *differenceRows)
{
    QList<CompareRow> rows;
    rows.reserve(qMax(leftLines, rightLines));
    int l = 0;
    int r = 0;
    const auto same = [&](int untilLeft) {
        for (; l < untilLeft; ++l, ++r)
            rows.append({l, r, CompareRow::Same});
    };
    for (const LineDifference &d : differences) {
        same(d.leftStart);
        if (differenceRows)
            differenceRows->append(int(rows.size()));
        const int changed = d.changedLines();
        for (int i = 0; i < qMax(d.leftCount, d.rightCount); ++i) {
            if (i < changed)
                rows.append({l++, r++, CompareRow::Changed});
            else if (i < d.leftCount)
                rows.append({l++, -1, CompareRow::Removed});
            else
                rows.append({-1, r++, CompareRow::Added});
        }
    }
    same(leftLines);
    Q_ASSERT(r == rightLines);
    Q_UNUSED(rightLines);
    return rows;
}

bool readTextFile(const QString &path, qint64 maxSize, qsizetype maxLineLength, QString *text,
                  QString *error)
{
    TextFile file;
    if (!file.read(path, maxSize)) {
        *error = file.errorString();
        return false;
    }
    if (looksLikeRtf(file.bytes())) {
        *text = readRtf(file.bytes()).text;
    } else {
        TextPieces pieces(file.bytes(), detectTextFormat(file.bytes()), file.bytes().size());
        text->clear();
        pieces.next(text);
    }
    if (longestLine(*text) > maxLineLength) {
        *error = QObject::tr("It has a line longer than %1 characters.").arg(maxLineLength);
        return false;
    }
    return true;
}

struct LineCompare::Run
{
    quint64 id = 0;
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<QThread> thread;
    ~Run()
    {
        *cancel = true;
        if (thread)
            thread->wait();
    }
};

LineCompare::LineCompare(QObject *parent)
    : QObject(parent)
{
}

LineCompare::~LineCompare()
{
    m_current = 0;
    for (const auto &run : m_runs)
        *run->cancel = true;
    m_runs.clear();
}

void LineCompare::start(const QString &leftText, const QString &rightPath,
                        const LineDiffOptions &options, qint64 maxFileSize, qsizetype maxLineLength)
{
    cancel();
    auto run = std::make_shared<Run>();
    static quint64 lastId = 0;
    run->id = ++lastId;
    m_current = run->id;
    const quint64 id = run->id;
    const std::shared_ptr<std::atomic<bool>> cancelled = run->cancel;
    run->thread.reset(QThread::create([=] {
        auto result = std::make_shared<LineComparison>();
        result->leftText = leftText;
        result->options = options;
        if (readTextFile(rightPath, maxFileSize, maxLineLength, &result->rightText,
                         &result->errorString)) {
            result->leftLines = splitLines(result->leftText);
            result->rightLines = splitLines(result->rightText);
            QElapsedTimer sinceSent;
            sinceSent.start();
            result->differences = compareLines(result->leftLines, result->rightLines, options,
                                               cancelled.get(), &result->cancelled, [&](int lines) {
                                                   if (sinceSent.elapsed() < 100)
                                                       return;
                                                   sinceSent.restart();
                                                   QMetaObject::invokeMethod(
                                                       this,
                                                       [this, id, lines] {
                                                           if (id == m_current)
                                                               Q_EMIT progress(lines);
                                                       },
                                                       Qt::QueuedConnection);
                                               });
            if (!result->cancelled)
                result->rows = alignRows(result->differences, int(result->leftLines.size()),
                                         int(result->rightLines.size()), &result->differenceRows);
        }
        QMetaObject::invokeMethod(
            this,
            [this, id, result = std::shared_ptr<const LineComparison>(result)] {
                for (qsizetype i = 0; i < m_runs.size(); ++i) {
                    if (m_runs[i]->id == id) {
                        m_runs.removeAt(i);
                        break;
                    }
                }
                if (id != m_current)
                    return;
                m_current = 0;
                Q_EMIT finished(result);
            },
            Qt::QueuedConnection);
    }));
    run->thread->setObjectName(QStringLiteral("Compare"));
    m_runs.append(run);
    run->thread->start();
}

void LineCompare::cancel()
{
    for (const auto &run : m_runs)
        if (run->id == m_current)
            *run->cancel = true;
}
