// Prints the rows of a list as a paginated table: two header texts over a black rule, the
// column headings in display order, as many rows as fit, and a footer with the page number.
#pragma once

#include <QFont>
#include <QString>
#include <memory>
#include <vector>

#include "toolkit/print_layout.h"

class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace wirelark {

// What the printer reads of a list. Columns are addressed by their own index; the order maps a
// display position to a column index.
class IListPrintSource {
public:
    virtual ~IListPrintSource() = default;
    virtual int GetColumnCount() const = 0;
    virtual std::vector<int> GetColumnOrder() const = 0;
    virtual QString GetColumnTitle(int column) const = 0;
    virtual int GetColumnWidth(int column) const = 0;  // on-screen pixels
    virtual int GetRowCount() const = 0;
    virtual QString GetItemText(int row, int column) const = 0;
    virtual QFont GetFont() const = 0;  // the list's screen font
};

class CListPrinter {
public:
    // The column order holds this many display positions; further columns are not printed.
    static constexpr int kMaxColumns = 100;

    CListPrinter();
    ~CListPrinter();
    CListPrinter(const CListPrinter&) = delete;
    CListPrinter& operator=(const CListPrinter&) = delete;

    void SetList(const IListPrintSource* list) { m_pList = list; }
    void SetLeftHeader(const QString& text) { m_strLeftHeader = text; }
    void SetRightHeader(const QString& text) { m_strRightHeader = text; }
    const QString& GetLeftHeader() const { return m_strLeftHeader; }
    const QString& GetRightHeader() const { return m_strRightHeader; }

    // Measures, counts and the column order back to nothing; default margins and lines.
    void Reset();
    // Creates the fonts for the device and measures the page; takes the list's rows as they are
    // now. Returns the page count. Without a list the job has no pages.
    int BeginPrinting(QPaintDevice& device);
    // Page is 1-based. The painter must be open on the device given to BeginPrinting.
    void PrintPage(QPainter& painter, int page);
    void EndPrinting();

    const CPrintLayout& GetLayout() const { return m_layout; }
    int GetPageCount() const { return m_layout.PageCount(); }
    PrintMargins& Margins() { return m_margins; }

    // A whole job on the printer as it is set up (the page range chosen in a print dialog is
    // honoured). Returns the number of pages printed; 0 for an empty list, which opens no page.
    int Print(QPrinter& printer);

private:
    struct Fonts;

    const IListPrintSource* m_pList = nullptr;
    QString m_strLeftHeader;
    QString m_strRightHeader;
    PrintMargins m_margins;
    int m_nHeaderLines = 2;
    int m_nFooterLines = 2;
    std::vector<int> m_columnOrder;
    CPrintLayout m_layout;
    std::unique_ptr<Fonts> m_pFonts;
};

// The commands of a view that prints through a CListPrinter. The printer object carries the
// user's printer choice from one command to the next; make it with QPrinter::HighResolution,
// since the margins are device pixels and a screen-resolution printer would make them inches.

// Every command starts its job on all pages: a page range chosen in one print dialog is not
// carried over to the next job.

// File Print: the print dialog with pages 1 to the page count, then the job. Returns the pages
// printed, or -1 when the dialog was cancelled.
int PrintWithDialog(CListPrinter& listPrinter, QPrinter& printer, QWidget* parent);
// Printing without a dialog: the whole job. Returns the pages printed.
int PrintWithoutDialog(CListPrinter& listPrinter, QPrinter& printer);
// Print Preview: a modal preview of the whole job on the printer's pages.
void PrintPreview(CListPrinter& listPrinter, QPrinter& printer, QWidget* parent);
// Print Setup: paper, orientation and margins for later jobs. Returns false when cancelled.
bool PrintSetup(QPrinter& printer, QWidget* parent);

// Printer selection for printing from the command line. Both return false, leaving the printer
// unchanged, when no such printer is installed.
bool SelectDefaultPrinter(QPrinter& printer);
bool SelectNamedPrinter(QPrinter& printer, const QString& printerName);

}  // namespace wirelark
