// Paints a list's pages from the page geometry, and runs the print, preview and page set-up
// commands around it.
#include "toolkit/list_printer.h"

#include <QFontMetrics>
#include <QPageSetupDialog>
#include <QPaintDevice>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

namespace wirelark {
namespace {

struct FontSpec {
    const char* face;
    int points;
    QFont::Weight weight;
    QFont::StyleHint hint;
};

constexpr FontSpec kHeaderFont{"Arial", 12, QFont::Bold, QFont::SansSerif};
constexpr FontSpec kFooterFont{"Arial", 10, QFont::Normal, QFont::SansSerif};
constexpr FontSpec kHeadingFont{"Arial", 9, QFont::Bold, QFont::SansSerif};
constexpr FontSpec kRowFont{"Times New Roman", 9, QFont::Normal, QFont::Serif};

constexpr int kTextFlags = Qt::AlignTop | Qt::TextSingleLine;

// The list's own font with face, size and weight replaced; the size is a character height in
// device pixels, rounded to the nearest pixel.
QFont MakeFont(const QFont& listFont, const FontSpec& wanted, int dpiY) {
    QFont font(listFont);
    font.setFamily(QString::fromLatin1(wanted.face));
    font.setStyleHint(wanted.hint);
    font.setPixelSize(std::max((wanted.points * dpiY + 36) / 72, 1));
    font.setWeight(wanted.weight);
    font.setItalic(false);
    // File names such as "office.cap" must print letter by letter, not with ligatures.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

// Rounded down, so that the text stays within columns narrowed by the same factor.
void ShrinkFont(QFont& font, double factor) {
    font.setPixelSize(std::max(static_cast<int>(font.pixelSize() * factor), 1));
}

struct FontMeasure {
    int width = 0;
    int height = 0;
};

FontMeasure MeasureFont(const QFont& font, QPaintDevice& device) {
    static const QString kAlphabet =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const QFontMetrics metrics(font, &device);
    return {metrics.horizontalAdvance(kAlphabet) / 52, metrics.height()};
}

QRect ToQRect(const PrintRect& rect) {
    return {rect.left, rect.top, rect.Width(), rect.Height()};
}

// The printer is shared by all print commands and keeps the range of the last print dialog.
void SelectAllPages(QPrinter& printer) {
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(0, 0);
}

}  // namespace

struct CListPrinter::Fonts {
    QFont header;
    QFont footer;
    QFont heading;
    QFont row;
};

CListPrinter::CListPrinter() = default;
CListPrinter::~CListPrinter() = default;

void CListPrinter::Reset() {
    m_margins = PrintMargins{};
    m_nHeaderLines = 2;
    m_nFooterLines = 2;
    m_columnOrder.clear();
    m_layout = CPrintLayout{};
}

int CListPrinter::BeginPrinting(QPaintDevice& device) {
    m_columnOrder.clear();
    if (m_pList == nullptr) {
        m_layout = CPrintLayout{};
        return 0;
    }
    const QFont listFont = m_pList->GetFont();
    const int dpiY = device.logicalDpiY();
    m_pFonts = std::make_unique<Fonts>(
        Fonts{MakeFont(listFont, kHeaderFont, dpiY), MakeFont(listFont, kFooterFont, dpiY),
              MakeFont(listFont, kHeadingFont, dpiY), MakeFont(listFont, kRowFont, dpiY)});
    const FontMeasure header = MeasureFont(m_pFonts->header, device);
    const FontMeasure footer = MeasureFont(m_pFonts->footer, device);
    const FontMeasure row = MeasureFont(m_pFonts->row, device);

    PrintMeasures measures;
    measures.deviceWidth = device.width();
    measures.deviceHeight = device.height();
    measures.headerFontHeight = header.height;
    measures.footerFontHeight = footer.height;
    measures.rowFontHeight = row.height;
    measures.rowFontWidth = row.width;
    measures.screenCharWidth = QFontMetrics(listFont).averageCharWidth();
    measures.rowCount = m_pList->GetRowCount();
    measures.margins = m_margins;
    measures.headerLines = m_nHeaderLines;
    measures.footerLines = m_nFooterLines;

    const int columnCount = std::max(m_pList->GetColumnCount(), 0);
    std::vector<int> order = m_pList->GetColumnOrder();
    const auto positions = static_cast<std::size_t>(
        std::min({columnCount, kMaxColumns, static_cast<int>(order.size())}));
    order.resize(positions);
    for (int& column : order) {
        if (column < 0 || column >= columnCount) {
            column = -1;
        }
        measures.columnWidths.push_back(column < 0 ? 0 : m_pList->GetColumnWidth(column));
    }
    m_columnOrder = std::move(order);
    m_layout = CPrintLayout(measures);
    if (m_layout.FitFactor() < 1.0) {
        // Columns wider than the page: the headings and rows print smaller, keeping the list's
        // proportions, so that every column fits across the page and more rows fit down it.
        ShrinkFont(m_pFonts->heading, m_layout.FitFactor());
        ShrinkFont(m_pFonts->row, m_layout.FitFactor());
        const FontMeasure shrunk = MeasureFont(m_pFonts->row, device);
        measures.rowFontHeight = shrunk.height;
        measures.rowFontWidth = shrunk.width;
        m_layout = CPrintLayout(measures);
    }
    return m_layout.PageCount();
}

void CListPrinter::PrintPage(QPainter& painter, int page) {
    if (m_pList == nullptr || !m_pFonts) {
        return;
    }
    painter.save();

    painter.setFont(m_pFonts->header);
    painter.fillRect(ToQRect(m_layout.HeaderBar()), Qt::black);
    const QRect headerText = ToQRect(m_layout.HeaderTextRect());
    painter.drawText(headerText, Qt::AlignLeft | kTextFlags, m_strLeftHeader);
    painter.drawText(headerText, Qt::AlignRight | kTextFlags, m_strRightHeader);

    const int positions = static_cast<int>(m_columnOrder.size());
    painter.setFont(m_pFonts->heading);
    for (int position = 0; position < positions; ++position) {
        const int column = m_columnOrder[static_cast<std::size_t>(position)];
        const PrintRect cell = m_layout.HeadingCell(position);
        if (column >= 0 && !cell.IsEmpty()) {
            painter.drawText(ToQRect(cell), Qt::AlignLeft | kTextFlags,
                             m_pList->GetColumnTitle(column));
        }
    }
    painter.setFont(m_pFonts->row);
    const PrintRowRange rows = m_layout.RowsOfPage(page);
    for (int row = rows.first; row < rows.end; ++row) {
        for (int position = 0; position < positions; ++position) {
            const int column = m_columnOrder[static_cast<std::size_t>(position)];
            const PrintRect cell = m_layout.RowCell(row, position);
            if (column >= 0 && !cell.IsEmpty()) {
                painter.drawText(ToQRect(cell), Qt::AlignLeft | kTextFlags,
                                 m_pList->GetItemText(row, column));
            }
        }
    }

    painter.setFont(m_pFonts->footer);
    painter.fillRect(ToQRect(m_layout.FooterBar()), Qt::black);
    painter.drawText(ToQRect(m_layout.FooterTextRect()), Qt::AlignRight | kTextFlags,
                     QStringLiteral("Page %1 of %2").arg(page).arg(m_layout.PageCount()));

    painter.restore();
}

void CListPrinter::EndPrinting() {
    m_pFonts.reset();
}

int CListPrinter::Print(QPrinter& printer) {
    const int pageCount = BeginPrinting(printer);
    int first = 1;
    int last = pageCount;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::max(printer.fromPage(), 1);
        last = std::min(printer.toPage() > 0 ? printer.toPage() : pageCount, pageCount);
    }
    int printed = 0;
    if (first <= last) {
        QPainter painter;
        if (painter.begin(&printer)) {
            for (int page = first; page <= last; ++page) {
                if (page != first && !printer.newPage()) {
                    break;
                }
                PrintPage(painter, page);
                ++printed;
            }
            painter.end();
        }
    }
    EndPrinting();
    return printed;
}

int PrintWithDialog(CListPrinter& listPrinter, QPrinter& printer, QWidget* parent) {
    listPrinter.Reset();
    SelectAllPages(printer);
    const int pageCount = listPrinter.BeginPrinting(printer);
    listPrinter.EndPrinting();
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, std::max(pageCount, 1));
    if (dialog.exec() != QDialog::Accepted) {
        return -1;
    }
    return listPrinter.Print(printer);
}

int PrintWithoutDialog(CListPrinter& listPrinter, QPrinter& printer) {
    listPrinter.Reset();
    SelectAllPages(printer);
    return listPrinter.Print(printer);
}

void PrintPreview(CListPrinter& listPrinter, QPrinter& printer, QWidget* parent) {
    listPrinter.Reset();
    // The preview's own Print button asks for a range again, which its job then honours.
    SelectAllPages(printer);
    QPrintPreviewDialog preview(&printer, parent);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                     [&listPrinter](QPrinter* target) { listPrinter.Print(*target); });
    preview.exec();
}

bool PrintSetup(QPrinter& printer, QWidget* parent) {
    QPageSetupDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool SelectDefaultPrinter(QPrinter& printer) {
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
        if (printers.isEmpty()) {
            return false;
        }
        info = printers.first();
    }
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setPrinterName(info.printerName());
    return true;
}

bool SelectNamedPrinter(QPrinter& printer, const QString& printerName) {
    const QPrinterInfo info = QPrinterInfo::printerInfo(printerName);
    if (info.isNull()) {
        return false;
    }
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setPrinterName(info.printerName());
    return true;
}

}  // namespace wirelark
