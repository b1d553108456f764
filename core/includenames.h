#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <atomic>

// The file names offered for an include line: the definition files around
// the document, written the way its other includes are.
namespace IncludeNames {

// More names than this make no list anyone reads; the walk stops there.
inline constexpr int maxFiles = 5000;

// The definition files (*.vyx in any letter case) in folder and its
// subfolders, as paths relative to it with '/', sorted regardless of case.
// Folders reached through a link are not walked, so a link back up the tree
// cannot loop. At most maxFiles. Reads the disk: run it off the GUI thread;
// setting cancel stops it early.
QStringList definitionFiles(const QString &folder, const std::atomic<bool> &cancel);

// The folder separator the includes use: '\' when any of their names has
// one, as the game's own files write them; '/' otherwise.
QChar separatorOf(const QStringList &includeNames);

// The names to offer to an include of the document at documentPath, from
// the definitionFiles() of its folder: the document itself left out, written
// with separator, and without ".vyx" when withExtension is false (the line
// has it already). None for a document that was never saved.
QStringList offered(const QStringList &files, const QString &documentPath, QChar separator,
                    bool withExtension);

// Where the name of an include being written starts, when column lies in
// it: the line is an include line ("#include", blanks, a quote) and
// no other quote comes between that quote and column. -1 otherwise.
int nameStart(QStringView line, int column);

} // namespace IncludeNames
