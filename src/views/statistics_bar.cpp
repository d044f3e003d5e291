// The Statistics bar: four pages over one count of the document, kept up to date by a timer.
#include "views/statistics_bar.h"

#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineSeries>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "common/message_sink.h"
#include "decode/protocol_names.h"
#include "store/wirelark_doc.h"
#include "views/statistics_table_model.h"

namespace wirelark {

namespace {

QString Address(const Ipv4Address& address) {
    std::string text;
    AppendDottedQuad(text, address);
    return QString::fromStdString(text);
}

QString TimeOfDay(const CPacketTime& time) {
    return QDateTime::fromSecsSinceEpoch(time.seconds).toString(QStringLiteral("HH:mm:ss")) +
           QStringLiteral(".%1").arg(time.nanoseconds / 1000, 6, 10, QLatin1Char('0'));
}

// The percent column draws its value as a bar behind the text.
class CPercentBarDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const double percent =
            std::clamp(index.data(CStatisticsTableModel::kValueRole).toDouble(), 0.0, 100.0);
        QRect bar = option.rect.adjusted(2, 3, -2, -3);
        bar.setWidth(static_cast<int>(std::lround(bar.width() * percent / 100.0)));
        painter->fillRect(bar, option.palette.color(QPalette::Highlight).lighter(160));
        QStyledItemDelegate::paint(painter, option, index);
    }
};

// Zooms with the wheel, and reports where a click lands on the time axis.
class CTrafficChartView final : public QChartView {
public:
    std::function<void(qint64 msecs)> onClick;

    using QChartView::QChartView;

protected:
    void wheelEvent(QWheelEvent* event) override {
        if (event->angleDelta().y() != 0) {
            chart()->zoom(event->angleDelta().y() > 0 ? 1.25 : 0.8);
        }
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && onClick &&
            chart()->plotArea().contains(event->position())) {
            onClick(static_cast<qint64>(chart()->mapToValue(event->position()).x()));
        }
        QChartView::mousePressEvent(event);
    }
};

}  // namespace

CStatisticsBar::CStatisticsBar(CWirelarkDoc& doc, IMessageSink& messages, QWidget* parent)
    : QTabWidget(parent), m_doc(doc), m_messages(messages) {
    setTabPosition(QTabWidget::South);
    setDocumentMode(true);
    AddTable(kProtocols, QStringLiteral("Protocols"), m_pModels[kProtocols])
        ->setItemDelegateForColumn(3, new CPercentBarDelegate(this));

    auto* chart = new QChart();
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* chartView = new CTrafficChartView(chart, this);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->onClick = [this](qint64 msecs) {
        if (const int row = FirstRowAt(msecs); row >= 0) {
            emit RowsChosen({row});
        }
    };
    m_pChart = chartView;
    CreateChart();
    insertTab(kTraffic, m_pChart, QStringLiteral("Traffic over time"));

    QTableView* conversations =
        AddTable(kConversations, QStringLiteral("Conversations"), m_pModels[kConversations]);
    connect(conversations, &QTableView::doubleClicked, this,
            &CStatisticsBar::OnConversationActivated);
    AddTable(kEndpoints, QStringLiteral("Endpoints"), m_pModels[kEndpoints]);

    m_followTimer.setInterval(kFollowIntervalMs);
    connect(&m_followTimer, &QTimer::timeout, this, &CStatisticsBar::CountNewPackets);
    m_followTimer.start();
    // New, Open and the initial update replace the document's packets.
    m_listenerId = m_doc.AddUpdateListener([this] {
        if (isVisible()) {
            Rebuild();
        } else {
            m_statistics.Clear();
            m_counted = 0;
        }
    });
}

CStatisticsBar::~CStatisticsBar() {
    m_doc.RemoveUpdateListener(m_listenerId);
}

QTableView* CStatisticsBar::AddTable(Page page, const QString& title,
                                     CStatisticsTableModel*& model) {
    static const QStringList titles[] = {
        {QStringLiteral("Type"), QStringLiteral("Packets"), QStringLiteral("Bytes"),
         QStringLiteral("Percent")},
        {},
        {QStringLiteral("Address A"), QStringLiteral("Port A"), QStringLiteral("Address B"),
         QStringLiteral("Port B"), QStringLiteral("Protocol"), QStringLiteral("Packets A to B"),
         QStringLiteral("Bytes A to B"), QStringLiteral("Packets B to A"),
         QStringLiteral("Bytes B to A"), QStringLiteral("First"), QStringLiteral("Last"),
         QStringLiteral("Duration (s)")},
        {QStringLiteral("Address"), QStringLiteral("Packets sent"), QStringLiteral("Bytes sent"),
         QStringLiteral("Packets received"), QStringLiteral("Bytes received")}};
    model = new CStatisticsTableModel(titles[page], this);
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(model);
    sorted->setSortRole(CStatisticsTableModel::kValueRole);
    auto* table = new QTableView(this);
    table->setModel(sorted);
    table->setSortingEnabled(true);
    // The statistics' own order until the user picks a column.
    table->horizontalHeader()->setSortIndicator(-1, Qt::DescendingOrder);
    sorted->sort(-1);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    m_pSorted[page] = sorted;
    m_pTables[page] = table;
    insertTab(page, table, title);
    return table;
}

QTableView* CStatisticsBar::Table(Page page) const {
    return m_pTables[page];
}

void CStatisticsBar::Rebuild() {
    m_statistics.Clear();
    m_counted = 0;
    CountNewPackets();
}

void CStatisticsBar::CountNewPackets() {
    const CPacketList& packets = m_doc.GetPacketList();
    if (packets.size() < m_counted) {
        m_statistics.Clear();
        m_counted = 0;
    }
    if (!isVisible() || (packets.size() == m_counted && m_counted > 0)) {
        return;  // a hidden bar catches up when it is shown
    }
    for (; m_counted < packets.size(); ++m_counted) {
        const CPacketObj& packet = packets[m_counted];
        const auto bytes = m_doc.GetPacketBytes(packet, m_frameBuffer);
        m_statistics.Add(static_cast<int>(m_counted) + 1,
                         packet.GetTimestamp().value_or(CPacketTime{}), packet.GetLength(),
                         bytes.value_or(std::span<const std::uint8_t>()));
    }
    ShowStatistics();
}

void CStatisticsBar::showEvent(QShowEvent* event) {
    QTabWidget::showEvent(event);
    CountNewPackets();
}

void CStatisticsBar::SetTableRows(Page page, std::vector<QVariantList> rows) {
    // New counts replace the rows; where the user scrolled and which column sorts stay.
    QTableView* table = m_pTables[page];
    const int scrolled = table->verticalScrollBar()->value();
    const bool bWasEmpty = m_pModels[page]->rowCount() == 0;
    m_pModels[page]->SetRows(std::move(rows));
    if (bWasEmpty && m_pModels[page]->rowCount() > 0) {
        table->resizeColumnsToContents();
    }
    table->verticalScrollBar()->setValue(scrolled);
}

void CStatisticsBar::ShowStatistics() {
    std::vector<QVariantList> rows;
    for (const CProtocolRow& row : m_statistics.GetProtocols()) {
        rows.push_back({QString::fromStdString(row.type), qulonglong{row.packets},
                        qulonglong{row.bytes}, row.percent});
    }
    SetTableRows(kProtocols, std::move(rows));

    rows.clear();
    m_conversations = m_statistics.GetConversations();
    for (const CConversationRow& row : m_conversations) {
        const auto port = [&row](std::uint16_t value) {
            return row.bPorts ? QVariant(qulonglong{value}) : QVariant(QString());
        };
        rows.push_back({Address(row.addressA), port(row.portA), Address(row.addressB),
                        port(row.portB), QString::fromStdString(row.protocol),
                        qulonglong{row.packetsAToB}, qulonglong{row.bytesAToB},
                        qulonglong{row.packetsBToA}, qulonglong{row.bytesBToA},
                        TimeOfDay(row.first), TimeOfDay(row.last), row.DurationSeconds()});
    }
    SetTableRows(kConversations, std::move(rows));

    rows.clear();
    for (const CEndpointRow& row : m_statistics.GetEndpoints()) {
        rows.push_back({Address(row.address), qulonglong{row.packetsSent},
                        qulonglong{row.bytesSent}, qulonglong{row.packetsReceived},
                        qulonglong{row.bytesReceived}});
    }
    SetTableRows(kEndpoints, std::move(rows));
    ShowChart();
}

void CStatisticsBar::CreateChart() {
    QChart* chart = m_pChart->chart();
    m_pPacketSeries = new QLineSeries(chart);
    m_pPacketSeries->setName(QStringLiteral("Packets/s"));
    m_pByteSeries = new QLineSeries(chart);
    m_pByteSeries->setName(QStringLiteral("Bytes/s"));
    // Frames of like sizes draw the two lines on top of each other: the packets' line is the
    // wider one beneath, the bytes' a dashed line over it.
    QPen packetPen(QColor(0x20, 0x6E, 0xC0), 3);
    m_pPacketSeries->setPen(packetPen);
    QPen bytePen(QColor(0x3C, 0xA0, 0x3C), 1.5, Qt::DashLine);
    m_pByteSeries->setPen(bytePen);
    chart->addSeries(m_pPacketSeries);
    chart->addSeries(m_pByteSeries);
    m_pTimeAxis = new QDateTimeAxis(chart);
    m_pTimeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    m_pTimeAxis->setTitleText(QStringLiteral("Time of day"));
    chart->addAxis(m_pTimeAxis, Qt::AlignBottom);
    m_pPacketAxis = new QValueAxis(chart);
    m_pPacketAxis->setTitleText(QStringLiteral("Packets/s"));
    m_pPacketAxis->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(m_pPacketAxis, Qt::AlignLeft);
    m_pByteAxis = new QValueAxis(chart);
    m_pByteAxis->setTitleText(QStringLiteral("Bytes/s"));
    m_pByteAxis->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(m_pByteAxis, Qt::AlignRight);
    m_pPacketSeries->attachAxis(m_pTimeAxis);
    m_pPacketSeries->attachAxis(m_pPacketAxis);
    m_pByteSeries->attachAxis(m_pTimeAxis);
    m_pByteSeries->attachAxis(m_pByteAxis);
}

void CStatisticsBar::ShowChart() {
    m_series = m_statistics.GetSeries();
    const double span = static_cast<double>(std::max<std::int64_t>(m_series.spanSeconds, 1));
    QList<QPointF> packetPoints;
    QList<QPointF> bytePoints;
    double mostPackets = 1;
    double mostBytes = 1;
    for (const CTimeBucket& point : m_series.points) {
        const double x = static_cast<double>(point.second) * 1000.0;
        packetPoints.append({x, static_cast<double>(point.packets) / span});
        bytePoints.append({x, static_cast<double>(point.bytes) / span});
        mostPackets = std::max(mostPackets, packetPoints.back().y());
        mostBytes = std::max(mostBytes, bytePoints.back().y());
    }
    m_pPacketSeries->replace(packetPoints);
    m_pByteSeries->replace(bytePoints);
    // A chart the user zoomed into keeps its view while the capture goes on.
    if (m_pChart->chart()->isZoomed()) {
        return;
    }
    if (!m_series.points.empty()) {
        const qint64 first = m_series.points.front().second * 1000;
        const qint64 last = (m_series.points.back().second + m_series.spanSeconds) * 1000;
        m_pTimeAxis->setRange(QDateTime::fromMSecsSinceEpoch(first),
                              QDateTime::fromMSecsSinceEpoch(last));
    }
    m_pPacketAxis->setRange(0, mostPackets * 1.1);
    m_pByteAxis->setRange(0, mostBytes * 1.1);
}

int CStatisticsBar::FirstRowAt(qint64 msecs) const {
    if (m_series.points.empty()) {
        return -1;
    }
    const std::int64_t second = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
    const std::int64_t index = (second - m_series.points.front().second) / m_series.spanSeconds;
    if (index < 0 || index >= static_cast<std::int64_t>(m_series.points.size())) {
        return -1;
    }
    const CTimeBucket& point = m_series.points[static_cast<std::size_t>(index)];
    return point.packets > 0 ? point.firstNumber - 1 : -1;
}

void CStatisticsBar::OnConversationActivated(const QModelIndex& index) {
    const int row = m_pSorted[kConversations]->mapToSource(index).row();
    if (row < 0 || static_cast<std::size_t>(row) >= m_conversations.size()) {
        return;
    }
    const CConversationRow& conversation = m_conversations[static_cast<std::size_t>(row)];
    std::vector<int> rows;
    const CPacketList& packets = m_doc.GetPacketList();
    for (std::size_t i = 0; i < std::min(packets.size(), m_counted); ++i) {
        const auto bytes = m_doc.GetPacketBytes(packets[i], m_frameBuffer);
        if (bytes && CTrafficStatistics::InConversation(conversation, *bytes)) {
            rows.push_back(static_cast<int>(i));
        }
    }
    if (!rows.empty()) {
        emit RowsChosen(rows);
    }
}

bool CStatisticsBar::ExportTable(Page page, const QString& path) const {
    const QSortFilterProxyModel* sorted = m_pSorted[page];
    if (sorted == nullptr) {
        return false;
    }
    std::vector<int> order;
    for (int row = 0; row < sorted->rowCount(); ++row) {
        order.push_back(sorted->mapToSource(sorted->index(row, 0)).row());
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(m_pModels[page]->ToCsv(order).toUtf8()) >= 0 && file.flush();
}

bool CStatisticsBar::ExportChart(const QString& path) const {
    return m_pChart->grab().save(path, "PNG");
}

void CStatisticsBar::contextMenuEvent(QContextMenuEvent* event) {
    const auto page = static_cast<Page>(currentIndex());
    QMenu menu(this);
    const bool bChart = page == kTraffic;
    QAction* exportAction = menu.addAction(bChart ? QStringLiteral("Export as PNG...")
                                                  : QStringLiteral("Export as CSV..."));
    if (menu.exec(event->globalPos()) != exportAction) {
        return;
    }
    const QString path = QFileDialog::getSaveFileName(
        this, exportAction->text().chopped(3), tabText(page) + (bChart ? ".png" : ".csv"),
        bChart ? QStringLiteral("PNG images (*.png)") : QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty() && !(bChart ? ExportChart(path) : ExportTable(page, path))) {
        m_messages.ShowMessage("\"" + path.toStdString() + "\" could not be written.",
                               MessageIcon::Warning);
    }
}

}  // namespace wirelark
