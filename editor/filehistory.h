#pragma once

#include <QString>
#include <QStringList>

class Document;
class QPlainTextEdit;

// What the editor remembers of the files it worked on, across starts, in
// its settings: the list of File > Recent Files, and where the caret and the
// scroll were in each of the files last left.
namespace FileHistory {

constexpr int maxRecentFiles = 10;
constexpr int maxPlaces = 100;

// The files last opened or saved, the most recent first.
QStringList recentFiles();
// Puts path at the top of the list (once), dropping the oldest past ten.
void addRecentFile(const QString &path);
void removeRecentFile(const QString &path);
void clearRecentFiles();

// A place in a file: the caret's line and column (from 0) and the first
// line and the horizontal scroll shown.
struct Place
{
    int line = 0;
    int column = 0;
    int topLine = 0;
    int left = 0;
};
// Where the file at path was left; false when it is not among the last
// hundred files left.
bool place(const QString &path, Place *place);
void rememberPlace(const QString &path, const Place &place);

// The caret and the scroll of view.
Place placeIn(const QPlainTextEdit *view);
// Keeps where view shows document for its next opening; nothing is kept of
// a document without a file, or of one still loading (the view shows the
// document before it).
void rememberPlace(const Document *document, const QPlainTextEdit *view);
// Puts view's caret and scroll back where the file at path was left, when
// that line still exists; false, nothing moved, otherwise.
bool returnToPlace(const QString &path, QPlainTextEdit *view);

} // namespace FileHistory
