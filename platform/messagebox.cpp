#include "messagebox.h"

#include "version.h"

#include <QDir>
#include <QPushButton>

QString applicationTitle()
{
    return QStringLiteral(VYX_PRODUCT_NAME);
}

namespace {

QMessageBox::StandardButton ask(QWidget *parent, const QString &prompt,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton = QMessageBox::Yes)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), prompt, buttons, parent);
    box.setObjectName(QStringLiteral("msgQuestion"));
    box.setDefaultButton(defaultButton);
    if (buttons & QMessageBox::Cancel)
        box.setEscapeButton(QMessageBox::Cancel);
    const auto answer = QMessageBox::StandardButton(box.exec());
    if (answer == QMessageBox::Yes || answer == QMessageBox::No)
        return answer;
    return (buttons & QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
}

} // namespace

QMessageBox::StandardButton askYesNo(QWidget *parent, const QString &prompt,
                                     QMessageBox::StandardButton defaultButton)
{
    return ask(parent, prompt, QMessageBox::Yes | QMessageBox::No, defaultButton);
}

QMessageBox::StandardButton askYesNoCancel(QWidget *parent, const QString &prompt)
{
    return ask(parent, prompt, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

bool askAcceptCancel(QWidget *parent, const QString &prompt, const QString &accept)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), prompt, QMessageBox::Cancel, parent);
    box.setObjectName(QStringLiteral("msgQuestion"));
    QPushButton *button = box.addButton(accept, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == button;
}

void showWarning(QWidget *parent, const QString &message)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle(), message, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("msgWarning"));
    box.exec();
}

QString quotedPath(const QString &path)
{
    return QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path));
}
