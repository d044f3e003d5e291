// The list printer on real QPrinter devices: margins in device pixels, PDF output read back
// with pdftotext, and lists that are empty, too tall for a page or too wide for its order.
#include "toolkit/list_printer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <memory>
#include <tuple>
#include <utility>

namespace wirelark {
namespace {

// A list of titled columns shown in a chosen order; cell texts name their row and column.
class CFakeList final : public IListPrintSource {
public:
    CFakeList(QStringList columnTitles, std::vector<int> columnOrder)
        : titles(std::move(columnTitles)), order(std::move(columnOrder)) {}

    int GetColumnCount() const override { return static_cast<int>(titles.size()); }
    std::vector<int> GetColumnOrder() const override { return order; }
    QString GetColumnTitle(int column) const override { return titles.value(Read(column)); }
    int GetColumnWidth(int column) const override { return widths.value(Read(column), 60); }
    int GetRowCount() const override { return rows; }
    QString GetItemText(int row, int column) const override {
        return texts.value(Read(column), QStringLiteral("r%1c%2").arg(row).arg(column));
    }
    QFont GetFont() const override { return QApplication::font(); }

    QStringList titles;
    std::vector<int> order;
    int rows = 0;
    QList<int> widths;  // by column; columns without a width are 60 wide
    QStringList texts;  // every row's texts by column; without one a cell names row and column
    mutable std::pair<int, int> columnsRead{INT_MAX, INT_MIN};  // lowest and highest

private:
    int Read(int column) const {
        columnsRead = {std::min(columnsRead.first, column), std::max(columnsRead.second, column)};
        return column;
    }
};

// What pdftotext reads from one page of a PDF; empty when it fails.
QString PdfText(const QString& path, int page = 1, const QString& mode = "-layout") {
    const QString number = QString::number(page);
    QProcess process;
    process.start("pdftotext", {mode, "-f", number, "-l", number, path, "-"});
    const bool ok = process.waitForFinished(30000) && process.exitCode() == 0;
    return ok ? QString::fromUtf8(process.readAllStandardOutput()) : QString();
}

// The gap in points between two neighbouring words on the first page; -1 when they are not.
double GapBetween(const QString& path, const QString& first, const QString& second) {
    const QRegularExpression pair(
        QStringLiteral(R"re(xMax="([0-9.]+)"[^>]*>%1</word>\s*)re"
                       R"re(<word xMin="([0-9.]+)"[^>]*>%2</word>)re")
            .arg(QRegularExpression::escape(first), QRegularExpression::escape(second)));
    const QRegularExpressionMatch match = pair.match(PdfText(path, 1, "-bbox"));
    return match.hasMatch() ? match.captured(2).toDouble() - match.captured(1).toDouble() : -1;
}

class ListPrinterTest : public testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()) {
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        }
    }
    QString PdfPath() const { return m_dir.filePath("list.pdf"); }
    std::unique_ptr<QPrinter> PdfPrinter(int dpi) const {
        auto printer = std::make_unique<QPrinter>();
        printer->setOutputFileName(PdfPath());
        printer->setResolution(dpi);
        printer->setPageSize(QPageSize(QPageSize::A4));
        return printer;
    }
    // The layout of the list on the device; m_printer prints the list from now on.
    CPrintLayout Layout(CFakeList& list, QPrinter& device) {
        m_printer.SetList(&list);
        m_printer.BeginPrinting(device);
        m_printer.EndPrinting();
        return m_printer.GetLayout();
    }

    QTemporaryDir m_dir;
    CListPrinter m_printer;
    CFakeList m_list{{"No.", "Time", "Len", "MAC Source"}, {0, 1, 2, 3}};  // in their own order
    std::unique_ptr<QPrinter> m_pdf = PdfPrinter(300);
};

TEST_F(ListPrinterTest, MarginsAreDevicePixelsWhateverTheResolutionButFontsKeepTheirSize) {
    const auto fine = PdfPrinter(600);
    const int coarseHeight = Layout(m_list, *m_pdf).HeadingCell(0).Height();
    const CPrintLayout layout = Layout(m_list, *fine);
    EXPECT_EQ(layout.PrintableRect(),
              (PrintRect{200, 150, fine->width() - 200, fine->height() - 150}));
    EXPECT_NEAR(layout.HeadingCell(0).Height(), 2 * coarseHeight, 3);  // at twice the resolution
}

TEST_F(ListPrinterTest, PdfShowsHeadersHeadingsInDisplayOrderRowsAndPageNumbers) {
    // Len dragged in front of No.; a file name with a blank beside a title with two.
    CFakeList list(m_list.titles, {2, 0, 1, 3});
    m_printer.SetLeftHeader("Wirelark  Light");
    m_printer.SetRightHeader("office copy.cap");
    const auto printer = PdfPrinter(600);
    const int perPage = Layout(list, *printer).RowsPerPage();
    ASSERT_GT(perPage, 1);
    list.rows = 2 * perPage + 5;

    EXPECT_EQ(m_printer.Print(*printer), 3);

    // A row's cells in display order, and any cell of a row.
    const QString wholeRow = R"(\br%1c2 +r%1c0 +r%1c1 +r%1c3\b)", anyCell = R"(\br%1c)";
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        const QString text = PdfText(PdfPath(), page);
        auto has = [&text](const QString& pattern, int row) {
            return text.contains(QRegularExpression(pattern.arg(row)));
        };
        EXPECT_TRUE(text.contains("office copy.cap")) << text.left(300).toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Page %1 of 3").arg(page)));
        EXPECT_TRUE(text.contains(QRegularExpression("Len +No\\. +Time +MAC Source")));
        const int first = perPage * (page - 1);
        const int last = std::min(perPage * page, list.rows) - 1;
        EXPECT_TRUE(has(wholeRow, first) && has(wholeRow, last));
        EXPECT_FALSE(has(anyCell, first - 1) || has(anyCell, last + 1));
    }
    // The left header keeps both blanks of the application's title.
    const double one = GapBetween(PdfPath(), "office", "copy.cap");
    EXPECT_GT(one, 0.0);
    EXPECT_GT(GapBetween(PdfPath(), "Wirelark", "Light"), one * 1.6);
}

TEST_F(ListPrinterTest, EmptyListPrintsNoPageButAPageTooSmallForARowPrintsOneWithoutRows) {
    for (const bool hasList : {false, true}) {
        m_printer.SetList(hasList ? &m_list : nullptr);
        EXPECT_EQ(m_printer.Print(*m_pdf), 0);
        EXPECT_FALSE(QFile::exists(PdfPath()));
    }
    m_list.rows = 12;
    // Leave the body less than two row lines.
    m_printer.Margins().top = m_printer.Margins().bottom = m_pdf->height() / 2 - 40;
    EXPECT_EQ(m_printer.Print(*m_pdf), 1);
    const QString text = PdfText(PdfPath());
    EXPECT_TRUE(text.contains("Page 1 of 1") && text.contains("No.")) << text.toStdString();
    EXPECT_FALSE(text.contains("r0c0"));
}

TEST_F(ListPrinterTest, ChosenPageRangeIsHonouredAndClampedButEveryCommandStartsOnAllPages) {
    m_list.rows = 3 * Layout(m_list, *m_pdf).RowsPerPage();
    // From, to, pages printed.
    const int cases[][3] = {{2, 3, 2}, {3, 9, 1}, {4, 5, 0}, {2, 2, 1}};
    m_pdf->setPrintRange(QPrinter::PageRange);
    for (const auto& [from, to, printed] : cases) {
        m_pdf->setFromTo(from, to);
        EXPECT_EQ(m_printer.Print(*m_pdf), printed) << from << " to " << to;
    }
    EXPECT_TRUE(PdfText(PdfPath()).contains("Page 2 of 3"));

    // The shared printer as a print dialog leaves it after printing page 2 alone.
    EXPECT_EQ(PrintWithoutDialog(m_printer, *m_pdf), 3);
    m_pdf->setPrintRange(QPrinter::PageRange);
    m_pdf->setFromTo(2, 2);
    int shown = -1;
    QTimer::singleShot(0, [&shown] {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(preview, nullptr) << "the preview is not the modal window";
        auto* pages = preview->findChild<QPrintPreviewWidget*>();
        shown = pages == nullptr ? -1 : pages->pageCount();
        preview->reject();
    });
    PrintPreview(m_printer, *m_pdf, nullptr);
    EXPECT_EQ(shown, 3);
}

TEST_F(ListPrinterTest, ColumnsBeyondTheOrderAreNeverRead) {
    CFakeList list({}, {});
    for (int column = 0; column < 130; ++column) {
        list.titles << QStringLiteral("H%1").arg(column);
        list.order.push_back(column);
    }
    list.widths = QList<int>(130, 1);
    list.rows = 3;
    m_printer.SetList(&list);
    // More columns than the order holds, an order shorter than the columns, and an order naming
    // columns that do not exist; then the lowest and highest column read.
    const std::tuple<std::vector<int>, int, int> cases[] = {
        {list.order, 0, 99}, {{3, 1}, 1, 3}, {{0, -4, 500, 2}, 0, 2}};
    for (const auto& [order, lowest, highest] : cases) {
        list.order = order;
        list.columnsRead = {INT_MAX, INT_MIN};
        EXPECT_EQ(m_printer.Print(*m_pdf), 1);
        EXPECT_EQ(list.columnsRead, std::pair(lowest, highest));
    }
}

TEST_F(ListPrinterTest, ColumnsWiderThanThePageAreScaledDownSoThatEveryColumnPrints) {
    // The packet list's columns sized as its view sizes them, and a row with its widest texts.
    CFakeList list(
        {"ID         ", "Time Stamp      ", "Len    ", "MAC Source       ", "MAC Dest         ",
         "Type        ", "IP Source/Port    ", "IP Dest/Port      "},
        {0, 1, 2, 3, 4, 5, 6, 7});
    for (const QString& title : list.titles) {
        list.widths.push_back(QFontMetrics(list.GetFont()).horizontalAdvance(title) * 15 / 10);
    }
    const QString widest =
        "1000000 23:59:59,999999 1514 00.1A.2B.3C.4D.5E FF.FF.FF.FF.FF.FF "
        "IPv4-TCP 192.168.100.200/65535 192.168.100.201/65535";
    list.texts = widest.split(' ');
    const auto printer = PdfPrinter(1200);
    const int narrowPerPage = Layout(m_list, *printer).RowsPerPage();
    const int perPage = Layout(list, *printer).RowsPerPage();
    // The rows shrink with the columns.
    EXPECT_GT(perPage, narrowPerPage);
    list.rows = perPage + 1;

    EXPECT_EQ(m_printer.Print(*printer), 2);

    const QString text = PdfText(PdfPath(), 1);
    for (const QString& expected : list.titles + list.texts) {
        EXPECT_TRUE(text.contains(expected.trimmed())) << expected.toStdString();
    }
    EXPECT_TRUE(PdfText(PdfPath(), 2).contains("192.168.100.201/65535"));
}

}  // namespace
}  // namespace wirelark
