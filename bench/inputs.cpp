#include "inputs.h"

#include <QRandomGenerator>

namespace {

const char *const kWords[]
    = {"Hull", "Shield", "Laser",   "Speed",  "Armor",  "Cargo", "Thrust", "Range",
       "Mass", "Crew",   "Missile", "Energy", "Sensor", "Cloak", "Turret", "Drive"};

QByteArray line(QRandomGenerator &rng, int index)
{
    if (index % 25 == 0)
        return "#include \"ships_part" + QByteArray::number(index % 97) + ".vyx\"";
    if (index % 7 == 0)
        return "// " + QByteArray(kWords[rng.bounded(16)])
            + " values for the next item, tuned for balance";
    if (index % 40 == 1)
        return "//*****************************************************";
    QByteArray out;
    while (out.size() < 56) {
        out += kWords[rng.bounded(16)];
        out += ' ';
        out += QByteArray::number(rng.bounded(10000));
        out += ' ';
    }
    out.chop(1);
    return out;
}

} // namespace

QByteArray makeDefinitionText(qint64 bytes)
{
    QRandomGenerator rng(20261207);
    QByteArray out;
    out.reserve(bytes + 128);
    for (int i = 0; out.size() < bytes; ++i) {
        out += line(rng, i);
        out += "\r\n";
    }
    return out;
}

QByteArray makeValueListText(qint64 bytes)
{
    QRandomGenerator rng(20261207);
    QByteArray out;
    out.reserve(bytes + 128);
    while (out.size() < bytes) {
        out += char('0' + rng.bounded(10));
        for (int i = 0; i < 29; ++i) {
            out += ',';
            out += char('0' + rng.bounded(10));
        }
        out += "\r\n";
    }
    return out;
}

QByteArray makeRtf(qint64 bytes)
{
    QRandomGenerator rng(20261207);
    QByteArray out;
    out.reserve(bytes + bytes / 2);
    out += "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Verdana;}{\\f1\\fmodern "
           "Courier New;}}\r\n"
           "{\\colortbl;\\red200\\green0\\blue0;\\red0\\green120\\blue0;}\r\n\\pard\\f0\\fs20 ";
    qint64 text = 0;
    for (int i = 0; text < bytes; ++i) {
        const QByteArray l = line(rng, i);
        text += l.size() + 2;
        if (l.startsWith("//"))
            out += "{\\cf2\\i " + l + "}";
        else if (l.startsWith('#'))
            out += "{\\b\\cf1 " + l + "}";
        else if (i % 11 == 0)
            out += "{\\fs28 " + l + "}";
        else
            out += l;
        out += "\\par\r\n";
    }
    out += "}";
    return out;
}
