#include "frmhowtouse.h"

#include "controls.h"
#include "messagebox.h"
#include "metrics.h"

#include <QIcon>
#include <QPlainTextEdit>

QString howToUseText()
{
    // Broken by hand to fit the text box; the one long line of the last
    // section is left for the box to wrap.
    return QStringLiteral(
        "VYX Editor 1.0 is simple to use, as this is its first version.\r\n"
        "This small document tells you how to use the functions of its menus.\r\n"
        "\r\n"
        "\"File\" Menu.\r\n"
        "\r\n"
        "There are 5 options under this heading: \"New\", \"Open\", \"Save\", \"Save As\"\r\n"
        "and \"Exit\". \"New\" creates a new document, so that you can start making\r\n"
        "a new vyx from scratch. \"Open\" opens a previous or already made vyx, so\r\n"
        "that you can change it. \"Save\" saves the document back to the file it\r\n"
        "came from, or saves it as a new document when it has never been saved.\r\n"
        "\"Save As\" saves the document under the vyx filename that you give it.\r\n"
        "\"Exit\" closes the program straight away.\r\n"
        "\r\n"
        "\"Edit\" Menu.\r\n"
        "\r\n"
        "There are 3 options under this heading: \"Cut\", \"Copy\" and \"Paste\". \"Cut\"\r\n"
        "places the highlighted text on the clipboard and removes it from the\r\n"
        "editor, so that you can place it elsewhere in the file. \"Copy\" places the\r\n"
        "text on the clipboard without deleting it from the editor. \"Paste\" places\r\n"
        "the text that is on the clipboard into the editor where the caret is.\r\n"
        "\r\n"
        "\"Insert\" Menu.\r\n"
        "\r\n"
        "There are 4 options under this heading: \"Include Line\", \"Item Separator\",\r\n"
        "\"//\" and \"#\". \"Include Line\" inserts the include line, after which you type\r\n"
        "the name of the vyx file that you want to include. \"Item Separator\" inserts\r\n"
        "the line that separates one item in the file from the next. \"//\" inserts two\r\n"
        "forward slashes, which tell the game that the string of numerical values\r\n"
        "or characters after them is not important. \"#\" comes from files such as\r\n"
        "the weaponry files.\r\n"
        "\r\n"
        "\"Help\" Menu.\r\n"
        "\r\n"
        "This menu is about the program itself, for problem reports or suggestions; it is not "
        "explained here.\r\n");
}

FrmHowToUseWindow::FrmHowToUseWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmHowToUse"));
    setWindowTitle(applicationTitle());
    setWindowIcon(QIcon(QStringLiteral(":/icons/vyx-editor-32.png")));
    setAccessibleName(QStringLiteral("How to use VYX Editor"));
    setFont(standardFont());

    txtHowToUse
        = newReadOnlyTextBox(this, "txtHowToUse", twipsRect(240, 120, 7815, 5535), howToUseText());
    txtHowToUse->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtHowToUse->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtHowToUse->setToolTip(QStringLiteral("How to use this program..."));
    txtHowToUse->setAccessibleName(QStringLiteral("How to use"));
    txtHowToUse->setAccessibleDescription(txtHowToUse->toolTip());

    cmdBack = new CommandButton(QStringLiteral("Back to Editor"), this);
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdBack->setGeometry(twipsRect(6480, 6000, 1575, 495));
    cmdBack->setAccessibleName(cmdBack->text());

    setTabOrder(txtHowToUse, cmdBack);
    // The controls keep their design positions and sizes whatever the
    // window's size: no layout, only the initial client area.
    setGeometry(twips(2010), twips(1740), twips(8340), twips(6825));
    txtHowToUse->setFocus();
}

FrmHowToUseWindow *FrmHowToUse::win() const
{
    return static_cast<FrmHowToUseWindow *>(window());
}

QWidget *FrmHowToUse::createWindow()
{
    return new FrmHowToUseWindow;
}

FrmHowToUse &frmHowToUse()
{
    return singleForm<FrmHowToUse>("frmHowToUseForm");
}
