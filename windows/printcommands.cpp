// The File menu's printing: Print..., Print Preview... and Export as PDF....
// The pages are painted here (see PagePainter) rather than by
// QPlainTextEdit::print(), which prints a copy of the document without its
// definition colours and with nothing but a page number around the text.

#include "commondialog.h"
#include "definitionview.h"
#include "document.h"
#include "frmmain.h"
#include "messagebox.h"
#include "metrics.h"
#include "pagepainter.h"
#include "richtextbox.h"
#include "version.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QSaveFile>
#include <QSettings>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

namespace {

// Beyond this the preview would take longer to make than anyone looks at it.
constexpr int previewPageLimit = 200;
// A document of more characters shows a progress window with Cancel while it
// is laid out and painted, and the window repaints meanwhile.
constexpr int bigDocumentChars = 256 * 1024;
// How long the work goes on between two turns of the event loop.
constexpr int sliceMs = 25;
const QString exportFolderKey = QStringLiteral("Print/exportFolder");

// The paper most used where the user lives.
QPageSize localPaper()
{
    const QLocale::Territory territory = QLocale().territory();
    const bool letter = territory == QLocale::UnitedStates || territory == QLocale::Canada
        || territory == QLocale::Mexico;
    return QPageSize(letter ? QPageSize::Letter : QPageSize::A4);
}

// The block numbers of the first and last line to print: the whole
// document, or the lines the selection touches (a selection that ends at
// the start of a line leaves that line out).
std::pair<int, int> linesToPrint(const RichTextBox *edit, bool selectionOnly)
{
    const QTextDocument *doc = edit->document();
    const QTextCursor cursor = edit->textCursor();
    if (!selectionOnly || !cursor.hasSelection())
        return {0, doc->blockCount() - 1};
    const QTextBlock first = doc->findBlock(cursor.selectionStart());
    QTextBlock last = doc->findBlock(cursor.selectionEnd());
    if (last != first && cursor.selectionEnd() == last.position())
        last = last.previous();
    return {first.blockNumber(), last.blockNumber()};
}

} // namespace

void FrmMainWindow::buildPrintMenu()
{
    mnuSepPrint = mnuFile->addSeparator();
    mnuSepPrint->setObjectName(QStringLiteral("mnuSepPrint"));
    mnuPrint = addItem(mnuFile, "mnuPrint", QStringLiteral("Print..."),
                       QKeySequence(Qt::CTRL | Qt::Key_P), &FrmMainWindow::mnuPrint_Click);
    mnuPrintPreview = addItem(mnuFile, "mnuPrintPreview", QStringLiteral("Print Preview..."),
                              QKeySequence(), &FrmMainWindow::mnuPrintPreview_Click);
    mnuExportPdf = addItem(mnuFile, "mnuExportPdf", QStringLiteral("Export as PDF..."),
                           QKeySequence(), &FrmMainWindow::mnuExportPdf_Click);
}

int FrmMainWindow::printPages(QPagedPaintDevice *device, bool selectionOnly, int pageLimit)
{
    QTextDocument *doc = rtfMain->document();
    const auto [first, last] = linesToPrint(rtfMain, selectionOnly);
    const bool rich = rtfMain->hasFormatting();
    DefinitionView *view = findChild<DefinitionView *>();

    // The lines are asked for in order, twice; the next block is one step
    // away, where looking a block up by number would walk the tree each time.
    struct Cursor
    {
        int index = -1;
        QTextBlock block;
    };
    auto at = std::make_shared<Cursor>();
    const auto source = [doc, first, rich, view, at](int index) {
        if (at->index >= 0 && index == at->index + 1)
            at->block = at->block.next();
        else if (index != at->index)
            at->block = doc->findBlockByNumber(first + index);
        at->index = index;
        const QString text = at->block.text();
        QList<QTextLayout::FormatRange> formats;
        if (rich)
            formats = at->block.textFormats();
        else if (view)
            formats = view->paperFormatsFor(text);
        return PagePainter::Line{text, formats};
    };

    PagePainter::Options options;
    // The editor's font at its own size: the zoom is for the screen.
    options.font = standardFont();
    const QString path = document->filePath();
    options.title = path.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path).fileName();
    options.lineNumbers = mnuLineNumbers->isChecked();
    options.firstLineNumber = first + 1;
    PagePainter pages(device, options, last - first + 1, source);

    std::unique_ptr<QProgressDialog> progress;
    if (doc->characterCount() > bigDocumentChars) {
        progress = std::make_unique<QProgressDialog>(tr("Laying out the pages..."), tr("Cancel"), 0,
                                                     100, this);
        progress->setObjectName(QStringLiteral("dlgPrintProgress"));
        progress->setWindowTitle(applicationTitle());
        progress->setAccessibleName(progress->labelText());
        // Application-modal: the Compare window and floating docks could
        // otherwise edit or replace the document being painted.
        progress->setWindowModality(Qt::ApplicationModal);
        progress->setMinimumDuration(0);
        progress->setAutoReset(false);
        progress->setValue(0);
    }
    // True while the user has not cancelled; a modal progress window lets
    // the event loop run in setValue.
    const auto goOn = [&progress](int percent) {
        if (!progress)
            return true;
        progress->setValue(percent);
        return !progress->wasCanceled();
    };

    QElapsedTimer slice;
    slice.start();
    int linesPerSlice = 64;
    // Laying out is half the work, painting the other half.
    while (pages.paginate(linesPerSlice)) {
        if (slice.elapsed() < sliceMs) {
            linesPerSlice *= 2;
            continue;
        }
        if (!goOn(int(qint64(pages.linesPlaced()) * 50 / qMax(1, pages.lineCount()))))
            return -1;
        slice.restart();
    }

    // The pages asked for in the print dialog, else all of them.
    int from = 1;
    int to = pages.pageCount();
    if (auto *printer = dynamic_cast<QPrinter *>(device);
        printer && printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
        from = qMax(1, printer->fromPage());
        to = qMin(to, printer->toPage() > 0 ? printer->toPage() : to);
    }
    if (pageLimit > 0)
        to = qMin(to, from + pageLimit - 1);
    if (progress)
        progress->setLabelText(tr("Printing the pages..."));

    QPainter painter;
    if (!painter.begin(device))
        return -2;
    slice.restart();
    for (int page = from; page <= to; ++page) {
        if (page > from)
            device->newPage();
        pages.paintPage(painter, page - 1);
        if (slice.elapsed() >= sliceMs) {
            if (!goOn(50 + (page - from + 1) * 50 / qMax(1, to - from + 1))) {
                // A print job is called off before it would go to the printer.
                if (auto *printer = dynamic_cast<QPrinter *>(device))
                    printer->abort();
                painter.end();
                return -1;
            }
            slice.restart();
        }
    }
    if (!painter.end())
        return -2;
    return pages.pageCount();
}

void FrmMainWindow::mnuPrint_Click()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(localPaper());
    const QString path = document->filePath();
    printer.setDocName(path.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path).fileName());
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("dlgPrint"));
    dialog.setAccessibleName(dialog.windowTitle());
    dialog.setOption(QAbstractPrintDialog::PrintSelection, rtfMain->textCursor().hasSelection());
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int printed = printPages(&printer, printer.printRange() == QPrinter::Selection);
    if (printed == -2)
        showWarning(this, tr("Cannot print: the printer could not be started."));
}

void FrmMainWindow::mnuPrintPreview_Click()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(localPaper());
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("dlgPrintPreview"));
    preview.setAccessibleName(preview.windowTitle());
    // Under the pages when the document makes more than the preview shows.
    auto *note = new QLabel(&preview);
    note->setObjectName(QStringLiteral("lblPreviewLimit"));
    note->setWordWrap(true);
    note->hide();
    if (preview.layout())
        preview.layout()->addWidget(note);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, note](QPrinter *paper) {
        const int pages = printPages(paper, false, previewPageLimit);
        note->setVisible(pages > previewPageLimit);
        note->setText(tr("The preview shows the first %1 of the document's %2 pages; Print... "
                         "in the File menu prints them all.")
                          .arg(previewPageLimit)
                          .arg(pages));
    });
    preview.exec();
}

void FrmMainWindow::mnuExportPdf_Click()
{
    if (!cdlPdf) {
        cdlPdf = new CommonDialog(this, {tr("PDF Files (*.pdf)")}, 0);
        cdlPdf->Title = tr("Export as PDF");
    }
    // NAME.pdf beside the document; an untitled one goes where the last
    // export went.
    const QString path = document->filePath();
    if (!path.isEmpty()) {
        const QFileInfo file(path);
        cdlPdf->InitDir = file.absolutePath();
        cdlPdf->FileName = file.absoluteDir().filePath(file.completeBaseName() + ".pdf");
    } else {
        cdlPdf->InitDir = QSettings().value(exportFolderKey, QDir::homePath()).toString();
        cdlPdf->FileName = QStringLiteral("Untitled.pdf");
    }
    if (!cdlPdf->ShowSave())
        return;
    QString chosen = cdlPdf->FileName;
    if (QFileInfo(chosen).suffix().isEmpty())
        chosen += QStringLiteral(".pdf");
    exportPdf(chosen);
}

bool FrmMainWindow::exportPdf(const QString &path)
{
    // QSaveFile writes beside the file and replaces it only once complete:
    // a failure or Cancel leaves whatever was there before.
    QSaveFile file(path);
    const auto fail = [this, &path](const QString &reason) {
        showWarning(this, tr("Cannot export %1: %2").arg(quotedPath(path), reason));
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    int printed = 0;
    {
        QPdfWriter writer(&file);
        const QString name = document->filePath();
        writer.setTitle(name.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(name).fileName());
        writer.setCreator(QStringLiteral(VYX_PRODUCT_NAME));
        writer.setResolution(300);
        writer.setPageSize(localPaper());
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        printed = printPages(&writer, false);
    }
    if (printed < 0) {
        // Nothing of the file is left: the temporary one goes with `file`.
        file.cancelWriting();
        return printed == -1 ? false : fail(tr("the PDF could not be written."));
    }
    if (!file.commit())
        return fail(file.errorString());
    QSettings().setValue(exportFolderKey, QFileInfo(path).absolutePath());
    return true;
}
