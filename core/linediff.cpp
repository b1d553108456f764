#include "linediff.h"
#include "workerrun.h"

#include "rtfreader.h"
#include "textcodec.h"
#include "textfile.h"

#include <QElapsedTimer>
#include <QHash>
#include <QThread>

#include <dtl/dtl.hpp>

#include <algorithm>
#include <functional>
#include <optional>
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

// The longest run of pairs whose second members increase, in order (by
// patience sorting); the pairs come with increasing first members.
std::vector<std::pair<int, int>> increasingRun(const std::vector<std::pair<int, int>> &pairs)
{
    std::vector<int> tops; // per run length, the index of the pair ending the best run
    std::vector<int> before(pairs.size(), -1);
    for (size_t i = 0; i < pairs.size(); ++i) {
        const auto at
            = std::lower_bound(tops.begin(), tops.end(), pairs[i].second, [&](int top, int value) {
                  return pairs[size_t(top)].second < value;
              });
        if (at != tops.begin())
            before[i] = *(at - 1);
        if (at == tops.end())
            tops.push_back(int(i));
        else
            *at = int(i);
    }
    std::vector<std::pair<int, int>> run;
    for (int i = tops.empty() ? -1 : tops.back(); i >= 0; i = before[size_t(i)])
        run.push_back(pairs[size_t(i)]);
    std::reverse(run.begin(), run.end());
    return run;
}

// Adds the matched lines of the piece [l0, l1) x [r0, r1) to pairs. A line
// found on one side of it only is part of a difference whatever the rest:
// left out, it leaves the algorithm the lines that can match, so that two
// pieces unlike each other cost next to nothing. count is all zero before
// and after.
void piecePairs(const std::vector<int> &leftIds, int l0, int l1, const std::vector<int> &rightIds,
                int r0, int r1, std::vector<int> &count, const std::atomic<bool> *cancel,
                std::vector<std::pair<int, int>> *pairs)
{
    if (l0 >= l1 || r0 >= r1 || isCancelled(cancel))
        return;
    // Seen on the left: bit 1; on the right: bit 2.
    for (int i = l0; i < l1; ++i)
        count[size_t(leftIds[size_t(i)])] |= 1;
    for (int i = r0; i < r1; ++i)
        count[size_t(rightIds[size_t(i)])] |= 2;
    std::vector<int> a, b, aIndex, bIndex;
    for (int i = l0; i < l1; ++i) {
        if (count[size_t(leftIds[size_t(i)])] == 3) {
            a.push_back(leftIds[size_t(i)]);
            aIndex.push_back(i);
        }
    }
    for (int i = r0; i < r1; ++i) {
        if (count[size_t(rightIds[size_t(i)])] == 3) {
            b.push_back(rightIds[size_t(i)]);
            bIndex.push_back(i);
        }
    }
    for (int i = l0; i < l1; ++i)
        count[size_t(leftIds[size_t(i)])] = 0;
    for (int i = r0; i < r1; ++i)
        count[size_t(rightIds[size_t(i)])] = 0;
    for (const auto &[i, j] : commonPairs(a, b, cancel))
        pairs->emplace_back(aIndex[size_t(i)], bIndex[size_t(j)]);
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

    // Lines found once in each file, in the same order in both, are taken
    // as matched, and the algorithm runs on the pieces between them: its
    // time grows with the square of the lines that differ in the piece it
    // is given, so that 1,700 changes scattered over 170,000 lines would
    // take it seconds as a whole and milliseconds in pieces. git's
    // "patience" mode anchors its differences the same way.
    std::vector<int> onLeft(ids.size()), onRight(ids.size()), rightAt(ids.size());
    for (size_t i = head; i < leftIds.size() - tail; ++i)
        ++onLeft[size_t(leftIds[i])];
    for (size_t i = head; i < rightIds.size() - tail; ++i) {
        ++onRight[size_t(rightIds[i])];
        rightAt[size_t(rightIds[i])] = int(i);
    }
    std::vector<std::pair<int, int>> unique;
    for (size_t i = head; i < leftIds.size() - tail; ++i) {
        const size_t id = size_t(leftIds[i]);
        if (onLeft[id] == 1 && onRight[id] == 1)
            unique.emplace_back(int(i), rightAt[id]);
    }
    std::vector<std::pair<int, int>> pairs;
    std::vector<int> count(ids.size()); // zero between pieces
    int fromLeft = int(head);
    int fromRight = int(head);
    for (const auto &[l, r] : increasingRun(unique)) {
        piecePairs(leftIds, fromLeft, l, rightIds, fromRight, r, count, cancel, &pairs);
        pairs.emplace_back(l, r);
        fromLeft = l + 1;
        fromRight = r + 1;
    }
    piecePairs(leftIds, fromLeft, int(leftIds.size() - tail), rightIds, fromRight,
               int(rightIds.size() - tail), count, cancel, &pairs);
    if (isCancelled(cancel)) {
        if (cancelled)
            *cancelled = true;
        return {};
    }
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
    lines.reserve(text.size() / 32 + 1);
    const char16_t *const begin = text.utf16();
    const char16_t *const end = begin + text.size();
    const char16_t *start = begin;
    for (const char16_t *p = begin; p < end; ++p) {
        const char16_t c = *p;
        // Most characters are above CR and below the separators.
        if ((c > u'\r' && c < 0x2028) || (c != u'\n' && c != u'\r' && c != 0x2028 && c != 0x2029))
            continue;
        lines.append(QStringView(start, p));
        if (c == u'\r' && p + 1 < end && p[1] == u'\n')
            ++p;
        start = p + 1;
    }
    if (start < end)
        lines.append(QStringView(start, end));
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
                  QString *error, const FileEncoding *encoding)
{
    TextFile file;
    if (!file.read(path, maxSize)) {
        *error = file.errorString();
        return false;
    }
    if (encoding && encoding->isLegacy()) {
        bool exact = false;
        *text = decodeLegacy(file.bytes(), encoding->legacyCodec, &exact);
    } else if (encoding && !encoding->isAuto()) {
        TextPieces pieces(file.bytes(), chosenTextFormat(file.bytes(), encoding->kind),
                          file.bytes().size());
        text->clear();
        pieces.next(text);
    } else if (!encoding && looksLikeRtf(file.bytes())) {
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

struct LineCompare::Run : WorkerRun
{
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
                        const LineDiffOptions &options, qint64 maxFileSize, qsizetype maxLineLength,
                        const FileEncoding *encoding)
{
    const std::optional<FileEncoding> readAs
        = encoding ? std::optional<FileEncoding>(*encoding) : std::nullopt;
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
                         &result->errorString, readAs ? &*readAs : nullptr)) {
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
