#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

// The file dialog component: properties that keep their values from one use
// to the next, and the open and save operations over Qt's file dialog.
class CommonDialog : public QObject
{
    Q_OBJECT
public:
    // Bits of Flags that the dialog honours; the others are accepted and ignored.
    enum : qint32 {
        cdlOFNPathMustExist = 0x800,
        cdlOFNFileMustExist = 0x1000,
        cdlOFNExplorer = 0x80000,
    };

    explicit CommonDialog(QWidget *owner);

    qint32 Flags = 0;
    // "description|pattern|description|pattern"; a pattern may list several
    // globs separated by ';'.
    QString Filter;
    // 1-based entry of Filter the dialog starts on; after a dialog, the entry
    // the user left it on.
    qint16 FilterIndex = 0;
    bool CancelError = false;
    // Where the dialog starts: a folder, or a file whose folder is meant.
    QString InitDir;
    // After a dialog, the full path chosen; before one, the name it starts with.
    QString FileName;
    // After a dialog, the chosen file's name without its folder.
    QString FileTitle;

    // Show the dialog modally over the owner and wait for the user. Return
    // true with FileName and FileTitle set when the user picked a file, false
    // when the user cancelled (a failure when CancelError is set, which
    // callers treat alike) and then leave FileName and FileTitle as they were.
    bool ShowOpen();
    bool ShowSave();

    // The Qt name filters for a "description|pattern|..." filter string.
    static QStringList nameFilters(const QString &filter);

private:
    bool show(bool save);
    void configure(QFileDialog &dialog, bool save) const;

    QWidget *m_owner;
};
