#include "searchwindows.h"

#include "controls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

namespace {

// A line number as typed: digits, grouped as the system's locale or the C
// locale groups them ("1,000"); 0 when it is no number.
int parseLineNumber(const QString &text)
{
    bool ok = false;
    int line = QLocale::system().toInt(text, &ok);
    if (!ok)
        line = QLocale::c().toInt(text, &ok);
    return ok ? line : 0;
}

// Takes what parseLineNumber reads in the document's range; keeps what may
// become one as more is typed (digits, spaces, group separators) and refuses
// any other character.
class LineNumberValidator : public QValidator
{
public:
    using QValidator::QValidator;
    void setLines(int lines) { m_lines = lines; }

    State validate(QString &input, int &) const override
    {
        const int line = parseLineNumber(input);
        if (line >= 1 && line <= m_lines)
            return Acceptable;
        const QString separators
            = QLocale::system().groupSeparator() + QLocale::c().groupSeparator();
        for (const QChar c : input) {
            if (!c.isDigit() && !c.isSpace() && !separators.contains(c))
                return Invalid;
        }
        return Intermediate;
    }

private:
    int m_lines = 0;
};

} // namespace

FrmSearchWindow::FrmSearchWindow(Kind kind, QWidget *parent)
    : QDialog(parent)
    , m_kind(kind)
{
    const bool replace = kind == Replace;
    setObjectName(replace ? QStringLiteral("frmReplace") : QStringLiteral("frmFind"));
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Find"));

    auto *grid = new QGridLayout;
    txtFind = addField(grid, 0, QStringLiteral("Find what:"), "txtFind");
    if (replace)
        txtReplace = addField(grid, 1, QStringLiteral("Replace with:"), "txtReplace");
    chkMatchCase = named(new QCheckBox(QStringLiteral("Match case")), "chkMatchCase");
    chkWholeWord = named(new QCheckBox(QStringLiteral("Whole word")), "chkWholeWord");
    chkWrapAround = named(new QCheckBox(QStringLiteral("Wrap around")), "chkWrapAround");
    chkWrapAround->setChecked(true);
    int row = grid->rowCount();
    for (QCheckBox *box : {chkMatchCase, chkWholeWord, chkWrapAround})
        grid->addWidget(box, row++, 0, 1, 2);
    lblStatus = named(new QLabel, "lblStatus");
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
    // A label without an accessible name of its own is read as its text, and
    // QLabel::setText tells screen readers of the change itself.
    lblStatus->setText(status);
}

FrmGoToLineWindow::FrmGoToLineWindow(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmGoToLine"));
    setWindowTitle(QStringLiteral("Go to Line"));

    auto *grid = new QGridLayout;
    txtLine = addField(grid, 0, QStringLiteral("Line number:"), "txtLine");
    m_range = new LineNumberValidator(txtLine);
    txtLine->setValidator(m_range);
    lblRange = named(new QLabel, "lblRange");
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
    static_cast<LineNumberValidator *>(m_range)->setLines(lines);
    lblRange->setText(QStringLiteral("From 1 to %1").arg(lines));
    txtLine->clear();
    cmdOK->setEnabled(false);
}

int FrmGoToLineWindow::line() const
{
    return parseLineNumber(txtLine->text());
}
