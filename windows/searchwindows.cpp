#include "searchwindows.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template<typename W>
W *named(W *widget, const char *name, const QString &accessibleName)
{
    widget->setObjectName(QLatin1String(name));
    widget->setAccessibleName(accessibleName);
    return widget;
}

QLineEdit *addField(QGridLayout *grid, int row, const QString &caption, const char *name,
                    const QString &accessibleName)
{
    auto *field = named(new QLineEdit, name, accessibleName);
    auto *label = new QLabel(caption);
    // The label's name follows the field's: txtFind, lblFind.
    label->setObjectName(QLatin1String("lbl") + QLatin1String(name).mid(3));
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    return field;
}

QPushButton *addButton(QVBoxLayout *column, const QString &caption, const char *name)
{
    auto *button = named(new QPushButton(caption), name, caption);
    // Only the window's default button answers Enter.
    button->setAutoDefault(false);
    column->addWidget(button);
    return button;
}

} // namespace

FrmSearchWindow::FrmSearchWindow(Kind kind, QWidget *parent)
    : QDialog(parent)
    , m_kind(kind)
{
    const bool replace = kind == Replace;
    setObjectName(replace ? QStringLiteral("frmReplace") : QStringLiteral("frmFind"));
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Find"));
    setAccessibleName(windowTitle());

    auto *grid = new QGridLayout;
    txtFind
        = addField(grid, 0, QStringLiteral("Find what:"), "txtFind", QStringLiteral("Find what"));
    if (replace)
        txtReplace = addField(grid, 1, QStringLiteral("Replace with:"), "txtReplace",
                              QStringLiteral("Replace with"));
    chkMatchCase = named(new QCheckBox(QStringLiteral("Match case")), "chkMatchCase",
                         QStringLiteral("Match case"));
    chkWholeWord = named(new QCheckBox(QStringLiteral("Whole word")), "chkWholeWord",
                         QStringLiteral("Whole word"));
    chkWrapAround = named(new QCheckBox(QStringLiteral("Wrap around")), "chkWrapAround",
                          QStringLiteral("Wrap around"));
    chkWrapAround->setChecked(true);
    int row = grid->rowCount();
    for (QCheckBox *box : {chkMatchCase, chkWholeWord, chkWrapAround})
        grid->addWidget(box, row++, 0, 1, 2);
    lblStatus = named(new QLabel, "lblStatus", QStringLiteral("Search result"));
    grid->addWidget(lblStatus, row, 0, 1, 2);

    auto *buttons = new QVBoxLayout;
    cmdFindNext = addButton(buttons, QStringLiteral("Find Next"), "cmdFindNext");
    cmdFindNext->setDefault(true);
    if (replace) {
        cmdReplace = addButton(buttons, QStringLiteral("Replace"), "cmdReplace");
        cmdReplaceAll = addButton(buttons, QStringLiteral("Replace All"), "cmdReplaceAll");
    } else {
        cmdFindPrevious = addButton(buttons, QStringLiteral("Find Previous"), "cmdFindPrevious");
    }
    cmdClose = addButton(buttons, QStringLiteral("Close"), "cmdClose");
    buttons->addStretch();
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

SearchQuery FrmSearchWindow::query() const
{
    return {txtFind->text(), chkMatchCase->isChecked(), chkWholeWord->isChecked(),
            chkWrapAround->isChecked()};
}

void FrmSearchWindow::setQuery(const SearchQuery &query)
{
    txtFind->setText(query.text);
    chkMatchCase->setChecked(query.matchCase);
    chkWholeWord->setChecked(query.wholeWord);
    chkWrapAround->setChecked(query.wrapAround);
}

void FrmSearchWindow::setStatus(const QString &status)
{
    lblStatus->setText(status);
}

FrmGoToLineWindow::FrmGoToLineWindow(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmGoToLine"));
    setWindowTitle(QStringLiteral("Go to Line"));
    setAccessibleName(windowTitle());

    auto *grid = new QGridLayout;
    txtLine = addField(grid, 0, QStringLiteral("Line number:"), "txtLine",
                       QStringLiteral("Line number"));
    m_range = new QIntValidator(txtLine);
    txtLine->setValidator(m_range);
    lblRange = named(new QLabel, "lblRange", QStringLiteral("Line range"));
    grid->addWidget(lblRange, 1, 1);

    auto *buttons = new QVBoxLayout;
    cmdOK = addButton(buttons, QStringLiteral("OK"), "cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = addButton(buttons, QStringLiteral("Cancel"), "cmdCancel");
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(txtLine, &QLineEdit::textChanged, this,
            [this] { cmdOK->setEnabled(txtLine->hasAcceptableInput()); });

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void FrmGoToLineWindow::setLineCount(int lines)
{
    m_range->setRange(1, lines);
    lblRange->setText(QStringLiteral("From 1 to %1").arg(lines));
    txtLine->clear();
    cmdOK->setEnabled(false);
}

int FrmGoToLineWindow::line() const
{
    return txtLine->text().toInt();
}
