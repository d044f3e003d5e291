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
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "common/message_sink.h"
#include "store/wirelark_doc.h"
#include "views/statistics_table_model.h"

namespace wirelark {

namespace {

qulonglong Address(const Ipv4Address& address) {
    return (qulonglong{address[0]} << 24) | (qulonglong{address[1]} << 16) |
           (qulonglong{address[2]} << 8) | address[3];
}

qlonglong Microseconds(const CPacketTime& time) {
    return static_cast<qlonglong>(time.seconds) * 1'000'000 + time.nanoseconds / 1000;
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

// Zooms with the wheel and back out with a double-click, and reports where a click lands on
// the time axis.
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
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        chart()->zoomReset();
        event->accept();
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

    connect(this, &QTabWidget::currentChanged, this, &CStatisticsBar::ShowPage);
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &CStatisticsBar::CountNewPackets);
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
         QStringLiteral("Port B"), QStringLiteral("Protocol"), QStringLiteral("Packets"),
         QStringLiteral("Bytes"), QStringLiteral("Packets A to B"), QStringLiteral("Bytes A to B"),
         QStringLiteral("Packets B to A"), QStringLiteral("Bytes B to A"), QStringLiteral("First"),
         QStringLiteral("Last"), QStringLiteral("Duration (s)")},
        {QStringLiteral("Address"), QStringLiteral("Packets"), QStringLiteral("Bytes"),
         QStringLiteral("Packets sent"), QStringLiteral("Bytes sent"),
         QStringLiteral("Packets received"), QStringLiteral("Bytes received")}};
    // Most packets, or most bytes, first until the user picks another column.
    static constexpr int kFirstSort[] = {1, 0, 6, 2};
    using Kind = CStatisticsTableModel::Kind;
    static const std::vector<Kind> kinds[] = {
        {Kind::Text, Kind::Count, Kind::Count, Kind::Percent},
        {},
        {Kind::Address, Kind::Port, Kind::Address, Kind::Port, Kind::Text, Kind::Count, Kind::Count,
         Kind::Count, Kind::Count, Kind::Count, Kind::Count, Kind::Time, Kind::Time, Kind::Seconds},
        {Kind::Address, Kind::Count, Kind::Count, Kind::Count, Kind::Count, Kind::Count,
         Kind::Count}};
    model = new CStatisticsTableModel(titles[page], kinds[page], this);
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(model);
    sorted->setSortRole(CStatisticsTableModel::kValueRole);
    auto* table = new QTableView(this);
    table->setModel(sorted);
    table->setSortingEnabled(true);
    table->sortByColumn(kFirstSort[page], Qt::DescendingOrder);
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
    m_bWhole = true;
    CountNewPackets();
}

void CStatisticsBar::CountNewPackets() {
    const CPacketList& packets = m_doc.GetPacketList();
    if (packets.size() < m_counted) {
        m_statistics.Clear();
        m_counted = 0;
        m_bWhole = true;
    }
    if (!isVisible() || (packets.size() == m_counted && !m_bWhole)) {
        return;  // a hidden bar catches up when it is shown
    }
    // A slice at a time, between the window's other work, so that counting a large file or a
    // fast capture never holds the window for long; the pages show the counts once caught up.
    const std::size_t end = std::min(packets.size(), m_counted + kSlicePackets);
    for (; m_counted < end; ++m_counted) {
        const CPacketObj& packet = packets[m_counted];
        const auto bytes = m_doc.GetPacketBytes(packet, m_frameBuffer);
        m_statistics.Add(static_cast<int>(m_counted) + 1,
                         packet.GetTimestamp().value_or(CPacketTime{}), packet.GetLength(),
                         bytes.value_or(std::span<const std::uint8_t>()));
    }
    if (m_counted < packets.size()) {
        if (!m_sliceTimer.isActive()) {
            m_sliceTimer.start();
        }
        return;
    }
    ShowChanges();
}

bool CStatisticsBar::IsCaughtUp() const {
    return m_counted == m_doc.GetPacketList().size() && !m_bWhole;
}

void CStatisticsBar::showEvent(QShowEvent* event) {
    QTabWidget::showEvent(event);
    CountNewPackets();
}

namespace {

QVariantList ProtocolCells(const CProtocolRow& row) {
    return {QString::fromStdString(row.type), qulonglong{row.packets}, qulonglong{row.bytes},
            row.percent};
}

// Numbers only: the texts are made for the rows shown.
QVariantList ConversationCells(const CConversationRow& row) {
    const auto port = [&row](std::uint16_t value) {
        return row.bPorts ? qlonglong{value} : qlonglong{-1};
    };
    return {Address(row.addressA),
            port(row.portA),
            Address(row.addressB),
            port(row.portB),
            QString::fromStdString(row.protocol),
            qulonglong{row.Packets()},
            qulonglong{row.Bytes()},
            qulonglong{row.packetsAToB},
            qulonglong{row.bytesAToB},
            qulonglong{row.packetsBToA},
            qulonglong{row.bytesBToA},
            Microseconds(row.first),
            Microseconds(row.last),
            row.DurationSeconds()};
}

QVariantList EndpointCells(const CEndpointRow& row) {
    return {Address(row.address),         qulonglong{row.Packets()},
            qulonglong{row.Bytes()},      qulonglong{row.packetsSent},
            qulonglong{row.bytesSent},    qulonglong{row.packetsReceived},
            qulonglong{row.bytesReceived}};
}

// Each run of neighbouring indices as one replacement, so that the sorting proxy moves only
// the rows that changed.
template <typename MakeCells>
void ReplaceChanged(CStatisticsTableModel& model, const std::vector<std::uint32_t>& changed,
                    const MakeCells& makeCells) {
    std::size_t start = 0;
    for (std::size_t i = 1; i <= changed.size(); ++i) {
        if (i == changed.size() || changed[i] != changed[i - 1] + 1) {
            std::vector<QVariantList> rows;
            for (std::size_t j = start; j < i; ++j) {
                rows.push_back(makeCells(changed[j]));
            }
            model.ReplaceRows(static_cast<int>(changed[start]), std::move(rows));
            start = i;
        }
    }
}

}  // namespace

std::size_t CStatisticsBar::RowCount(Page page) const {
    return page == kProtocols       ? m_statistics.GetTypeCount()
           : page == kConversations ? m_statistics.GetConversationCount()
                                    : m_statistics.GetEndpointCount();
}

QVariantList CStatisticsBar::Cells(Page page, std::size_t index) const {
    return page == kProtocols       ? ProtocolCells(m_statistics.GetProtocol(index))
           : page == kConversations ? ConversationCells(m_statistics.GetConversation(index))
                                    : EndpointCells(m_statistics.GetEndpoint(index));
}

void CStatisticsBar::ShowChanges() {
    const CTrafficStatistics::CChanges changes = m_statistics.TakeChanges();
    if (m_bWhole) {
        m_bWhole = false;
        for (const Page page : {kProtocols, kConversations, kEndpoints}) {
            std::vector<QVariantList> rows;
            for (std::size_t i = 0; i < RowCount(page); ++i) {
                rows.push_back(Cells(page, i));
            }
            m_pModels[page]->SetRows(std::move(rows));
            m_pTables[page]->resizeColumnsToContents();
            m_pending[page] = {};
        }
        m_bProtocolsBehind = false;
        m_chartBehindFrom.reset();
        ShowChart(std::nullopt);
        return;
    }
    const auto mark = [](CPendingRows& pending, const std::vector<std::uint32_t>& changed) {
        for (const std::uint32_t index : changed) {
            if (index >= pending.marked.size()) {
                pending.marked.resize(index + 1);
            }
            if (!pending.marked[index]) {
                pending.marked[index] = true;
                pending.indices.push_back(index);
            }
        }
    };
    mark(m_pending[kConversations], changes.conversations);
    mark(m_pending[kEndpoints], changes.endpoints);
    // Every type's share changes with every packet counted.
    m_bProtocolsBehind = true;
    if (changes.earliestSecond) {
        m_chartBehindFrom =
            std::min(m_chartBehindFrom.value_or(*changes.earliestSecond), *changes.earliestSecond);
    }
    ShowPage(currentIndex());
}

void CStatisticsBar::ShowPage(int page) {
    switch (page) {
        case kProtocols:
            if (m_bProtocolsBehind) {
                // There are only a few types: all of them again.
                std::vector<QVariantList> rows;
                for (std::size_t i = 0; i < RowCount(kProtocols); ++i) {
                    rows.push_back(Cells(kProtocols, i));
                }
                m_pModels[kProtocols]->ReplaceRows(0, std::move(rows));
                m_bProtocolsBehind = false;
            }
            break;
        case kTraffic:
            if (m_chartBehindFrom) {
                ShowChart(m_chartBehindFrom);
                m_chartBehindFrom.reset();
            }
            break;
        case kConversations:
        case kEndpoints: {
            CPendingRows& pending = m_pending[page];
            std::sort(pending.indices.begin(), pending.indices.end());
            ReplaceChanged(*m_pModels[page], pending.indices, [this, page](std::uint32_t i) {
                return Cells(static_cast<Page>(page), i);
            });
            pending = {};
            break;
        }
        default:
            break;
    }
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

void CStatisticsBar::ShowChart(std::optional<std::int64_t> fromSecond) {
    // Only the points from the earliest second the new packets fell in are drawn again, unless
    // the spans changed as the capture grew longer.
    const CTrafficSeries tail =
        fromSecond ? m_statistics.GetSeries(CTrafficStatistics::kDefaultSeriesPoints, *fromSecond)
                   : m_statistics.GetSeries();
    const std::int64_t origin =
        tail.points.empty() ? 0
                            : tail.points.front().second -
                                  static_cast<std::int64_t>(tail.firstPoint) * tail.spanSeconds;
    const bool bAll = tail.points.empty() || m_series.points.empty() ||
                      tail.spanSeconds != m_series.spanSeconds ||
                      origin != m_series.points.front().second;
    if (bAll) {
        m_series = fromSecond ? m_statistics.GetSeries() : tail;
        m_mostPackets = 1;
        m_mostBytes = 1;
    } else {
        m_series.points.resize(tail.firstPoint);
        m_series.points.insert(m_series.points.end(), tail.points.begin(), tail.points.end());
    }
    const std::size_t firstChanged = bAll ? 0 : tail.firstPoint;
    const double span = static_cast<double>(std::max<std::int64_t>(m_series.spanSeconds, 1));
    QList<QPointF> packetPoints;
    QList<QPointF> bytePoints;
    for (std::size_t i = firstChanged; i < m_series.points.size(); ++i) {
        const CTimeBucket& point = m_series.points[i];
        const double x = static_cast<double>(point.second) * 1000.0;
        packetPoints.append({x, static_cast<double>(point.packets) / span});
        bytePoints.append({x, static_cast<double>(point.bytes) / span});
        m_mostPackets = std::max(m_mostPackets, packetPoints.back().y());
        m_mostBytes = std::max(m_mostBytes, bytePoints.back().y());
    }
    for (const auto& [series, points] :
         {std::pair{m_pPacketSeries, &packetPoints}, std::pair{m_pByteSeries, &bytePoints}}) {
        if (bAll) {
            series->replace(*points);
            continue;
        }
        const int kept = static_cast<int>(firstChanged);
        if (series->count() > kept) {
            series->removePoints(kept, series->count() - kept);
        }
        series->append(*points);
    }
    // A chart the user zoomed into keeps its view while the capture goes on.
    if (m_pChart->chart()->isZoomed() || m_series.points.empty()) {
        return;
    }
    const qint64 first = m_series.points.front().second * 1000;
    const qint64 last = (m_series.points.back().second + m_series.spanSeconds) * 1000;
    m_pTimeAxis->setRange(QDateTime::fromMSecsSinceEpoch(first),
                          QDateTime::fromMSecsSinceEpoch(last));
    m_pPacketAxis->setRange(0, m_mostPackets * 1.1);
    m_pByteAxis->setRange(0, m_mostBytes * 1.1);
}

int CStatisticsBar::FirstRowAt(qint64 msecs) {
    ShowPage(kTraffic);
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
    if (row < 0 || static_cast<std::size_t>(row) >= m_statistics.GetConversationCount()) {
        return;
    }
    const CConversationRow conversation =
        m_statistics.GetConversation(static_cast<std::size_t>(row));
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

bool CStatisticsBar::ExportTable(Page page, const QString& path) {
    ShowPage(page);
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

bool CStatisticsBar::ExportChart(const QString& path) {
    ShowPage(kTraffic);
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
