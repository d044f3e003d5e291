// The Statistics bar's pages: the document's traffic per protocol, over time, per conversation
// and per address, counted as packets arrive and shown a few times a second at most.
#pragma once

#include <QTabWidget>
#include <QTimer>
#include <QVariant>
#include <memory>
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

    CStatisticsBar(CWirelarkDoc& doc, IMessageSink& messages, QWidget* parent = nullptr);
    ~CStatisticsBar() override;

    // Counts every packet again, as after File New or Open.
    void Rebuild();
    // Counts the packets added since, or everything again when the document has fewer than
    // were counted, and shows the result.
    void CountNewPackets();
    const CTrafficStatistics& GetStatistics() const { return m_statistics; }
    std::size_t GetCountedPackets() const { return m_counted; }

    // A table page as CSV in the order shown, or the chart as a PNG; false when the file
    // cannot be written.
    bool ExportTable(Page page, const QString& path) const;
    bool ExportChart(const QString& path) const;
    QTableView* Table(Page page) const;
    QChartView* Chart() const { return m_pChart; }
    // The row of the first packet of the series point nearest a time, in msecs since the epoch;
    // -1 when it has none.
    int FirstRowAt(qint64 msecs) const;

signals:
    // Rows (list positions) for the packet list to select, the first to be shown.
    void RowsChosen(const std::vector<int>& rows);

protected:
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QTableView* AddTable(Page page, const QString& title, CStatisticsTableModel*& model);
    void CreateChart();
    void SetTableRows(Page page, std::vector<QVariantList> rows);
    void ShowStatistics();
    void ShowChart();
    void OnConversationActivated(const QModelIndex& index);

    CWirelarkDoc& m_doc;
    IMessageSink& m_messages;
    int m_listenerId = 0;
    CTrafficStatistics m_statistics;
    std::size_t m_counted = 0;
    std::vector<std::uint8_t> m_frameBuffer;
    QTimer m_followTimer;
    CStatisticsTableModel* m_pModels[4] = {};
    QSortFilterProxyModel* m_pSorted[4] = {};
    QTableView* m_pTables[4] = {};
    QChartView* m_pChart = nullptr;
    QLineSeries* m_pPacketSeries = nullptr;
    QLineSeries* m_pByteSeries = nullptr;
    QDateTimeAxis* m_pTimeAxis = nullptr;
    QValueAxis* m_pPacketAxis = nullptr;
    QValueAxis* m_pByteAxis = nullptr;
    std::vector<CConversationRow> m_conversations;  // as the table's rows
    CTrafficSeries m_series;                        // as the chart's points
};

}  // namespace wirelark
