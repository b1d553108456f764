#pragma once

// A reader for rich-text (RTF) files. Qt reads HTML and Markdown but not RTF,
// and no maintained C or C++ RTF reader is packaged for Debian, so the editor
// carries its own. It is the one part of the program that parses untrusted
// input, so it is written to be bounded: no recursion (an explicit group
// stack of limited depth), control words and numbers of limited length, time
// linear in the input and memory a small multiple of it. Malformed or
// truncated input yields whatever text could be read.

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QVector>

class QTextCursor;
class QTextBlockFormat;
class QTextCharFormat;

// True when the first non-blank bytes are "{\rtf1" (or "{\rtf\"), as in
// rich-text files; a definition file that merely starts with "{\rtf" is
// plain text.
bool looksLikeRtf(const QByteArray &bytes);

// The character formatting of a run of text, as the file gave it.
struct RtfCharFormat
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    QString family; // empty: the control's own font
    int halfPoints = 24; // font size in half-points
    QColor foreground; // invalid: the automatic colour
    QColor background; // invalid: no highlight
};

struct RtfRun
{
    int start = 0; // index into RtfContent::text; the run lasts until the next one starts
    int format = 0; // index into RtfContent::formats
};

// What a file holds, ready to insert into a document. Paragraphs are
// separated by U+2029 and line breaks within one are U+2028; the text holds
// no other control characters than tabs.
struct RtfContent
{
    QString text;
    QVector<RtfCharFormat> formats;
    QVector<RtfRun> runs;
    // One entry per paragraph: Qt::AlignLeft, AlignHCenter, AlignRight or AlignJustify.
    QVector<quint8> alignments;
    // Groups that were still open at the end of the input, or closed that were never opened.
    bool unbalanced = false;
};

// Reads RTF bytes. Never fails: whatever cannot be understood is left out.
RtfContent readRtf(const QByteArray &bytes);

// Inserts the content at the cursor with its formatting, one paragraph per
// block, each block aligned as the file said. The caller frames it in one edit block.
void insertRtf(QTextCursor &cursor, const RtfContent &content);

// Does the same in steps of a bounded number of characters, so that a big
// file can go into a document shown meanwhile. The result is the same
// whatever the steps. The content must outlive the inserter.
class RtfInserter
{
public:
    explicit RtfInserter(const RtfContent &content);
    ~RtfInserter();
    // Inserts about `chars` more characters at the cursor; returns false once
    // everything is in.
    bool insertSome(QTextCursor &cursor, qsizetype chars);
    // How many characters of the content's text are in so far.
    qsizetype inserted() const { return m_pos; }

private:
    QTextBlockFormat blockFormat(const QTextCursor &cursor, int paragraph) const;

    const RtfContent &m_content;
    QVector<QTextCharFormat> m_formats;
    int m_run = 0;
    int m_pos = 0;
    int m_paragraph = 0;
    int m_align = 0;
    bool m_started = false;
};
