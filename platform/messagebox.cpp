#include "messagebox.h"

#include "version.h"

#include <QMessageBox>

QString applicationTitle()
{
    return QStringLiteral(VYX_PRODUCT_NAME);
}

namespace {

int ask(QWidget *parent, const QString &prompt, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), prompt, buttons, parent);
    box.setObjectName(QStringLiteral("msgQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    if (buttons & QMessageBox::Cancel)
        box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return vbYes;
    case QMessageBox::No:
        return vbNo;
    default:
        return (buttons & QMessageBox::Cancel) ? vbCancel : vbNo;
    }
}

} // namespace

int askYesNo(QWidget *parent, const QString &prompt)
{
    return ask(parent, prompt, QMessageBox::Yes | QMessageBox::No);
}

int askYesNoCancel(QWidget *parent, const QString &prompt)
{
    return ask(parent, prompt, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

void showWarning(QWidget *parent, const QString &message)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle(), message, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("msgWarning"));
    box.exec();
}
