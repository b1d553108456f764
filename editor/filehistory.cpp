#include "filehistory.h"
#include "document.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTextBlock>

namespace {

const QLatin1String recentKey("RecentFiles");
const QLatin1String placesKey("Places");

struct Entry
{
    QString path;
    FileHistory::Place place;
};

QList<Entry> readPlaces(QSettings &settings)
{
    QList<Entry> entries;
    // The size is read as the file says, but no more places are read than
    // the editor ever writes: a size of millions (a hand-edited or damaged
    // file) would otherwise keep the start busy for minutes.
    const int n = qMin(settings.beginReadArray(placesKey), FileHistory::maxPlaces);
    for (int i = 0; i < n; ++i) {
        settings.setArrayIndex(i);
        Entry e;
        e.path = settings.value(QStringLiteral("path")).toString();
        e.place.line = qMax(0, settings.value(QStringLiteral("line")).toInt());
        e.place.column = qMax(0, settings.value(QStringLiteral("column")).toInt());
        e.place.topLine = qMax(0, settings.value(QStringLiteral("top")).toInt());
        e.place.left = qMax(0, settings.value(QStringLiteral("left")).toInt());
        if (!e.path.isEmpty())
            entries.append(e);
    }
    settings.endArray();
    return entries;
}

} // namespace

QStringList FileHistory::recentFiles()
{
    QStringList files = QSettings().value(recentKey).toStringList();
    files.removeAll(QString());
    return files.mid(0, maxRecentFiles);
}

void FileHistory::addRecentFile(const QString &path)
{
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    QSettings().setValue(recentKey, files.mid(0, maxRecentFiles));
}

void FileHistory::removeRecentFile(const QString &path)
{
    QStringList files = recentFiles();
    files.removeAll(path);
    QSettings().setValue(recentKey, files);
}

void FileHistory::clearRecentFiles()
{
    QSettings().remove(recentKey);
}

bool FileHistory::place(const QString &path, Place *place)
{
    QSettings settings;
    for (const Entry &e : readPlaces(settings)) {
        if (e.path == path) {
            *place = e.place;
            return true;
        }
    }
    return false;
}

void FileHistory::rememberPlace(const QString &path, const Place &place)
{
    QSettings settings;
    QList<Entry> entries = readPlaces(settings);
    entries.removeIf([&path](const Entry &e) { return e.path == path; });
    entries.prepend({path, place});
    entries = entries.mid(0, maxPlaces);
    settings.remove(placesKey);
    settings.beginWriteArray(placesKey, int(entries.size()));
    for (int i = 0; i < entries.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("path"), entries[i].path);
        settings.setValue(QStringLiteral("line"), entries[i].place.line);
        settings.setValue(QStringLiteral("column"), entries[i].place.column);
        settings.setValue(QStringLiteral("top"), entries[i].place.topLine);
        settings.setValue(QStringLiteral("left"), entries[i].place.left);
    }
    settings.endArray();
}

FileHistory::Place FileHistory::placeIn(const QPlainTextEdit *view)
{
    const QTextCursor caret = view->textCursor();
    Place place;
    place.line = caret.blockNumber();
    place.column = caret.positionInBlock();
    place.topLine = view->verticalScrollBar()->value();
    place.left = view->horizontalScrollBar()->value();
    return place;
}

void FileHistory::rememberPlace(const Document *document, const QPlainTextEdit *view)
{
    const QString path = document->filePath();
    if (path.isEmpty() || document->isLoading())
        return;
    rememberPlace(path, placeIn(view));
}

bool FileHistory::returnToPlace(const QString &path, QPlainTextEdit *view)
{
    QTextDocument *doc = view->document();
    Place place;
    // The place is used only where its line still is.
    if (!FileHistory::place(path, &place) || place.line >= doc->blockCount())
        return false;
    const QTextBlock block = doc->findBlockByNumber(place.line);
    QTextCursor caret(block);
    caret.setPosition(block.position() + qMin(place.column, block.length() - 1));
    view->setTextCursor(caret);
    view->verticalScrollBar()->setValue(place.topLine);
    view->horizontalScrollBar()->setValue(place.left);
    return true;
}
