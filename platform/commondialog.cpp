#include "commondialog.h"

#include "messagebox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

CommonDialog::CommonDialog(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
}

QStringList CommonDialog::nameFilters(const QString &filter)
{
    // Qt takes a name filter's patterns from its last parentheses, so a
    // description that carries parentheses of its own ("VYX files (.vyx)")
    // would lend them as the pattern. Appending the real patterns in a last
    // pair of parentheses keeps the description whole; the dialog hides that
    // last pair (HideNameFilterDetails), so the user sees the description.
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1).trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns.isEmpty())
            patterns = QStringLiteral("*");
        out << QStringLiteral("%1 (%2)").arg(parts.at(i).trimmed(), patterns);
    }
    return out;
}

void CommonDialog::configure(QFileDialog &dialog, bool save) const
{
    dialog.setObjectName(QStringLiteral("cdl1Dialog"));
    dialog.setWindowTitle(save ? tr("Save As") : tr("Open"));
    dialog.setAccessibleName(dialog.windowTitle());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // "File must exist" belongs to opening: on the save dialog, which runs
    // with whatever flags the last Open left, it would forbid new names.
    dialog.setFileMode(!save && (Flags & cdlOFNFileMustExist) ? QFileDialog::ExistingFile
                                                              : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);

    const QStringList filters = nameFilters(Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = qBound(1, int(FilterIndex), int(filters.size()));
        dialog.selectNameFilter(filters.at(index - 1));
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
        // Qt's own dialog already refuses missing files in ExistingFile mode;
        // a missing folder is refused here, for both modes and any dialog.
        if ((Flags & cdlOFNPathMustExist) && !chosen.absoluteDir().exists()) {
            showWarning(m_owner,
                        tr("The folder \"%1\" does not exist.")
                            .arg(QDir::toNativeSeparators(chosen.absolutePath())));
            dialog.selectFile(chosen.fileName());
            continue;
        }
        FileName = chosen.absoluteFilePath();
        FileTitle = chosen.fileName();
        const int selected = nameFilters(Filter).indexOf(dialog.selectedNameFilter());
        if (selected >= 0)
            FilterIndex = qint16(selected + 1);
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
