#include "frmfindinfiles.h"

#include "controls.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const QString folderKey = QStringLiteral("FindInFiles/Folder");
const QString filesKey = QStringLiteral("FindInFiles/Files");
const QString defaultFiles = QStringLiteral("*.vyx");

} // namespace

FrmFindInFiles::FrmFindInFiles(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFindInFiles"));
    setWindowTitle(QStringLiteral("Find in Files"));
    setAccessibleName(windowTitle());

    auto *grid = new QGridLayout;
    txtFindWhat = addField(grid, 0, QStringLiteral("Find &what:"), "txtFindWhat");
    txtFolder = addField(grid, 1, QStringLiteral("F&older:"), "txtFolder");
    cmdBrowse = named(new QPushButton(QStringLiteral("&Browse...")), "cmdBrowse");
    cmdBrowse->setAutoDefault(false);
    grid->addWidget(cmdBrowse, 1, 2);
    txtFiles = addField(grid, 2, QStringLiteral("F&iles:"), "txtFiles");
    txtFiles->setToolTip(QStringLiteral("Several patterns separated by ';', e.g. *.vyx;*.txt"));

    optFolder = named(new QRadioButton(QStringLiteral("Files in the fol&der")), "optFolder");
    optIncludes
        = named(new QRadioButton(QStringLiteral("Files this document i&ncludes")), "optIncludes");
    optFolder->setChecked(true);
    chkMatchCase = named(new QCheckBox(QStringLiteral("Match &case")), "chkMatchCase");
    chkWholeWord = named(new QCheckBox(QStringLiteral("Whole wo&rd")), "chkWholeWord");
    chkSubfolders = named(new QCheckBox(QStringLiteral("Include &subfolders")), "chkSubfolders");
    chkSubfolders->setChecked(true);
    auto *options = new QGridLayout;
    options->addWidget(optFolder, 0, 0);
    options->addWidget(optIncludes, 1, 0);
    options->addWidget(chkMatchCase, 0, 1);
    options->addWidget(chkWholeWord, 1, 1);
    options->addWidget(chkSubfolders, 2, 0);

    lblProgress = named(new QLabel, "lblProgress");
    lblProgress->setMinimumWidth(
        lblProgress->fontMetrics().horizontalAdvance(QStringLiteral("Searched 000000 files...")));

    auto *left = new QVBoxLayout;
    left->addLayout(grid);
    left->addLayout(options);
    left->addWidget(lblProgress);
    left->addStretch();

    auto *buttons = new QVBoxLayout;
    cmdFindAll = addButton(buttons, QStringLiteral("&Find All"), "cmdFindAll");
    cmdFindAll->setDefault(true);
    cmdCancel = addButton(buttons, QStringLiteral("Cancel"), "cmdCancel");
    cmdCancel->setEnabled(false);
    cmdClose = addButton(buttons, QStringLiteral("Close"), "cmdClose");
    buttons->addStretch();

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    connect(cmdFindAll, &QPushButton::clicked, this, &FrmFindInFiles::findAllRequested);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmFindInFiles::cancelRequested);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(cmdBrowse, &QPushButton::clicked, this, &FrmFindInFiles::browse);
    connect(optIncludes, &QRadioButton::toggled, this, &FrmFindInFiles::updateScope);
    txtFiles->setText(defaultFiles);
}

FileSearchOptions FrmFindInFiles::options() const
{
    FileSearchOptions options;
    options.text = txtFindWhat->text();
    options.matchCase = chkMatchCase->isChecked();
    options.wholeWord = chkWholeWord->isChecked();
    options.scope = optIncludes->isChecked() ? FileSearchOptions::Scope::Includes
                                             : FileSearchOptions::Scope::Folder;
    options.folder = QDir::fromNativeSeparators(txtFolder->text());
    options.patterns = txtFiles->text();
    options.subfolders = chkSubfolders->isChecked();
    return options;
}

void FrmFindInFiles::restoreSettings(const QString &defaultFolder)
{
    const QSettings settings;
    // No path or list of patterns the editor writes is near this long; a
    // longer value is a damaged file, and megabytes of patterns would hold
    // up every search.
    const auto text = [&settings](const QString &key, const QString &otherwise) {
        const QString value = settings.value(key, otherwise).toString();
        return value.size() > 4096 ? otherwise : value;
    };
    txtFolder->setText(QDir::toNativeSeparators(text(folderKey, defaultFolder)));
    txtFiles->setText(text(filesKey, defaultFiles));
}

void FrmFindInFiles::saveSettings() const
{
    QSettings settings;
    settings.setValue(folderKey, QDir::fromNativeSeparators(txtFolder->text()));
    settings.setValue(filesKey, txtFiles->text());
}

void FrmFindInFiles::setSearching(bool searching)
{
    m_searching = searching;
    cmdFindAll->setEnabled(!searching);
    cmdCancel->setEnabled(searching);
    // Once ended, the count loses its "...": nothing is being searched.
    setProgress(searching ? 0 : m_filesSearched);
}

void FrmFindInFiles::setProgress(int filesSearched)
{
    m_filesSearched = filesSearched;
    lblProgress->setText(
        QStringLiteral("Searched %1 %2%3")
            .arg(filesSearched)
            .arg(filesSearched == 1 ? QLatin1String("file") : QLatin1String("files"))
            .arg(m_searching ? QLatin1String("...") : QLatin1String(".")));
    lblProgress->setAccessibleName(lblProgress->text());
}

void FrmFindInFiles::reject()
{
    if (m_searching)
        Q_EMIT cancelRequested();
    else
        QDialog::reject();
}

void FrmFindInFiles::browse()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, windowTitle(), QDir::fromNativeSeparators(txtFolder->text()));
    if (!folder.isEmpty())
        txtFolder->setText(QDir::toNativeSeparators(folder));
}

// The include scope reaches included files wherever they are: Folder and
// Files have no say in it.
void FrmFindInFiles::updateScope()
{
    const bool folder = !optIncludes->isChecked();
    for (QWidget *field :
         std::initializer_list<QWidget *>{txtFolder, cmdBrowse, txtFiles, chkSubfolders})
        field->setEnabled(folder);
}
