#include "controls.h"

#include "metrics.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

CommandButton::CommandButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{
    setAutoDefault(false);
    setDefault(false);
    setFont(standardFont());
}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

QPlainTextEdit *newReadOnlyTextBox(QWidget *parent, const char *name, const QRect &geometry,
                                   const QString &text)
{
    auto *box = new QPlainTextEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    box->setFont(standardFont());
    box->setReadOnly(true);
    // Read-only alone allows selecting with the mouse only; the keyboard
    // should select (and so copy) too.
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setTabChangesFocus(true);
    box->setUndoRedoEnabled(false);
    box->setPlainText(text);
    return box;
}

QLineEdit *addField(QGridLayout *grid, int row, const QString &caption, const char *name)
{
    auto *field = named(new QLineEdit, name);
    auto *label = new QLabel(caption);
    label->setObjectName(QLatin1String("lbl") + QLatin1String(name).mid(3));
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    return field;
}

QPushButton *addButton(QVBoxLayout *column, const QString &caption, const char *name)
{
    auto *button = named(new QPushButton(caption), name);
    button->setAutoDefault(false);
    column->addWidget(button);
    return button;
}
