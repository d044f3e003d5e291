// The Statistics bar over a document: it follows new packets only, rebuilds after New, picks a
// conversation's rows and a second's first row for the list, and exports what it shows.
#include "views/statistics_bar.h"

#include <gtest/gtest.h>

#include <QChartView>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLineSeries>
#include <QMouseEvent>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QWheelEvent>

#include "store/wirelark_doc.h"
#include "support/capture_fakes.h"
#include "support/frame_builder.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

std::vector<std::uint8_t> Tcp(std::uint16_t sourcePort, bool bReply) {
    test::CIpv4Fields ip;
    test::CTcpFields tcp{.sourcePort = sourcePort};
    if (bReply) {
        std::swap(ip.source, ip.destination);
        std::swap(tcp.sourcePort, tcp.destinationPort);
    }
    return CFrameBuilder().Ethernet().Ipv4(ip).Tcp(tcp).PadTo(60).Build();
}

void Add(CWirelarkDoc& doc, long second, const std::vector<std::uint8_t>& frame) {
    const pcap_pkthdr header{{second, 0},
                             static_cast<bpf_u_int32>(frame.size()),
                             static_cast<bpf_u_int32>(frame.size())};
    ASSERT_TRUE(doc.AddPacket(static_cast<int>(doc.GetPacketList().size()) + 1, header, frame));
}

TEST(StatisticsBar, FollowsNewPacketsPicksRowsForTheListAndExportsWhatItShows) {
    CWirelarkDoc doc;
    test::CRecordingMessageSink sink;
    CStatisticsBar bar(doc, sink);
    std::vector<std::vector<int>> chosen;
    QObject::connect(&bar, &CStatisticsBar::RowsChosen,
                     [&chosen](const std::vector<int>& rows) { chosen.push_back(rows); });
    bar.show();
    const auto arp = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
    Add(doc, 1'700'000'000, Tcp(51000, false));  // rows 0..3
    Add(doc, 1'700'000'000, arp);
    Add(doc, 1'700'000'002, Tcp(51000, true));
    Add(doc, 1'700'000'002, Tcp(51001, false));
    bar.CountNewPackets();
    EXPECT_EQ(bar.GetCountedPackets(), 4u);
    Add(doc, 1'700'000'003, Tcp(51000, false));  // rows 4 and 5: the first conversation
    Add(doc, 1'700'000'000,
        CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().PadTo(60).Build());
    bar.CountNewPackets();
    EXPECT_EQ(std::tuple(bar.GetCountedPackets(), bar.GetStatistics().GetPacketCount()),
              std::tuple(6u, 6u))
        << "only the new packets are counted";
    // What the bar changed row by row and point by point reads as a bar that counted them all.
    QTemporaryDir folder;
    CStatisticsBar fresh(doc, sink);
    fresh.show();
    const auto csv = [&folder](CStatisticsBar& from, CStatisticsBar::Page page) {
        const QString path = folder.filePath("page.csv");
        QFile file(path);
        return from.ExportTable(page, path) && file.open(QIODevice::ReadOnly)
                   ? file.readAll().toStdString()
                   : std::string("not written");
    };
    const auto points = [](CStatisticsBar& from) {
        from.FirstRowAt(0);  // brings the chart up to date
        std::vector<QList<QPointF>> all;
        for (QAbstractSeries* series : from.Chart()->chart()->series()) {
            all.push_back(static_cast<QLineSeries*>(series)->points());
        }
        return all;
    };
    for (const auto page :
         {CStatisticsBar::kProtocols, CStatisticsBar::kConversations, CStatisticsBar::kEndpoints}) {
        EXPECT_EQ(csv(bar, page), csv(fresh, page)) << page;
    }
    EXPECT_EQ(points(bar), points(fresh));

    // The biggest conversation is first: its rows, in either direction.
    QTableView* conversations = bar.Table(CStatisticsBar::kConversations);
    ASSERT_EQ(conversations->model()->rowCount(), 3);
    conversations->sortByColumn(5, Qt::DescendingOrder);  // packets A to B
    emit conversations->doubleClicked(conversations->model()->index(0, 0));
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0], (std::vector<int>{0, 2, 4}));
    // A click in the chart picks the first packet of its second; a quiet second picks none.
    const qint64 at = QDateTime::fromSecsSinceEpoch(1'700'000'002).toMSecsSinceEpoch() + 500;
    EXPECT_EQ(std::tuple(bar.FirstRowAt(at), bar.FirstRowAt(at - 1000), bar.FirstRowAt(at + 9000)),
              std::tuple(2, -1, -1));

    const QString protocols = folder.filePath("protocols.csv");
    ASSERT_TRUE(bar.ExportTable(CStatisticsBar::kProtocols, protocols));
    QFile file(protocols);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(),
              "Type,Packets,Bytes,Percent\r\nIPv4-TCP,4,240,66.7\r\nARP,1,60,16.7\r\n"
              "IPv4-UDP,1,60,16.7\r\n");
    // The wheel zooms in, and a double-click shows the whole capture again.
    bar.setCurrentIndex(CStatisticsBar::kTraffic);
    bar.resize(600, 400);
    QCoreApplication::processEvents();
    QChartView* chart = bar.Chart();
    const QPointF middle = chart->chart()->plotArea().center();
    QWheelEvent wheel(middle, chart->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(chart->viewport(), &wheel);
    EXPECT_TRUE(chart->chart()->isZoomed());
    QMouseEvent twice(QEvent::MouseButtonDblClick, middle, chart->mapToGlobal(middle),
                      Qt::LeftButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(chart->viewport(), &twice);
    EXPECT_FALSE(chart->chart()->isZoomed());

    const QString png = folder.filePath("traffic.png");
    ASSERT_TRUE(bar.ExportChart(png));
    QFile picture(png);
    ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
    EXPECT_EQ(picture.read(4), QByteArray("\x89PNG"));
    EXPECT_FALSE(bar.ExportTable(CStatisticsBar::kEndpoints, folder.filePath("none/x.csv")));

    doc.OnNewDocument();
    EXPECT_EQ(std::tuple(bar.GetCountedPackets(),
                         bar.Table(CStatisticsBar::kProtocols)->model()->rowCount()),
              std::tuple(0u, 0));
}

}  // namespace
}  // namespace wirelark
