// The Statistics bar's pages: the document's traffic per protocol, over time, per conversation
// and per address, counted as packets arrive and shown a few times a second at most.
#pragma once

#include <QTabWidget>
#include <QTimer>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

#include "stats/traffic_statistics.h"

class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
class QSortFilterProxyModel;
class QTableView;

namespace wirelark {

class CStatisticsTableModel;
class CWirelarkDoc;
class IMessageSink;

class CStatisticsBar final : public QTabWidget {
    Q_OBJECT

public:
    enum Page { kProtocols, kTraffic, kConversations, kEndpoints };
    // How often the pages follow a growing document at most.
    static constexpr int kFollowIntervalMs = 500;
    // Packets counted in one go before the window's other work has its turn.
    static constexpr std::size_t kSlicePackets = 65536;

    CStatisticsBar(CWirelarkDoc& doc, IMessageSink& messages, QWidget* parent = nullptr);
    ~CStatisticsBar() override;

    // Counts every packet again, as after File New or Open.
    void Rebuild();
    // Counts the packets added since, or everything again when the document has fewer than
    // were counted, and shows the result; many packets are counted in slices, the rest of them
    // at the next turns of the event loop (IsCaughtUp says when all are).
    void CountNewPackets();
    bool IsCaughtUp() const;
    const CTrafficStatistics& GetStatistics() const { return m_statistics; }
    std::size_t GetCountedPackets() const { return m_counted; }

    // A table page as CSV in the order shown, or the chart as a PNG; false when the file
    // cannot be written.
    bool ExportTable(Page page, const QString& path);
    bool ExportChart(const QString& path);
    QTableView* Table(Page page) const;
    QChartView* Chart() const { return m_pChart; }
    // The row of the first packet of the series point nearest a time, in msecs since the epoch;
    // -1 when it has none.
    int FirstRowAt(qint64 msecs);

signals:
    // Rows (list positions) for the packet list to select, the first to be shown.
    void RowsChosen(const std::vector<int>& rows);

protected:
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QTableView* AddTable(Page page, const QString& title, CStatisticsTableModel*& model);
    void CreateChart();
    // Notes what the packets counted since the last time changed and shows it on the page in
    // view; the other pages catch up when they come into view. Every row after a rebuild.
    void ShowChanges();
    void ShowPage(int page);
    // A table page's rows, by the statistics' index.
    std::size_t RowCount(Page page) const;
    QVariantList Cells(Page page, std::size_t index) const;
    void ShowChart(std::optional<std::int64_t> fromSecond);
    void OnConversationActivated(const QModelIndex& index);

    CWirelarkDoc& m_doc;
    IMessageSink& m_messages;
    int m_listenerId = 0;
    CTrafficStatistics m_statistics;
    std::size_t m_counted = 0;
    std::vector<std::uint8_t> m_frameBuffer;
    QTimer m_followTimer;
    QTimer m_sliceTimer;
    CStatisticsTableModel* m_pModels[4] = {};
    QSortFilterProxyModel* m_pSorted[4] = {};
    QTableView* m_pTables[4] = {};
    QChartView* m_pChart = nullptr;
    QLineSeries* m_pPacketSeries = nullptr;
    QLineSeries* m_pByteSeries = nullptr;
    QDateTimeAxis* m_pTimeAxis = nullptr;
    QValueAxis* m_pPacketAxis = nullptr;
    QValueAxis* m_pByteAxis = nullptr;
    bool m_bWhole = true;  // the next showing replaces every row and point
    // Changes not yet shown: rows by the statistics' index, each once, and whether the protocol
    // rows and the chart (from which second) are behind.
    struct CPendingRows {
        std::vector<std::uint32_t> indices;
        std::vector<bool> marked;
    };
    CPendingRows m_pending[4];
    bool m_bProtocolsBehind = false;
    std::optional<std::int64_t> m_chartBehindFrom;
    CTrafficSeries m_series;  // as the chart's points
    double m_mostPackets = 1;
    double m_mostBytes = 1;
};

}  // namespace wirelark
