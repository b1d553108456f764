#pragma once

#include "textsearch.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QValidator;

// The Find and Replace windows: small modeless windows over the editor. The
// Replace window adds the replacement field and its two buttons.
class FrmSearchWindow : public QDialog
{
    Q_OBJECT
public:
    enum Kind { Find, Replace };
    FrmSearchWindow(Kind kind, QWidget *parent);

    Kind kind() const { return m_kind; }
    SearchQuery query() const;
    void setQuery(const SearchQuery &query);
    // A line under the fields that tells the outcome of the last command.
    void setStatus(const QString &status);

    QLineEdit *txtFind = nullptr;
    QLineEdit *txtReplace = nullptr; // Replace window only
    QCheckBox *chkMatchCase = nullptr;
    QCheckBox *chkWholeWord = nullptr;
    QCheckBox *chkWrapAround = nullptr;
    QPushButton *cmdFindNext = nullptr;
    QPushButton *cmdFindPrevious = nullptr; // Find window only
    QPushButton *cmdReplace = nullptr; // Replace window only
    QPushButton *cmdReplaceAll = nullptr; // Replace window only
    QPushButton *cmdClose = nullptr;
    QLabel *lblStatus = nullptr;

private:
    Kind m_kind;
};

// The Go to Line window: takes a line number between 1 and the document's
// line count, with or without digit group separators ("1,000"); OK is
// offered only for a number in that range.
class FrmGoToLineWindow : public QDialog
{
    Q_OBJECT
public:
    explicit FrmGoToLineWindow(QWidget *parent);

    void setLineCount(int lines);
    int line() const;

    QLineEdit *txtLine = nullptr;
    QLabel *lblRange = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

private:
    QValidator *m_range = nullptr;
};
