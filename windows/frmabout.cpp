#include "frmabout.h"

#include "controls.h"
#include "metrics.h"
#include "version.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextOption>

QString aboutText()
{
    return QStringLiteral("This program was made so that you can easily configure and create VYX's "
                          "(definition files). "
                          "It works like a well-known plain-text editor, but has add-ons for "
                          "people who modify definition files. "
                          "A program doing the work for you makes creating ships easy, but you "
                          "must know the game's code...\r\n");
}

QString codersText()
{
    return QStringLiteral("Lead Coder\r\n"
                          "Helper Crew\r\n");
}

FrmAboutWindow::FrmAboutWindow(QWidget *parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About " VYX_PRODUCT_NAME "..."));
    setAccessibleName(QStringLiteral("About VYX Editor"));
    setFont(standardFont());

    Label1 = new QLabel(QStringLiteral("Coders:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(240, 1800, 855, 255));
    Label1->setFont(standardFont(true));
    Label1->setFocusPolicy(Qt::NoFocus);

    txtAbout = newReadOnlyTextBox(this, "txtAbout", twipsRect(240, 120, 6495, 1455), aboutText());
    txtAbout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtAbout->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QTextOption centred = txtAbout->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    txtAbout->document()->setDefaultTextOption(centred);
    txtAbout->setToolTip(QStringLiteral("About the Program..."));
    txtAbout->setAccessibleName(QStringLiteral("About the program"));
    txtAbout->setAccessibleDescription(txtAbout->toolTip());

    txtCoders
        = newReadOnlyTextBox(this, "txtCoders", twipsRect(1320, 1800, 1575, 615), codersText());
    txtCoders->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtCoders->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // One name per line: a name wider than the narrow box is cut at its
    // edge rather than wrapped onto a line below the box's bottom.
    txtCoders->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtCoders->setAccessibleName(QStringLiteral("Coders"));
    Label1->setBuddy(txtCoders);

    cmdClose = new CommandButton(QStringLiteral("Close."), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(twipsRect(5400, 2040, 1215, 495));
    cmdClose->setToolTip(QStringLiteral("Close Window..."));
    cmdClose->setAccessibleName(QStringLiteral("Close"));
    cmdClose->setAccessibleDescription(cmdClose->toolTip());
    connect(cmdClose, &QPushButton::clicked, this, &FrmAboutWindow::cmdClose_Click);

    setTabOrder(txtAbout, txtCoders);
    setTabOrder(txtCoders, cmdClose);
    setFixedSize(twips(7005), twips(2595));
    setGeometry(twips(2640), twips(3840), twips(7005), twips(2595));
    txtAbout->setFocus();
}

// The window has no Cancel button, so Escape does nothing: it closes by its
// Close button or the close box only.
void FrmAboutWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmAboutWindow::cmdClose_Click()
{
    close();
}

FrmAboutWindow *FrmAbout::win() const
{
    return static_cast<FrmAboutWindow *>(window());
}

QWidget *FrmAbout::createWindow()
{
    return new FrmAboutWindow;
}

FrmAbout &frmAbout()
{
    return singleForm<FrmAbout>("frmAboutForm");
}
