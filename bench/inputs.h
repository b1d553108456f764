#pragma once

#include <QByteArray>

// Deterministic definition-file text of about `bytes` bytes: CR LF lines of
// about 60 characters, with some "//" comments and #include lines.
QByteArray makeDefinitionText(qint64 bytes);

// Definition-file text of about `bytes` bytes whose lines are lists of
// one-digit values separated by commas: about one comma in two characters.
QByteArray makeValueListText(qint64 bytes);

// The same kind of text as rich text with bold, italic, colours and sizes.
QByteArray makeRtf(qint64 bytes);
