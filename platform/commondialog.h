#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The file dialog component: properties that keep their values from one use
// to the next, and the open and save operations over Qt's file dialog.
class CommonDialog : public QObject
{
    Q_OBJECT
public:
    explicit CommonDialog(QWidget *owner);

    qint32 Flags = 0;
    // "description|pattern|description|pattern"
    QString Filter;
    qint16 FilterIndex = 0;
    bool CancelError = false;
    QString InitDir;
    QString FileName;
    QString FileTitle;

    // Shows the dialog and waits for the user. Returns false when the user
    // cancels (a failure when CancelError is set, which callers treat alike).
    bool ShowOpen();
    bool ShowSave();

private:
    QWidget *m_owner;
};
