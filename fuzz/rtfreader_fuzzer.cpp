// libFuzzer entry point over the rich-text reader and the insertion of its
// result into a document, the two steps a file takes on its way to the screen.
#include "rtfreader.h"

#include <QTextCursor>
#include <QTextDocument>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const RtfContent content = readRtf(bytes);

    // The promises the document builder relies on.
    if (content.runs.isEmpty() || content.runs.first().start != 0)
        std::abort();
    for (const RtfRun &run : content.runs) {
        if (run.start > content.text.size() || run.format < 0
            || run.format >= content.formats.size())
            std::abort();
    }
    if (content.alignments.size() != content.text.count(QChar::ParagraphSeparator) + 1)
        std::abort();

    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    insertRtf(cursor, content);
    cursor.endEditBlock();
    if (doc.toRawText() != content.text)
        std::abort();
    return 0;
}
