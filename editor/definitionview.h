#pragma once

#include <QEvent>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTextCharFormat>
#include <QTextLayout>

class Document;
class QAction;
class QContextMenuEvent;
class QMouseEvent;
class QPalette;
class QTextBlock;
class QTextDocument;
class RichTextBox;

// Makes the editor window's text read as a definition file: colours for its
// syntax, include names shown as links that Ctrl+click and the context menu
// follow, Alt+Left to go back, and includes whose file is missing marked.
//
// Only the lines shown (and a page either side) are coloured and checked,
// just before they are painted, so loading or editing a document of many MB
// costs nothing extra. The colours are set on the lines' layouts, as
// QSyntaxHighlighter does, not on the text: the text, its undo history and
// its modified state stay untouched. QSyntaxHighlighter itself is not used
// because it colours every line of the document on load.
class DefinitionView : public QObject
{
    Q_OBJECT
public:
    // Decorates the text of edit, which views model; the window takes the
    // Back shortcut.
    DefinitionView(RichTextBox *edit, Document *model, QWidget *window);

    // Colours on (the default) or off; the following of includes stays.
    void setColoursEnabled(bool enabled);
    bool coloursEnabled() const { return m_coloursEnabled; }

    // The context menu's item for the include under the click or caret, and
    // the window's Alt+Left.
    QAction *openIncludedAction() const { return m_openIncluded; }
    QAction *backAction() const { return m_back; }

    // The colours of a line as printed: worked out for white paper,
    // whatever the screen's palette; none while colours are off.
    QList<QTextLayout::FormatRange> paperFormatsFor(const QString &line);

Q_SIGNALS:
    // The user follows an include, or goes back to the including file: the
    // window opens path, after the "Save Changes?" question.
    void openRequested(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Formats
    {
        QTextCharFormat comment, separator, directive, includeName, missingInclude, number, string;
    };
    struct Step
    {
        QString from; // the including file
        int line; // its line that held the include
        QString to; // the included file, as opened
    };

    void watchDocument();
    void recolourChange(QTextDocument *doc, int position, int added);
    void updateFormats();
    static Formats formatsOn(const QPalette &palette);
    void colourShownLines();
    void recolourNow();
    bool colourBlock(const QTextBlock &block);
    QList<QTextLayout::FormatRange> formatsFor(const QString &line, const Formats &formats);
    bool includeExists(const QString &path, bool fresh = false);
    QString includeTarget(const QTextBlock &block);
    QString includeTargetUnder(const QPoint &pos);
    void keepColours(QObject *watched, QEvent::Type type);
    bool mouseOnInclude(QMouseEvent *mouse);
    bool openContextMenu(QObject *watched, QEvent *event);
    void showContextMenu(QContextMenuEvent *event, bool atMouse);
    void follow(const QString &target, int line);
    void goBack();
    bool historyIsCurrent();

    RichTextBox *m_edit;
    Document *m_model;
    QMetaObject::Connection m_documentWatch;
    QPointer<QWidget> m_viewport;
    QAction *m_openIncluded;
    QAction *m_back;
    QString m_openTarget; // the context menu's include and its line
    int m_openLine = 0;
    Formats m_formats;
    QHash<QString, bool> m_exists;
    QList<Step> m_history;
    bool m_coloursEnabled = true;
    bool m_colouring = false;
    bool m_pressedOnName = false;
    bool m_pointerOnName = false;
};
