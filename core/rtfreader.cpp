#include "rtfreader.h"

#include "textcodec.h"

#include <QHash>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Deeper groups are still counted, so that their closing braces match, but
// they share the state of the deepest group kept.
constexpr int kMaxDepth = 1024;
// Longer control words are read to their end but understood as unknown.
constexpr int kMaxWordLength = 32;
// Numeric parameters saturate here instead of overflowing.
constexpr qint64 kMaxParam = 1000000000;
// Font and colour tables stop growing here; later entries are ignored.
constexpr int kMaxTableEntries = 32768;

constexpr char16_t kParagraph = 0x2029;
constexpr char16_t kLineBreak = 0x2028;

enum class Dest : quint8 { Text, Skip, FontTable, ColorTable };

// Character properties as the file sets them; fonts and colours are table
// indices, resolved once the whole file has been read.
struct CharProps
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int font = -1;
    int halfPoints = 24;
    int foreground = 0;
    int background = 0;

    bool operator==(const CharProps &o) const
    {
        return bold == o.bold && italic == o.italic && underline == o.underline
            && strikeOut == o.strikeOut && font == o.font && halfPoints == o.halfPoints
            && foreground == o.foreground && background == o.background;
    }
};

size_t qHash(const CharProps &p, size_t seed = 0)
{
    return qHashMulti(seed, p.bold, p.italic, p.underline, p.strikeOut, p.font, p.halfPoints,
                      p.foreground, p.background);
}

struct State
{
    CharProps chars;
    quint8 align = Qt::AlignLeft;
    Dest dest = Dest::Text;
    int unicodeSkip = 1; // \ucN: fallback characters that follow each \uN
};

enum class Kw {
    // destinations
    Rtf,
    FontTable,
    ColorTable,
    SkipDest,
    // document
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    DefFont,
    // text
    Par,
    Line,
    Tab,
    Cell,
    Row,
    Char,
    Unicode,
    UnicodeSkip,
    Bin,
    // character formatting
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    Font,
    FontSize,
    Foreground,
    Background,
    // paragraph formatting
    Pard,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    // font and colour tables
    FontCharset,
    Red,
    Green,
    Blue,
};

struct KwInfo
{
    Kw kw;
    char16_t ch = 0; // for Kw::Char
};

using KwTable = std::unordered_map<std::string_view, KwInfo>;

// Every control word the reader understands, and what it is to it. Words not
// here are unknown: skipped, or their whole group when marked ignorable.
constexpr std::pair<std::string_view, KwInfo> kKeywords[] = {
    // destinations
    {"rtf", {Kw::Rtf}},
    {"fonttbl", {Kw::FontTable}},
    {"colortbl", {Kw::ColorTable}},
    // Destinations whose content is not document text.
    {"stylesheet", {Kw::SkipDest}},
    {"info", {Kw::SkipDest}},
    {"pict", {Kw::SkipDest}},
    {"header", {Kw::SkipDest}},
    {"headerl", {Kw::SkipDest}},
    {"headerr", {Kw::SkipDest}},
    {"headerf", {Kw::SkipDest}},
    {"footer", {Kw::SkipDest}},
    {"footerl", {Kw::SkipDest}},
    {"footerr", {Kw::SkipDest}},
    {"footerf", {Kw::SkipDest}},
    {"listtable", {Kw::SkipDest}},
    {"listoverridetable", {Kw::SkipDest}},
    {"revtbl", {Kw::SkipDest}},
    {"rsidtbl", {Kw::SkipDest}},
    {"fldinst", {Kw::SkipDest}},
    {"footnote", {Kw::SkipDest}},
    {"annotation", {Kw::SkipDest}},
    {"atnid", {Kw::SkipDest}},
    {"atnauthor", {Kw::SkipDest}},
    {"atndate", {Kw::SkipDest}},
    {"atnref", {Kw::SkipDest}},
    {"atrfstart", {Kw::SkipDest}},
    {"atrfend", {Kw::SkipDest}},
    {"bkmkstart", {Kw::SkipDest}},
    {"bkmkend", {Kw::SkipDest}},
    {"object", {Kw::SkipDest}},
    {"objdata", {Kw::SkipDest}},
    {"objclass", {Kw::SkipDest}},
    {"objname", {Kw::SkipDest}},
    {"nonshppict", {Kw::SkipDest}},
    {"shp", {Kw::SkipDest}},
    {"shpinst", {Kw::SkipDest}},
    {"shptxt", {Kw::SkipDest}},
    {"sp", {Kw::SkipDest}},
    {"sn", {Kw::SkipDest}},
    {"sv", {Kw::SkipDest}},
    {"template", {Kw::SkipDest}},
    {"author", {Kw::SkipDest}},
    {"operator", {Kw::SkipDest}},
    {"title", {Kw::SkipDest}},
    {"subject", {Kw::SkipDest}},
    {"keywords", {Kw::SkipDest}},
    {"comment", {Kw::SkipDest}},
    {"doccomm", {Kw::SkipDest}},
    {"company", {Kw::SkipDest}},
    {"category", {Kw::SkipDest}},
    {"manager", {Kw::SkipDest}},
    {"creatim", {Kw::SkipDest}},
    {"revtim", {Kw::SkipDest}},
    {"printim", {Kw::SkipDest}},
    {"buptim", {Kw::SkipDest}},
    {"userprops", {Kw::SkipDest}},
    {"docvar", {Kw::SkipDest}},
    {"generator", {Kw::SkipDest}},
    {"xmlnstbl", {Kw::SkipDest}},
    {"themedata", {Kw::SkipDest}},
    {"colorschememapping", {Kw::SkipDest}},
    {"latentstyles", {Kw::SkipDest}},
    {"datastore", {Kw::SkipDest}},
    {"filetbl", {Kw::SkipDest}},
    {"falt", {Kw::SkipDest}},
    {"panose", {Kw::SkipDest}},
    {"pn", {Kw::SkipDest}},
    {"pntxta", {Kw::SkipDest}},
    {"pntxtb", {Kw::SkipDest}},
    {"ftnsep", {Kw::SkipDest}},
    {"ftnsepc", {Kw::SkipDest}},
    {"ftncn", {Kw::SkipDest}},
    {"aftnsep", {Kw::SkipDest}},
    {"aftnsepc", {Kw::SkipDest}},
    {"aftncn", {Kw::SkipDest}},
    {"private", {Kw::SkipDest}},
    {"pgdsctbl", {Kw::SkipDest}},
    {"xe", {Kw::SkipDest}},
    {"tc", {Kw::SkipDest}},
    {"txe", {Kw::SkipDest}},
    {"do", {Kw::SkipDest}},
    {"blipuid", {Kw::SkipDest}},
    {"picprop", {Kw::SkipDest}},
    {"formfield", {Kw::SkipDest}},
    {"datafield", {Kw::SkipDest}},
    {"mmathPr", {Kw::SkipDest}},
    {"passwordhash", {Kw::SkipDest}},
    {"wgrffmtfilter", {Kw::SkipDest}},
    {"fchars", {Kw::SkipDest}},
    {"lchars", {Kw::SkipDest}},
    {"protusertbl", {Kw::SkipDest}},
    {"hlinkbase", {Kw::SkipDest}},
    {"leveltext", {Kw::SkipDest}},
    {"levelnumbers", {Kw::SkipDest}},
    {"fname", {Kw::SkipDest}},
    {"listname", {Kw::SkipDest}},
    {"listpicture", {Kw::SkipDest}},
    {"listoverride", {Kw::SkipDest}},
    {"list", {Kw::SkipDest}},
    {"ud", {Kw::SkipDest}},
    {"ts", {Kw::SkipDest}},
    {"tsrowd", {Kw::SkipDest}},
    {"fontemb", {Kw::SkipDest}},
    {"fontfile", {Kw::SkipDest}},
    {"file", {Kw::SkipDest}},
    {"pxe", {Kw::SkipDest}},
    {"rxe", {Kw::SkipDest}},
    {"bxe", {Kw::SkipDest}},
    {"ixe", {Kw::SkipDest}},
    {"tcn", {Kw::SkipDest}},
    {"docinfo", {Kw::SkipDest}},
    {"hyphen", {Kw::SkipDest}},
    {"password", {Kw::SkipDest}},
    {"background", {Kw::SkipDest}},
    {"mhtmltag", {Kw::SkipDest}},
    {"htmltag", {Kw::SkipDest}},
    // document
    {"ansi", {Kw::Ansi}},
    {"mac", {Kw::Mac}},
    {"pc", {Kw::Pc}},
    {"pca", {Kw::Pca}},
    {"ansicpg", {Kw::AnsiCpg}},
    {"deff", {Kw::DefFont}},
    {"fcharset", {Kw::FontCharset}},
    // text
    {"par", {Kw::Par}},
    {"sect", {Kw::Par}},
    {"page", {Kw::Par}},
    {"row", {Kw::Row}},
    {"line", {Kw::Line}},
    {"tab", {Kw::Tab}},
    {"cell", {Kw::Cell}},
    {"nestcell", {Kw::Cell}},
    // special characters
    {"emdash", {Kw::Char, 0x2014}},
    {"endash", {Kw::Char, 0x2013}},
    {"bullet", {Kw::Char, 0x2022}},
    {"lquote", {Kw::Char, 0x2018}},
    {"rquote", {Kw::Char, 0x2019}},
    {"ldblquote", {Kw::Char, 0x201C}},
    {"rdblquote", {Kw::Char, 0x201D}},
    {"emspace", {Kw::Char, 0x2003}},
    {"enspace", {Kw::Char, 0x2002}},
    {"qmspace", {Kw::Char, 0x2005}},
    {"zwj", {Kw::Char, 0x200D}},
    {"zwnj", {Kw::Char, 0x200C}},
    {"ltrmark", {Kw::Char, 0x200E}},
    {"rtlmark", {Kw::Char, 0x200F}},
    {"u", {Kw::Unicode}},
    {"uc", {Kw::UnicodeSkip}},
    {"bin", {Kw::Bin}},
    // character formatting
    {"plain", {Kw::Plain}},
    {"b", {Kw::Bold}},
    {"i", {Kw::Italic}},
    // every underline style is plain underlining
    {"ul", {Kw::Underline}},
    {"uld", {Kw::Underline}},
    {"uldash", {Kw::Underline}},
    {"uldashd", {Kw::Underline}},
    {"uldashdd", {Kw::Underline}},
    {"uldb", {Kw::Underline}},
    {"ulhwave", {Kw::Underline}},
    {"ulldash", {Kw::Underline}},
    {"ulth", {Kw::Underline}},
    {"ulthd", {Kw::Underline}},
    {"ulthdash", {Kw::Underline}},
    {"ulthdashd", {Kw::Underline}},
    {"ulthdashdd", {Kw::Underline}},
    {"ulthldash", {Kw::Underline}},
    {"ululdbwave", {Kw::Underline}},
    {"ulw", {Kw::Underline}},
    {"ulwave", {Kw::Underline}},
    {"ulnone", {Kw::UnderlineNone}},
    {"strike", {Kw::Strike}},
    {"striked", {Kw::Strike}},
    {"f", {Kw::Font}},
    {"fs", {Kw::FontSize}},
    {"cf", {Kw::Foreground}},
    {"highlight", {Kw::Background}},
    {"cb", {Kw::Background}},
    {"chcbpat", {Kw::Background}},
    // paragraph formatting
    {"pard", {Kw::Pard}},
    {"ql", {Kw::AlignLeft}},
    {"qc", {Kw::AlignCenter}},
    {"qr", {Kw::AlignRight}},
    {"qj", {Kw::AlignJustify}},
    {"qd", {Kw::AlignJustify}},
    // colour table
    {"red", {Kw::Red}},
    {"green", {Kw::Green}},
    {"blue", {Kw::Blue}},
};

// The map would keep only the first of two entries for one word.
constexpr bool keywordsAreUnique()
{
    for (auto i = std::begin(kKeywords); i != std::end(kKeywords); ++i) {
        for (auto j = i + 1; j != std::end(kKeywords); ++j) {
            if (i->first == j->first)
                return false;
        }
    }
    return true;
}
static_assert(keywordsAreUnique(), "a control word is in kKeywords twice");

const KwTable &keywords()
{
    static const KwTable table(std::begin(kKeywords), std::end(kKeywords));
    return table;
}

// The code pages a file may name, by \ansicpg or a font's \fcharset. Others
// fall back to Windows-1252 so that the set of decoders stays small.
const char *codePageName(int cp)
{
    switch (cp) {
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 852:
        return "IBM852";
    case 866:
        return "IBM866";
    case 874:
        return "windows-874";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 1250:
        return "windows-1250";
    case 1251:
        return "windows-1251";
    case 1253:
        return "windows-1253";
    case 1254:
        return "windows-1254";
    case 1255:
        return "windows-1255";
    case 1256:
        return "windows-1256";
    case 1257:
        return "windows-1257";
    case 1258:
        return "windows-1258";
    case 10000:
        return "macintosh";
    case 65001:
        return "UTF-8";
    default:
        return nullptr;
    }
}

// The code page of a font's \fcharset; 0 means the document's own.
int charsetCodePage(int charset)
{
    switch (charset) {
    case 0:
        return 1252;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    default:
        return 0;
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// True when b starts a two-byte character in the code page.
bool isLeadByte(int cp, uchar b)
{
    switch (cp) {
    case 932:
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950:
        return b >= 0x81 && b <= 0xFE;
    default:
        return false;
    }
}

// A control word as the file gives it: \name, then a number or not.
struct ControlWord
{
    std::string_view name;
    bool hasParam = false;
    int value = 0; // 0 without a number
};

struct Font
{
    QString name;
    int codePage = 0;
};

class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : m_p(bytes.constData())
        , m_end(bytes.constData() + bytes.size())
    {
        m_stack.reserve(kMaxDepth + 1);
        m_stack.emplace_back();
        for (int b = 0; b < 256; ++b)
            m_cp1252[b] = fromWindows1252(QByteArray(1, char(b))).at(0).unicode();
        // Text is usually a little shorter than its markup.
        m_out.text.reserve(bytes.size() / 2);
    }

    RtfContent read();

private:
    State &state() { return m_stack.back(); }

    void openGroup();
    bool closeGroup();
    ControlWord scanControlWord();
    void controlWord();
    bool documentWord(Kw kw, const ControlWord &word);
    bool fontTableWord(Kw kw, const ControlWord &word);
    bool colorTableWord(Kw kw, const ControlWord &word);
    bool textWord(const KwInfo &info, const ControlWord &word);
    bool formatWord(Kw kw, const ControlWord &word);
    void controlSymbol();
    void literal();
    void byteChar(uchar b);
    void flushBytes();
    void appendChar(char16_t c);
    void appendText(const char16_t *data, qsizetype n);
    void beginRun();
    void dropHighSurrogate();
    void endParagraph();
    void fontTableText(QStringView text);
    void colorTableText(char c);
    int codePage();
    QStringDecoder *decoder(int cp);
    void resolveFormats();

    const char *m_p;
    const char *m_end;
    std::vector<State> m_stack;
    int m_overflowDepth = 0; // groups opened beyond kMaxDepth
    quint8 m_paraAlign = Qt::AlignLeft; // of the paragraph being read
    bool m_starNext = false; // after \*: the group is an ignorable destination
    int m_skipChars = 0; // \uN fallback characters still to skip
    int m_docCodePage = 1252;
    int m_defaultFont = -1;
    char16_t m_cp1252[256];

    QByteArray m_pendingBytes; // code-page bytes awaiting decoding
    int m_pendingCodePage = 1252;
    // The pending bytes end with the lead byte of a double-byte character
    // whose trail byte has not come yet.
    bool m_awaitsTrailByte = false;
    char16_t m_highSurrogate = 0;
    std::unordered_map<int, std::unique_ptr<QStringDecoder>> m_decoders;

    QHash<int, Font> m_fonts;
    int m_currentFont = -1; // inside the font table
    QVector<QColor> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;

    QVector<CharProps> m_props; // by format index
    QHash<CharProps, int> m_formatIndex;
    CharProps m_runProps;
    RtfContent m_out;
};

RtfContent Reader::read()
{
    while (m_p < m_end) {
        const char c = *m_p;
        if (c == '{') {
            ++m_p;
            openGroup();
        } else if (c == '}') {
            ++m_p;
            if (!closeGroup())
                break;
        } else if (c == '\\') {
            ++m_p;
            if (m_p >= m_end)
                break;
            if (isLetter(*m_p))
                controlWord();
            else
                controlSymbol();
        } else {
            literal();
        }
    }
    flushBytes();
    dropHighSurrogate();
    if (m_stack.size() > 1 || m_overflowDepth > 0)
        m_out.unbalanced = true;
    m_out.alignments.append(m_paraAlign);
    resolveFormats();
    return std::move(m_out);
}

void Reader::openGroup()
{
    flushBytes();
    m_skipChars = 0;
    m_starNext = false;
    if (int(m_stack.size()) > kMaxDepth) {
        ++m_overflowDepth;
        return;
    }
    State copy = m_stack.back();
    m_stack.push_back(copy);
}

// Returns false once the outermost group has closed: the document ends there.
bool Reader::closeGroup()
{
    flushBytes();
    m_skipChars = 0;
    m_starNext = false;
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return true;
    }
    if (m_stack.size() <= 1) {
        m_out.unbalanced = true;
        return true;
    }
    const Dest leaving = m_stack.back().dest;
    m_stack.pop_back();
    if (leaving == Dest::FontTable && m_stack.back().dest != Dest::FontTable)
        m_currentFont = -1;
    return m_stack.size() > 1;
}

ControlWord Reader::scanControlWord()
{
    const char *start = m_p;
    while (m_p < m_end && isLetter(*m_p))
        ++m_p;
    ControlWord word;
    word.name = std::string_view(start, size_t(m_p - start));
    qint64 param = 0;
    bool negative = false;
    if (m_p + 1 < m_end && *m_p == '-' && m_p[1] >= '0' && m_p[1] <= '9') {
        negative = true;
        ++m_p;
    }
    while (m_p < m_end && *m_p >= '0' && *m_p <= '9') {
        word.hasParam = true;
        if (param < kMaxParam)
            param = param * 10 + (*m_p - '0');
        ++m_p;
    }
    param = qMin(param, kMaxParam);
    word.value = int(negative ? -param : param);
    if (m_p < m_end && *m_p == ' ')
        ++m_p;
    return word;
}

void Reader::controlWord()
{
    const ControlWord word = scanControlWord();
    flushBytes();
    const bool star = std::exchange(m_starNext, false);
    if (word.name.size() > size_t(kMaxWordLength))
        return;
    const auto found = keywords().find(word.name);
    if (found == keywords().end()) {
        // An unknown destination marked ignorable is skipped whole.
        if (star)
            state().dest = Dest::Skip;
        else if (m_skipChars > 0)
            --m_skipChars;
        return;
    }
    const KwInfo &info = found->second;
    if (info.kw == Kw::Bin) {
        // \binN: N bytes of binary data, never text.
        m_p += std::clamp<qsizetype>(word.value, 0, m_end - m_p);
        return;
    }
    State &s = state();
    if (star || info.kw == Kw::SkipDest) {
        s.dest = Dest::Skip;
        return;
    }
    if (s.dest == Dest::Skip)
        return;
    if (m_skipChars > 0 && info.kw != Kw::Unicode && info.kw != Kw::UnicodeSkip) {
        --m_skipChars;
        return;
    }
    // The tables give some words a meaning of their own (\f numbers a font
    // there); every other word means the same wherever it stands.
    if (s.dest == Dest::FontTable && fontTableWord(info.kw, word))
        return;
    if (s.dest == Dest::ColorTable && colorTableWord(info.kw, word))
        return;
    if (!documentWord(info.kw, word) && !textWord(info, word))
        formatWord(info.kw, word);
}

// Words that start a destination or set the document's code page and font.
bool Reader::documentWord(Kw kw, const ControlWord &word)
{
    State &s = state();
    switch (kw) {
    case Kw::Rtf:
        break;
    case Kw::FontTable:
        s.dest = Dest::FontTable;
        break;
    case Kw::ColorTable:
        s.dest = Dest::ColorTable;
        m_colorSet = false;
        m_red = m_green = m_blue = 0;
        break;
    case Kw::Ansi:
        m_docCodePage = 1252;
        break;
    case Kw::Mac:
        m_docCodePage = 10000;
        break;
    case Kw::Pc:
        m_docCodePage = 437;
        break;
    case Kw::Pca:
        m_docCodePage = 850;
        break;
    case Kw::AnsiCpg:
        m_docCodePage = (word.value == 1252 || codePageName(word.value)) ? word.value : 1252;
        break;
    case Kw::DefFont:
        m_defaultFont = word.value;
        s.chars.font = word.value;
        break;
    default:
        return false;
    }
    return true;
}

bool Reader::fontTableWord(Kw kw, const ControlWord &word)
{
    switch (kw) {
    case Kw::Font:
        m_currentFont = word.value;
        if (!m_fonts.contains(word.value) && m_fonts.size() < kMaxTableEntries)
            m_fonts.insert(word.value, Font());
        break;
    case Kw::FontCharset:
        if (m_fonts.contains(m_currentFont))
            m_fonts[m_currentFont].codePage = charsetCodePage(word.value);
        break;
    default:
        return false;
    }
    return true;
}

bool Reader::colorTableWord(Kw kw, const ControlWord &word)
{
    const int value = qBound(0, word.value, 255);
    switch (kw) {
    case Kw::Red:
        m_red = value;
        break;
    case Kw::Green:
        m_green = value;
        break;
    case Kw::Blue:
        m_blue = value;
        break;
    default:
        return false;
    }
    m_colorSet = true;
    return true;
}

// Words that stand for characters or paragraph ends.
bool Reader::textWord(const KwInfo &info, const ControlWord &word)
{
    switch (info.kw) {
    case Kw::Par:
    case Kw::Row:
        endParagraph();
        break;
    case Kw::Line:
        appendChar(kLineBreak);
        break;
    case Kw::Tab:
    case Kw::Cell:
        appendChar(u'\t');
        break;
    case Kw::Char:
        appendChar(info.ch);
        break;
    case Kw::Unicode: {
        const int u = word.value < 0 ? word.value + 65536 : word.value;
        appendChar(u >= 0 && u <= 0xFFFF ? char16_t(u) : char16_t(0xFFFD));
        m_skipChars = state().unicodeSkip;
        break;
    }
    case Kw::UnicodeSkip:
        state().unicodeSkip = qBound(0, word.value, 255);
        break;
    default:
        return false;
    }
    return true;
}

// Character and paragraph formatting, which lasts until the group ends.
bool Reader::formatWord(Kw kw, const ControlWord &word)
{
    State &s = state();
    const bool on = !word.hasParam || word.value != 0; // \b and \b1 turn bold on, \b0 off
    switch (kw) {
    case Kw::Plain:
        s.chars = CharProps();
        s.chars.font = m_defaultFont;
        break;
    case Kw::Bold:
        s.chars.bold = on;
        break;
    case Kw::Italic:
        s.chars.italic = on;
        break;
    case Kw::Underline:
        s.chars.underline = on;
        break;
    case Kw::UnderlineNone:
        s.chars.underline = false;
        break;
    case Kw::Strike:
        s.chars.strikeOut = on;
        break;
    case Kw::Font:
        s.chars.font = word.value;
        break;
    case Kw::FontSize:
        s.chars.halfPoints = word.hasParam && word.value > 0 ? qMin(word.value, 3276) : 24;
        break;
    case Kw::Foreground:
        s.chars.foreground = word.value;
        break;
    case Kw::Background:
        s.chars.background = word.value;
        break;
    case Kw::Pard:
    case Kw::AlignLeft:
        s.align = Qt::AlignLeft;
        break;
    case Kw::AlignCenter:
        s.align = Qt::AlignHCenter;
        break;
    case Kw::AlignRight:
        s.align = Qt::AlignRight;
        break;
    case Kw::AlignJustify:
        s.align = Qt::AlignJustify;
        break;
    default:
        return false;
    }
    return true;
}

void Reader::controlSymbol()
{
    const char c = *m_p++;
    if (c == '*') {
        m_starNext = true;
        return;
    }
    if (c == '\'') {
        int byte = 0;
        int digits = 0;
        while (digits < 2 && m_p < m_end && hexValue(*m_p) >= 0) {
            byte = byte * 16 + hexValue(*m_p);
            ++m_p;
            ++digits;
        }
        if (digits == 0 || state().dest == Dest::Skip)
            return;
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        byteChar(uchar(byte));
        return;
    }
    if (state().dest == Dest::Skip)
        return;
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    switch (c) {
    case '\\':
    case '{':
    case '}':
        flushBytes();
        appendChar(char16_t(c));
        break;
    case '~':
        flushBytes();
        appendChar(0x00A0);
        break;
    case '-':
        flushBytes();
        appendChar(0x00AD);
        break;
    case '_':
        flushBytes();
        appendChar(0x2011);
        break;
    case '\r':
    case '\n':
        flushBytes();
        endParagraph();
        break;
    default:
        break;
    }
}

// A stretch of characters that are neither markup nor line ends.
void Reader::literal()
{
    if (state().dest == Dest::Skip) {
        while (m_p < m_end && *m_p != '{' && *m_p != '}' && *m_p != '\\')
            ++m_p;
        return;
    }
    while (m_p < m_end && m_skipChars > 0) {
        const char c = *m_p;
        if (c == '{' || c == '}' || c == '\\')
            return;
        ++m_p;
        if (c != '\r' && c != '\n')
            --m_skipChars;
    }
    const Dest dest = state().dest;
    while (m_p < m_end) {
        // A double-byte character's second byte may be a plain ASCII letter
        // (\'83e is one katakana in code page 932), not text of its own.
        if (m_awaitsTrailByte && uchar(*m_p) >= 0x40 && uchar(*m_p) < 0x80 && *m_p != '{'
            && *m_p != '}' && *m_p != '\\') {
            byteChar(uchar(*m_p++));
            continue;
        }
        // The common case: a span of printable ASCII, appended at once.
        const char *start = m_p;
        while (m_p < m_end) {
            const uchar b = uchar(*m_p);
            if (b < 0x20 || b >= 0x80 || b == '{' || b == '}' || b == '\\')
                break;
            ++m_p;
        }
        if (m_p > start) {
            flushBytes();
            if (dest == Dest::Text) {
                dropHighSurrogate();
                beginRun();
                const qsizetype n = m_p - start;
                const qsizetype at = m_out.text.size();
                m_out.text.resize(at + n);
                char16_t *out = reinterpret_cast<char16_t *>(m_out.text.data()) + at;
                for (qsizetype i = 0; i < n; ++i)
                    out[i] = uchar(start[i]);
            } else if (dest == Dest::FontTable) {
                fontTableText(QString::fromLatin1(start, m_p - start));
            } else if (dest == Dest::ColorTable) {
                for (const char *q = start; q < m_p; ++q)
                    colorTableText(*q);
            }
        }
        if (m_p >= m_end)
            return;
        const uchar b = uchar(*m_p);
        if (b == '{' || b == '}' || b == '\\')
            return;
        ++m_p;
        if (b >= 0x80)
            byteChar(b);
        else if (b == '\t')
            appendChar(u'\t');
        // Other control characters, the file's own line ends among them, are not text.
    }
}

// A byte in the current code page, from \'hh or an 8-bit character.
void Reader::byteChar(uchar b)
{
    const int cp = codePage();
    if (cp == 1252) {
        flushBytes();
        appendChar(m_cp1252[b]);
        return;
    }
    if (!m_pendingBytes.isEmpty() && m_pendingCodePage != cp)
        flushBytes();
    m_pendingCodePage = cp;
    m_pendingBytes.append(char(b));
    // Followed byte by byte, never by rescanning the pending bytes: a
    // paragraph of double-byte text can be all pending at once.
    m_awaitsTrailByte = !m_awaitsTrailByte && isLeadByte(cp, b);
}

void Reader::flushBytes()
{
    if (m_pendingBytes.isEmpty())
        return;
    m_awaitsTrailByte = false;
    const QByteArray bytes = std::exchange(m_pendingBytes, QByteArray());
    QStringDecoder *d = decoder(m_pendingCodePage);
    const QString text = d ? d->decode(bytes) : fromWindows1252(bytes);
    appendText(reinterpret_cast<const char16_t *>(text.constData()), text.size());
}

int Reader::codePage()
{
    const State &s = m_stack.back();
    if (s.dest == Dest::Text) {
        const auto font = m_fonts.constFind(s.chars.font);
        if (font != m_fonts.constEnd() && font->codePage != 0)
            return font->codePage;
    }
    return m_docCodePage;
}

QStringDecoder *Reader::decoder(int cp)
{
    auto &slot = m_decoders[cp];
    if (!slot) {
        const char *name = codePageName(cp);
        if (!name)
            return nullptr;
        slot = std::make_unique<QStringDecoder>(name, QStringConverter::Flag::Stateless);
    }
    return slot->isValid() ? slot.get() : nullptr;
}

void Reader::appendChar(char16_t c)
{
    appendText(&c, 1);
}

void Reader::appendText(const char16_t *data, qsizetype n)
{
    const Dest dest = state().dest;
    if (dest == Dest::FontTable) {
        fontTableText(QStringView(data, n));
        return;
    }
    if (dest != Dest::Text)
        return;
    beginRun();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t c = data[i];
        // Pair surrogates from consecutive \uN; a lone one becomes U+FFFD.
        if (m_highSurrogate) {
            const char16_t high = std::exchange(m_highSurrogate, 0);
            if (QChar::isLowSurrogate(c)) {
                m_out.text.append(QChar(high));
                m_out.text.append(QChar(c));
                continue;
            }
            m_out.text.append(QChar(0xFFFD));
        }
        if (QChar::isHighSurrogate(c)) {
            m_highSurrogate = c;
            continue;
        }
        if (QChar::isLowSurrogate(c))
            c = 0xFFFD;
        else if (c == kParagraph) {
            endParagraph();
            continue;
        } else if (c == u'\t' || c == kLineBreak) {
            // kept
        } else if (c < 0x20
                   || (c >= 0x7F && c < 0xA0 && c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90
                       && c != 0x9D)) {
            // Control characters are no text; the five bytes Windows-1252
            // leaves undefined keep their code points as elsewhere in the program.
            continue;
        } else if (c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC) {
            // Frame and object markers of the document model.
            c = 0xFFFD;
        }
        m_out.text.append(QChar(c));
    }
}

// Starts a new run when the character properties changed since the last text.
void Reader::beginRun()
{
    if (m_highSurrogate)
        return;
    m_paraAlign = m_stack.back().align;
    const CharProps &props = m_stack.back().chars;
    if (!m_out.runs.isEmpty() && props == m_runProps)
        return;
    auto it = m_formatIndex.constFind(props);
    int index;
    if (it == m_formatIndex.constEnd()) {
        index = int(m_props.size());
        m_props.append(props);
        m_formatIndex.insert(props, index);
    } else {
        index = *it;
    }
    m_runProps = props;
    const int at = int(m_out.text.size());
    if (!m_out.runs.isEmpty() && m_out.runs.back().start == at)
        m_out.runs.back().format = index;
    else if (m_out.runs.isEmpty() || m_out.runs.back().format != index)
        m_out.runs.append(RtfRun{at, index});
}

// A high surrogate that no low one followed stands for nothing readable.
void Reader::dropHighSurrogate()
{
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        m_out.text.append(QChar(0xFFFD));
    }
}

void Reader::endParagraph()
{
    if (m_stack.back().dest != Dest::Text)
        return;
    dropHighSurrogate();
    beginRun();
    m_out.text.append(QChar(kParagraph));
    m_out.alignments.append(m_stack.back().align);
    m_paraAlign = m_stack.back().align;
}

void Reader::fontTableText(QStringView text)
{
    for (const QChar c : text) {
        if (c == u';') {
            m_currentFont = -1;
        } else if (m_fonts.contains(m_currentFont)) {
            m_fonts[m_currentFont].name.append(c);
        }
    }
}

void Reader::colorTableText(char c)
{
    if (c != ';')
        return;
    if (m_colors.size() < kMaxTableEntries)
        m_colors.append(m_colorSet ? QColor(m_red, m_green, m_blue) : QColor());
    m_colorSet = false;
    m_red = m_green = m_blue = 0;
}

void Reader::resolveFormats()
{
    if (m_out.runs.isEmpty()) {
        m_props.append(CharProps());
        m_out.runs.append(RtfRun{0, 0});
    }
    auto color = [this](int index) {
        return index > 0 && index < m_colors.size() ? m_colors.at(index) : QColor();
    };
    m_out.formats.reserve(m_props.size());
    for (const CharProps &p : std::as_const(m_props)) {
        RtfCharFormat f;
        f.bold = p.bold;
        f.italic = p.italic;
        f.underline = p.underline;
        f.strikeOut = p.strikeOut;
        f.family = m_fonts.value(p.font).name.trimmed();
        f.halfPoints = p.halfPoints;
        f.foreground = color(p.foreground);
        f.background = color(p.background);
        m_out.formats.append(f);
    }
}

QTextCharFormat toCharFormat(const RtfCharFormat &f)
{
    QTextCharFormat format;
    if (f.bold)
        format.setFontWeight(QFont::Bold);
    if (f.italic)
        format.setFontItalic(true);
    if (f.underline)
        format.setFontUnderline(true);
    if (f.strikeOut)
        format.setFontStrikeOut(true);
    if (!f.family.isEmpty())
        format.setFontFamilies(QStringList{f.family});
    format.setFontPointSize(f.halfPoints / 2.0);
    if (f.foreground.isValid())
        format.setForeground(f.foreground);
    if (f.background.isValid())
        format.setBackground(f.background);
    return format;
}

} // namespace

bool looksLikeRtf(const QByteArray &bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()
           && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    // "{\rtf1" as the format says, or "{\rtf\" as some writers (enscript)
    // put it; "{\rtf" followed by a space or a word is a line of text.
    const QByteArrayView rest = QByteArrayView(bytes).sliced(i);
    return rest.startsWith("{\\rtf1") || rest.startsWith("{\\rtf\\");
}

RtfContent readRtf(const QByteArray &bytes)
{
    return Reader(bytes).read();
}

void insertRtf(QTextCursor &cursor, const RtfContent &content)
{
    RtfInserter inserter(content);
    while (inserter.insertSome(cursor, content.text.size() + 1)) { }
}

RtfInserter::RtfInserter(const RtfContent &content)
    : m_content(content)
    , m_align(content.alignments.value(0, Qt::AlignLeft))
{
    m_formats.reserve(content.formats.size());
    for (const RtfCharFormat &f : content.formats)
        m_formats.append(toCharFormat(f));
}

RtfInserter::~RtfInserter() = default;

QTextBlockFormat RtfInserter::blockFormat(const QTextCursor &cursor, int paragraph) const
{
    QTextBlockFormat block = cursor.blockFormat();
    block.setAlignment(Qt::Alignment(m_content.alignments.value(paragraph, Qt::AlignLeft)));
    return block;
}

bool RtfInserter::insertSome(QTextCursor &cursor, qsizetype chars)
{
    if (!m_started) {
        cursor.setBlockFormat(blockFormat(cursor, 0));
        m_started = true;
    }
    const QString &text = m_content.text;
    const int total = int(text.size());
    const int limit = int(qMin<qsizetype>(total, m_pos + qMax<qsizetype>(chars, 1)));
    while (m_run < m_content.runs.size()) {
        const RtfRun &run = m_content.runs.at(m_run);
        const int end
            = m_run + 1 < m_content.runs.size() ? m_content.runs.at(m_run + 1).start : total;
        m_pos = qMax(m_pos, run.start);
        if (m_pos >= end) {
            ++m_run;
            continue;
        }
        if (m_pos >= limit)
            break;
        int stop = qMin(end, limit);
        // A step never splits a surrogate pair.
        if (stop < end && text.at(stop - 1).isHighSurrogate())
            ++stop;
        const QTextCharFormat &format = m_formats.at(run.format);
        // QTextCursor::insertText starts a block at each U+2029 with the
        // current block's format, so text goes in whole until the alignment changes.
        int from = m_pos;
        for (int i = m_pos; i < stop; ++i) {
            if (text.at(i) != QChar(kParagraph))
                continue;
            ++m_paragraph;
            const int align = m_content.alignments.value(m_paragraph, Qt::AlignLeft);
            if (align == m_align)
                continue;
            if (i > from)
                cursor.insertText(text.mid(from, i - from), format);
            cursor.insertBlock(blockFormat(cursor, m_paragraph), format);
            m_align = align;
            from = i + 1;
        }
        if (stop > from)
            cursor.insertText(text.mid(from, stop - from), format);
        m_pos = stop;
    }
    return m_run < m_content.runs.size();
}
