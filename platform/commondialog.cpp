#include "commondialog.h"

#include "messagebox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

CommonDialog::CommonDialog(QWidget *owner, const QStringList &nameFilters, int filterIndex)
    : QObject(owner)
    , m_owner(owner)
    , m_nameFilters(nameFilters)
    , m_filterIndex(filterIndex)
{
}

void CommonDialog::configure(QFileDialog &dialog, bool save) const
{
    dialog.setObjectName(QStringLiteral("cdl1Dialog"));
    dialog.setWindowTitle(!Title.isEmpty() ? Title : save ? tr("Save As") : tr("Open"));
    dialog.setAccessibleName(dialog.windowTitle());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    if (!m_nameFilters.isEmpty()) {
        dialog.setNameFilters(m_nameFilters);
        dialog.selectNameFilter(m_nameFilters.value(m_filterIndex, m_nameFilters.first()));
    }

    // The start place may be a file's full path: then its folder is meant.
    if (!InitDir.isEmpty()) {
        const QFileInfo init(InitDir);
        if (init.isDir())
            dialog.setDirectory(init.absoluteFilePath());
        else if (init.absoluteDir().exists())
            dialog.setDirectory(init.absolutePath());
    }
    // The name the dialog starts with; with a folder of its own it also
    // chooses the folder, as the last file picked is usually where the user
    // goes on working.
    if (!FileName.isEmpty()) {
        const QFileInfo name(FileName);
        if (name.isAbsolute() && name.absoluteDir().exists())
            dialog.selectFile(name.absoluteFilePath());
        else
            dialog.selectFile(name.fileName());
    }
}

bool CommonDialog::show(bool save)
{
    QFileDialog dialog(m_owner);
    configure(dialog, save);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return false;
        const QStringList files = dialog.selectedFiles();
        if (files.isEmpty())
            return false;
        const QFileInfo chosen(files.first());
        // A name typed with a folder that does not exist is asked again
        // rather than failing later; Qt's dialog lets it through.
        if (!chosen.absoluteDir().exists()) {
            showWarning(m_owner,
                        tr("The folder \"%1\" does not exist.")
                            .arg(QDir::toNativeSeparators(chosen.absolutePath())));
            dialog.selectFile(chosen.fileName());
            continue;
        }
        FileName = chosen.absoluteFilePath();
        return true;
    }
}

bool CommonDialog::ShowOpen()
{
    return show(false);
}

bool CommonDialog::ShowSave()
{
    return show(true);
}
