#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

// The editor's file dialog: Qt's own, modal over its owner, offering the
// file types it was made with. It remembers the last file chosen, so that
// the next dialog (the save dialog after an Open, say) starts with it.
class CommonDialog : public QObject
{
    Q_OBJECT
public:
    // nameFilters are Qt name filters; the dialogs start on the one at
    // filterIndex. Only their descriptions are shown (the patterns are
    // hidden), so a description may carry parentheses of its own.
    CommonDialog(QWidget *owner, const QStringList &nameFilters, int filterIndex);

    // The dialog's caption; Open or Save As when empty.
    QString Title;
    // Where the next dialog starts: a folder, or a file whose folder is meant.
    QString InitDir;
    // After a dialog, the full path chosen; before one, the name it starts with.
    QString FileName;

    // Show the dialog and wait for the user. Return true with FileName set
    // when the user picked a file (an existing one to open; any name in an
    // existing folder to save), false when the user cancelled.
    bool ShowOpen();
    bool ShowSave();

private:
    bool show(bool save);
    void configure(QFileDialog &dialog, bool save) const;

    QWidget *m_owner;
    QStringList m_nameFilters;
    int m_filterIndex;
};
