#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <memory>

class Document;
class QCompleter;
class QStringListModel;
class RichTextBox;

// Offers the definition files around the document as names for the include
// being written: a list under the caret that opens when a quote is typed
// after "#include " at the start of a line, or on Ctrl+Space inside an
// include's quotes. It keeps the names that contain what stands between the
// quote and the caret; Enter or Tab writes the chosen one there.
//
// The document's folder is read in a thread of its own, at most once a
// second: a list asked for sooner shows the names of the last reading.
class IncludeCompleter : public QObject
{
    Q_OBJECT
public:
    IncludeCompleter(RichTextBox *edit, Document *model, QObject *parent = nullptr);
    ~IncludeCompleter() override;

    // Opens the list when the caret is inside an include's quotes in a
    // document that has a folder.
    void offerNames();
    QCompleter *completer() const { return m_completer; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Reading;
    void readFolder(const QString &folder);
    void onFolderRead(const QString &folder, const QStringList &files);
    void fillNames();
    // Shows the names that fit what is typed, or closes the list for good
    // once the caret has left the include.
    void updateList();
    void closeList();
    void insertName(const QString &name);
    // Where the name of the include at the caret starts in its line, or -1.
    int nameStartAtCaret() const;

    RichTextBox *m_edit;
    Document *m_model;
    QCompleter *m_completer;
    QStringListModel *m_names;
    // The folder last read, its files, and when its reading started.
    QString m_folder;
    QStringList m_files;
    QElapsedTimer m_readAt;
    std::unique_ptr<Reading> m_reading;
    // The list is asked for: it follows the caret, and fills once the folder is read.
    bool m_wanted = false;
    bool m_updating = false;
    // How the names are written for the include the list is for.
    QChar m_separator = u'/';
    bool m_withExtension = true;
};
