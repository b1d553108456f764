#include "commondialog.h"

#include <QWidget>

CommonDialog::CommonDialog(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
}

bool CommonDialog::ShowOpen()
{
    return false;
}

bool CommonDialog::ShowSave()
{
    return false;
}
