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
#include <vector>

namespace wirelark {
namespace {

// A list of titled columns shown in a chosen order; cell texts name their row and column.
class CFakeList final : public IListPrintSource {
public:
    CFakeList(QStringList titles, std::vector<int> order, int rows)
        : m_titles(std::move(titles)), m_order(std::move(order)), m_nRows(rows) {}

    int GetColumnCount() const override { return static_cast<int>(m_titles.size()); }
    std::vector<int> GetColumnOrder() const override { return m_order; }
    QString GetColumnTitle(int column) const override {
        Touch(column);
        return m_titles.value(column);
    }
    int GetColumnWidth(int column) const override {
        Touch(column);
        return widths.empty() ? width : widths.at(static_cast<std::size_t>(column));
    }
    int GetRowCount() const override { return m_nRows; }
    QString GetItemText(int row, int column) const override {
        Touch(column);
        return texts.isEmpty() ? QStringLiteral("r%1c%2").arg(row).arg(column)
                               : texts.value(column);
    }
    QFont GetFont() const override { return QApplication::font(); }

    void SetRowCount(int rows) { m_nRows = rows; }
    int width = 60;
    std::vector<int> widths;  // by column; all columns are `width` wide when empty
    QStringList texts;        // every row's texts by column; they name row and column when empty
    mutable int highestColumnRead = -1;
    mutable bool readOutside = false;

private:
    void Touch(int column) const {
        highestColumnRead = std::max(highestColumnRead, column);
        readOutside = readOutside || column < 0 || column >= GetColumnCount();
    }

    QStringList m_titles;
    std::vector<int> m_order;
    int m_nRows;
};

const QStringList kTitles{"No.", "Time", "Len", "MAC Source"};

void MakePdfPrinter(QPrinter& printer, const QString& path, int dpi) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setResolution(dpi);
    printer.setPageSize(QPageSize(QPageSize::A4));
}

// What pdftotext prints for these arguments; empty when it fails.
QString PdfToText(QStringList arguments) {
    QProcess process;
    process.start("pdftotext", arguments << "-");
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of one page (all pages with 0), laid out as on paper.
QString PdfText(const QString& path, int page = 0) {
    const QString number = QString::number(page);
    return PdfToText(page > 0 ? QStringList{"-layout", "-f", number, "-l", number, path}
                              : QStringList{"-layout", path});
}

struct PdfWord {
    QString text;
    double left = 0;
    double right = 0;
};

// The words of a PDF's first page with their horizontal extents in points.
std::vector<PdfWord> PdfWords(const QString& path) {
    static const QRegularExpression kWord(
        R"re(<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="([0-9.]+)" yMax="[0-9.]+">([^<]*)</word>)re");
    std::vector<PdfWord> words;
    auto matches = kWord.globalMatch(PdfToText({"-bbox", "-f", "1", "-l", "1", path}));
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        words.push_back(
            {match.captured(3), match.captured(1).toDouble(), match.captured(2).toDouble()});
    }
    return words;
}

// How many rows a page of this printer holds for this list.
int RowsPerPage(CListPrinter& printer, CFakeList& list, QPrinter& device) {
    list.SetRowCount(1);
    printer.BeginPrinting(device);
    const int rows = printer.GetLayout().RowsPerPage();
    printer.EndPrinting();
    return rows;
}

bool HasWord(const QString& text, const QString& word) {
    return text.contains(QRegularExpression("\\b" + QRegularExpression::escape(word) + "\\b"));
}

class ListPrinterTest : public testing::Test {
protected:
    // m_printer prints m_list, columns in their own order, to a 300 dpi PDF in m_pdf.
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_printer.SetLeftHeader("Wirelark  Light");
        m_printer.SetRightHeader("office.cap");
        m_printer.SetList(&m_list);
        MakePdfPrinter(m_pdf, PdfPath(), 300);
    }
    QString PdfPath() const { return m_dir.filePath("list.pdf"); }
    static bool HavePdfToText() { return !QStandardPaths::findExecutable("pdftotext").isEmpty(); }

    QTemporaryDir m_dir;
    CListPrinter m_printer;
    CFakeList m_list{kTitles, {0, 1, 2, 3}, 0};
    QPrinter m_pdf;
};

TEST_F(ListPrinterTest, MarginsAreDevicePixelsWhateverTheResolution) {
    m_list.SetRowCount(10);
    int rowHeight[2] = {};
    const int resolutions[] = {600, 300};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(resolutions[i]);
        QPrinter printer;
        MakePdfPrinter(printer, PdfPath(), resolutions[i]);
        m_printer.Reset();
        m_printer.BeginPrinting(printer);
        const CPrintLayout& layout = m_printer.GetLayout();
        EXPECT_EQ(layout.PageRect(), (PrintRect{0, 0, printer.width(), printer.height()}));
        EXPECT_EQ(layout.PrintableRect(),
                  (PrintRect{200, 150, printer.width() - 200, printer.height() - 150}));
        rowHeight[i] = layout.RowCell(0, 0).Height();
        m_printer.EndPrinting();
    }
    // The fonts, unlike the margins, keep their size on paper.
    EXPECT_NEAR(rowHeight[0], 2 * rowHeight[1], 3);
}

TEST_F(ListPrinterTest, PdfShowsHeadersHeadingsInDisplayOrderRowsAndPageNumbers) {
    if (!HavePdfToText()) {
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    // Len dragged in front of No.
    CFakeList list(kTitles, {2, 0, 1, 3}, 0);
    m_printer.SetList(&list);
    QPrinter printer;
    MakePdfPrinter(printer, PdfPath(), 600);
    const int perPage = RowsPerPage(m_printer, list, printer);
    ASSERT_GT(perPage, 1);
    list.SetRowCount(2 * perPage + 5);

    EXPECT_EQ(m_printer.Print(printer), 3);

    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        const QString text = PdfText(PdfPath(), page);
        ASSERT_FALSE(text.isEmpty());
        // The left header's words, printed with both blanks, have a test of their own.
        EXPECT_TRUE(text.contains("office.cap")) << text.left(300).toStdString();
        const QString footer = QStringLiteral("Page %1 of 3").arg(page);
        EXPECT_TRUE(text.contains(footer));
        const qsizetype len = text.indexOf("Len");
        const qsizetype number = text.indexOf("No.");
        const qsizetype time = text.indexOf("Time");
        const qsizetype mac = text.indexOf("MAC Source");
        EXPECT_TRUE(len >= 0 && len < number && number < time && time < mac)
            << text.left(400).toStdString();
        const int first = perPage * (page - 1);
        const int last = std::min(perPage * page, 2 * perPage + 5) - 1;
        EXPECT_TRUE(HasWord(text, QStringLiteral("r%1c2").arg(first)));
        EXPECT_TRUE(HasWord(text, QStringLiteral("r%1c3").arg(last)));
        EXPECT_FALSE(HasWord(text, QStringLiteral("r%1c0").arg(first - 1)));
        EXPECT_FALSE(HasWord(text, QStringLiteral("r%1c0").arg(last + 1)));
        // Cells of a row follow the display order too.
        EXPECT_LT(text.indexOf(QStringLiteral("r%1c2").arg(first)),
                  text.indexOf(QStringLiteral("r%1c0").arg(first)));
    }
}

TEST_F(ListPrinterTest, LeftHeaderKeepsBothBlanksOfTheApplicationTitle) {
    if (!HavePdfToText()) {
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    m_list.SetRowCount(1);
    // The gap between the two words, printed with one blank and with two.
    auto gap = [&](const QString& title) {
        m_printer.SetLeftHeader(title);
        QPrinter printer;
        MakePdfPrinter(printer, PdfPath(), 600);
        EXPECT_EQ(m_printer.Print(printer), 1);
        const std::vector<PdfWord> words = PdfWords(PdfPath());
        for (std::size_t i = 0; i + 1 < words.size(); ++i) {
            if (words[i].text == "Wirelark" && words[i + 1].text == "Light") {
                return words[i + 1].left - words[i].right;
            }
        }
        ADD_FAILURE() << "no header words in " << title.toStdString();
        return 0.0;
    };
    const double one = gap("Wirelark Light");
    const double two = gap("Wirelark  Light");
    EXPECT_GT(one, 0.0);
    EXPECT_GT(two, one * 1.6);
}

TEST_F(ListPrinterTest, EmptyListOrNoListPrintsNoPage) {
    for (const IListPrintSource* source : {static_cast<const IListPrintSource*>(&m_list),
                                           static_cast<const IListPrintSource*>(nullptr)}) {
        m_printer.SetList(source);
        EXPECT_EQ(m_printer.Print(m_pdf), 0);
        EXPECT_FALSE(QFile::exists(PdfPath()));
    }
}

TEST_F(ListPrinterTest, PageTooSmallForARowPrintsOnePageWithoutRows) {
    m_list.SetRowCount(12);
    // Leave the body less than two row lines.
    m_printer.Margins().top = m_pdf.height() / 2 - 40;
    m_printer.Margins().bottom = m_pdf.height() / 2 - 40;
    EXPECT_EQ(m_printer.Print(m_pdf), 1);
    EXPECT_EQ(m_printer.GetLayout().RowsPerPage(), 0);
    if (!HavePdfToText()) {
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    const QString text = PdfText(PdfPath());
    EXPECT_TRUE(text.contains("Page 1 of 1")) << text.toStdString();
    EXPECT_TRUE(text.contains("No."));
    EXPECT_FALSE(text.contains("r0c0"));
}

TEST_F(ListPrinterTest, ChosenPageRangeIsHonouredAndClamped) {
    QPrinter& printer = m_pdf;
    m_list.SetRowCount(3 * RowsPerPage(m_printer, m_list, printer));

    const struct {
        int from;
        int to;
        int printed;
    } cases[] = {{2, 3, 2}, {3, 9, 1}, {4, 5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        QFile::remove(PdfPath());
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(c.from, c.to);
        EXPECT_EQ(m_printer.Print(printer), c.printed);
    }
    if (HavePdfToText()) {
        printer.setFromTo(2, 2);
        QFile::remove(PdfPath());
        ASSERT_EQ(m_printer.Print(printer), 1);
        EXPECT_TRUE(PdfText(PdfPath()).contains("Page 2 of 3"));
    }
}

TEST_F(ListPrinterTest, ColumnsBeyondTheOrderAreNeverRead) {
    QStringList many;
    std::vector<int> order;
    for (int column = 0; column < 130; ++column) {
        many << QStringLiteral("H%1").arg(column);
        order.push_back(column);
    }
    const struct {
        const char* name;
        std::vector<int> order;
        int highest;
    } cases[] = {
        {"more columns than the order holds", order, 99},
        {"an order shorter than the columns", {3, 1}, 3},
        {"an order naming columns that do not exist", {0, -4, 500, 2}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeList list(many, c.order, 3);
        list.width = 1;
        m_printer.SetList(&list);
        EXPECT_EQ(m_printer.Print(m_pdf), 1);
        EXPECT_EQ(list.highestColumnRead, c.highest);
        EXPECT_FALSE(list.readOutside);
    }
}

TEST_F(ListPrinterTest, ColumnsWiderThanThePageAreScaledDownSoThatEveryColumnPrints) {
    if (!HavePdfToText()) {
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    // The packet list's columns sized as its view sizes them, and a row with its widest texts.
    const QStringList titles{"ID         ",        "Time Stamp      ",  "Len    ",
                             "MAC Source       ",  "MAC Dest         ", "Type        ",
                             "IP Source/Port    ", "IP Dest/Port      "};
    CFakeList list(titles, {0, 1, 2, 3, 4, 5, 6, 7}, 0);
    for (const QString& title : titles) {
        list.widths.push_back(QFontMetrics(list.GetFont()).horizontalAdvance(title) * 15 / 10);
    }
    list.texts = QStringList{"1000000",
                             "23:59:59,999999",
                             "1514",
                             "00.1A.2B.3C.4D.5E",
                             "FF.FF.FF.FF.FF.FF",
                             "IPv4-TCP",
                             "192.168.100.200/65535",
                             "192.168.100.201/65535"};
    QPrinter printer;
    MakePdfPrinter(printer, PdfPath(), 1200);
    printer.setPageOrientation(QPageLayout::Portrait);
    const int narrowPerPage = RowsPerPage(m_printer, m_list, printer);
    m_printer.SetList(&list);
    const int perPage = RowsPerPage(m_printer, list, printer);
    // The rows shrink with the columns.
    EXPECT_GT(perPage, narrowPerPage);
    list.SetRowCount(perPage + 1);

    EXPECT_EQ(m_printer.Print(printer), 2);

    const QString text = PdfText(PdfPath(), 1);
    for (const QString& expected : titles + list.texts) {
        EXPECT_TRUE(text.contains(expected.trimmed())) << expected.toStdString();
    }
    EXPECT_TRUE(PdfText(PdfPath(), 2).contains("192.168.100.201/65535"));
}

TEST_F(ListPrinterTest, PreviewAndPrintingWithoutDialogCoverEveryPageAfterARangeWasPrinted) {
    QPrinter& printer = m_pdf;
    m_list.SetRowCount(2 * RowsPerPage(m_printer, m_list, printer) + 1);
    // The shared printer as a print dialog leaves it after printing page 2 alone.
    auto chooseRange = [&printer] {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 2);
    };

    chooseRange();
    EXPECT_EQ(PrintWithoutDialog(m_printer, printer), 3);

    chooseRange();
    int shown = -1;
    QTimer::singleShot(0, [&shown] {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        if (preview == nullptr) {
            ADD_FAILURE() << "the preview is not the modal window";
            return;
        }
        auto* pages = preview->findChild<QPrintPreviewWidget*>();
        shown = pages == nullptr ? -1 : pages->pageCount();
        preview->reject();
    });
    PrintPreview(m_printer, printer, nullptr);
    EXPECT_EQ(shown, 3);
}

}  // namespace
}  // namespace wirelark
