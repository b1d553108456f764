#pragma once

#include "filesearch.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The Find in Files window: what to look for and where, a modeless window
// over the editor. It asks; the editor window runs the search and shows the
// results in its results panel.
class FrmFindInFiles : public QDialog
{
    Q_OBJECT
public:
    explicit FrmFindInFiles(QWidget *parent);

    // The fields as search options; the caller adds the open document.
    FileSearchOptions options() const;
    // Folder and Files as the last search left them (kept across starts),
    // the folder falling back to defaultFolder when none was kept.
    void restoreSettings(const QString &defaultFolder);
    void saveSettings() const;

    // While a search runs, Find All gives way to Cancel and the count of
    // files searched shows; Escape then stops the search instead of closing.
    void setSearching(bool searching);
    void setProgress(int filesSearched);

    QLineEdit *txtFindWhat = nullptr;
    QLineEdit *txtFolder = nullptr;
    QPushButton *cmdBrowse = nullptr;
    QLineEdit *txtFiles = nullptr;
    QCheckBox *chkMatchCase = nullptr;
    QCheckBox *chkWholeWord = nullptr;
    QCheckBox *chkSubfolders = nullptr;
    QRadioButton *optFolder = nullptr;
    QRadioButton *optIncludes = nullptr;
    QPushButton *cmdFindAll = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdClose = nullptr;
    QLabel *lblProgress = nullptr;

Q_SIGNALS:
    void findAllRequested();
    void cancelRequested();

public Q_SLOTS:
    void reject() override;

private:
    void browse();
    void updateScope();
    bool m_searching = false;
    int m_filesSearched = 0;
};
