// The packet list view offscreen: its columns and colours, the intake of frames into rows and
// panes, the full buffer, rows after an opened file, and the row click.
#include "views/wirelark_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <tuple>

#include "capture/capture_filter.h"
#include "store/time_text.h"
#include "store/wirelark_doc.h"
#include "support/capture_fakes.h"
#include "support/fake_view_frame.h"
#include "support/frame_builder.h"
#include "support/pcap_files.h"
#include "support/store_files.h"
#include "toolkit/profile.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

std::vector<std::uint8_t> Arp() {
    return CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
}

class ViewTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_config.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        m_devices.devices = {test::MakeDevice("eth0"), test::MakeDevice("wlan0", "Wireless")};
    }

    CWirelarkView& View() {
        if (!m_view) {
            m_view = std::make_unique<CWirelarkView>(m_doc, m_frame, m_sink, m_devices);
            m_view->resize(900, 400);
            m_view->OnInitialUpdate();
        }
        return *m_view;
    }

    // Each frame is stamped one microsecond after the one before.
    void Capture(const std::vector<std::uint8_t>& frame, int times = 1) {
        const auto length = static_cast<bpf_u_int32>(frame.size());
        for (int i = 0; i < times; ++i) {
            View().OnCapturedPacket({{3600, ++m_microseconds}, length, length}, frame);
        }
        QCoreApplication::processEvents();
    }

    auto Panes() const { return std::tuple(m_frame.captured, m_frame.filtered, m_frame.buffer); }

    QString Cell(int row, int column) {
        return View().GetModel().index(row, column).data().toString();
    }

    QTemporaryDir m_config;
    CWirelarkDoc m_doc;
    test::CFakeViewFrame m_frame;
    test::CRecordingMessageSink m_sink;
    test::CFakeDeviceSource m_devices;
    std::unique_ptr<CWirelarkView> m_view;
    long m_microseconds = 0;
};

TEST_F(ViewTest, FirstStartShowsEightTitledColumnsWhiteOnBlackAndFillsTheAdapterBoxOnce) {
    CWirelarkView& view = View();
    const char* titles[] = {"ID         ",        "Time Stamp      ",  "Len    ",
                            "MAC Source       ",  "MAC Dest         ", "Type        ",
                            "IP Source/Port    ", "IP Dest/Port      "};
    ASSERT_EQ(view.model()->columnCount(), 8);
    for (int column = 0; column < 8; ++column) {
        EXPECT_EQ(view.model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
        EXPECT_EQ(view.horizontalHeader()->sectionSize(column),
                  view.fontMetrics().horizontalAdvance(titles[column]) * 15 / 10);
    }
    EXPECT_EQ(view.palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(view.palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_TRUE(view.showGrid());
    EXPECT_TRUE(view.horizontalHeader()->sectionsMovable());
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view.selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(m_frame.adapterBoxFills,
              (std::vector<std::vector<std::string>>{{"eth0", "Wireless"}}));
    view.OnInitialUpdate();  // File New: no second enumeration, but the panes are emptied
    EXPECT_EQ(m_frame.adapterBoxFills.size(), 1u);
    EXPECT_EQ(std::pair(m_frame.treeClears, m_frame.outputClears), std::pair(2, 2));
}

TEST_F(ViewTest, RowsTakeTheProfilesColoursAndOnlyTheIdIsLeftAligned) {
    CProfile::WriteProfileInt("Color", "ListViewColor", 0x00302010);
    CProfile::WriteProfileInt("Color", "ListViewTextColor", 0x000000FF);
    CWirelarkView& view = View();
    EXPECT_EQ(view.palette().color(QPalette::Base), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(view.palette().color(QPalette::Text), QColor(0xFF, 0, 0));
    Capture(Arp());
    const auto cell = [&](int column) { return view.GetModel().index(0, column); };
    EXPECT_EQ(cell(3).data(Qt::BackgroundRole).value<QColor>(), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(cell(kColumnId).data(Qt::TextAlignmentRole).toInt(),
              static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter));
    EXPECT_EQ(cell(kColumnType).data(Qt::TextAlignmentRole).toInt(),
              static_cast<int>(Qt::AlignHCenter | Qt::AlignVCenter));
}

TEST_F(ViewTest, CapturedFramesBecomeRowsWithTheirTextsAndPanesUnderTheFlagsOfTheMoment) {
    View();
    Capture(Arp());
    Capture(CFrameBuilder().Ethernet().Ipv4().Tcp().Build());
    Capture(CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Build());
    Capture(CFrameBuilder().Ethernet().Ipv4({.protocol = 1}).Icmp().Build());
    Capture(CFrameBuilder().Ethernet().Ipv4({.protocol = 2}).Payload(8).Build());  // IGMP
    Capture(CFrameBuilder().Ethernet({.etherType = 0x86DD}).Payload(40).Build());  // IPv6
    Capture(CFrameBuilder().Ethernet({.etherType = 0x8035}).Payload(28).Build());  // RARP

    // The texts are the decoder's and tested there; here each row shows its own packet.
    QStringList rows;
    for (int row = 0; row < View().GetModel().rowCount(); ++row) {
        rows << Cell(row, kColumnId) + " " + Cell(row, kColumnType);
    }
    EXPECT_EQ(rows, (QStringList{"1 ARP", "2 IPv4-TCP", "3 IPv4-UDP", "4 IPv4-ICMP", "5 IPv4"}));
    QStringList tcp;
    for (int column = 0; column < kColumnCount; ++column) {
        tcp << Cell(1, column);
    }
    EXPECT_EQ(tcp, (QStringList{"2", QString::fromStdString(FormatTimeText({3600, 2})), "54",
                                "66.77.88.99.AA.BB", "00.11.22.33.44.55", "IPv4-TCP",
                                "192.168.0.1/51000", "10.0.0.2/80"}));
    EXPECT_EQ(Panes(), std::tuple(5, 2, 0));
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(View().Counters().byteTotal, 60u + 54 + 42 + 42 + 42);

    // The filters follow the frame's flags at the moment of each frame.
    const auto tcpToHttp = CFrameBuilder().Ethernet().Ipv4().Tcp({.destinationPort = 80}).Build();
    m_frame.flags.m_bHttp = 1;
    Capture(tcpToHttp);                                                        // kept: port 80
    Capture(CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Build());  // no flagged port
    m_frame.flags.m_bTcp = 1;
    Capture(tcpToHttp);  // dropped: the protocol filter comes first
    EXPECT_EQ(View().GetModel().rowCount(), 6);
    EXPECT_EQ(Panes(), std::tuple(6, 4, 0));
}

TEST_F(ViewTest, AFullBufferStopsAtFrame662AndSaysSoEachTime) {
    View();
    const auto frame = CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(1514).Build();
    Capture(frame, 661);
    EXPECT_TRUE(m_sink.Texts().empty());
    // Captured frames come in a pass: the one that finds the buffer full ends it, and those
    // queued behind it are dropped unseen.
    for (int i = 0; i < 3; ++i) {
        View().Handover().OnCapturedPacket({{3600, 0}, 1514, 1514}, frame);
    }
    EXPECT_EQ(View().Handover().ServicePending(), 1);
    EXPECT_FALSE(View().Handover().HasWaitingFrame());
    EXPECT_EQ(View().GetModel().rowCount(), 661);
    EXPECT_EQ(m_sink.Texts(), std::vector<std::string>{"Space in memory is Full!"});
    EXPECT_EQ(m_sink.Icons(), std::vector<MessageIcon>{MessageIcon::Information});
    EXPECT_EQ(Panes(), std::tuple(661, 0, 100));

    View().SetBufferSetting(1);  // a larger buffer takes frames again
    Capture(frame);
    EXPECT_EQ(View().GetModel().rowCount(), 662);
    View().SetBufferSetting(0);  // a smaller one is full at once
    Capture(frame);
    EXPECT_EQ(m_sink.Texts().size(), 2u);
}

TEST_F(ViewTest, AClickShowsTheLowestSelectedRowAndTheKeyboardShowsTheCurrentRow) {
    CWirelarkView& view = View();
    for (std::uint8_t i = 0; i < 5; ++i) {
        Capture(CFrameBuilder().Ethernet().Ipv4().Tcp().Payload(i).Build());
    }
    for (const int row : {3, 1}) {
        view.selectionModel()->select(view.model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    EXPECT_TRUE(m_frame.shown.empty()) << "selection alone shows nothing";
    emit view.clicked(view.model()->index(3, 2));
    ASSERT_EQ(m_frame.shown.size(), 1u);
    EXPECT_EQ(m_frame.shown[0].number, 2);
    EXPECT_EQ(m_frame.shown[0].data, CFrameBuilder().Ethernet().Ipv4().Tcp().Payload(1).Build());

    view.selectionModel()->clearSelection();
    emit view.clicked(view.model()->index(0, 0));
    EXPECT_EQ(m_frame.shown.size(), 1u) << "a click with nothing selected shows nothing";

    view.setCurrentIndex(view.model()->index(2, 0));
    m_frame.shown.clear();
    for (const auto& [key, number] :
         {std::pair{Qt::Key_Down, 4}, std::pair{Qt::Key_End, 5}, std::pair{Qt::Key_Home, 1}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &press);
        ASSERT_FALSE(m_frame.shown.empty()) << key;
        EXPECT_EQ(m_frame.shown.back().number, number) << key;
    }
}

TEST_F(ViewTest, TheListFollowsNewRowsOnlyWhileScrolledToTheBottom) {
    CWirelarkView& view = View();
    view.show();
    QScrollBar* bar = view.verticalScrollBar();
    Capture(Arp(), 100);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "an untouched list follows";
    bar->setValue(10);
    Capture(Arp(), 20);
    EXPECT_EQ(bar->value(), 10) << "scrolled up, it stays";
    bar->setValue(bar->maximum());
    Capture(Arp(), 20);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(view.rowAt(view.viewport()->height() - 2), 139) << "the last row is in view";

    // As after opening a file of these rows: the panes start at zero and capture numbers on.
    view.OnInitialUpdate();
    EXPECT_EQ(Panes(), std::tuple(0, 0, 0));
    Capture(Arp());
    EXPECT_EQ(bar->value(), 0) << "an opened file is read from its first row";
    EXPECT_EQ(Cell(140, kColumnId), "141");
    EXPECT_EQ(m_frame.captured, 1);
}

// A pcap file cut short after it was opened: its lost rows show their number and length only,
// a click on one shows no bytes, the user hears of it once, and a save keeps what is left.
TEST_F(ViewTest, AFileCutShortUnderTheListShowsWhatItLostOnceAndSavesWhatItStillHolds) {
    const std::vector<std::uint8_t> tcp = CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();
    const std::vector<test::CPcapPacket> packets(3, {1'700'000'000, 5, 60, tcp});
    const std::vector<std::uint8_t> file = test::MakePcap(packets);
    const std::string path = m_config.filePath("capture.pcap").toStdString();
    test::WriteWholeFile(path, file);
    ASSERT_TRUE(m_doc.OpenFile(path).Succeeded());
    CWirelarkView& view = View();
    view.OnInitialUpdate();
    test::WriteWholeFile(path, {file.begin(), file.begin() + 24 + 76 + 40});

    EXPECT_EQ(std::tuple(Cell(0, kColumnType), Cell(1, kColumnId), Cell(1, kColumnLen),
                         Cell(1, kColumnTimeStamp), Cell(1, kColumnType)),
              std::tuple("IPv4-TCP", "2", "60", "", ""));
    view.selectionModel()->select(view.model()->index(2, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    emit view.clicked(view.model()->index(2, 0));
    ASSERT_EQ(m_frame.shown.size(), 1u);
    EXPECT_EQ(std::tuple(m_frame.shown[0].number, m_frame.shown[0].data.size()), std::tuple(3, 0u));
    QCoreApplication::processEvents();
    ASSERT_EQ(m_sink.Texts().size(), 1u);
    EXPECT_NE(m_sink.Texts()[0].find(path), std::string::npos);

    const std::string saved = m_config.filePath("saved.pcap").toStdString();
    ASSERT_TRUE(m_doc.SaveFile(saved, CaptureFileFormat::Pcap).Succeeded());
    CWirelarkDoc reopened;
    ASSERT_TRUE(reopened.OpenFile(saved).Succeeded());
    ASSERT_EQ(reopened.GetPacketList().size(), 3u);
    EXPECT_EQ(std::tuple(reopened.FindPacketBytes(1).size(), reopened.FindPacketBytes(2).size(),
                         reopened.GetPacketList()[2].GetLength()),
              std::tuple(60u, 0u, 60));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_sink.Texts().size(), 1u) << "once for the file";
}

TEST_F(ViewTest, StartWithoutAMatchingAdapterDoesNothing) {
    m_frame.selectedAdapter = "ETH0";  // names match exactly
    View().OnCaptureStart();
    EXPECT_TRUE(View().IsStartEnabled());
    EXPECT_FALSE(View().IsStopEnabled());
    EXPECT_TRUE(m_sink.Texts().empty());
}

// A filter is refused before any device is opened; one that compiles goes to the engine and is
// noted as used once the capture starts.
TEST_F(ViewTest, StartRefusesACaptureFilterThatDoesNotCompileAndNotesOneThatDoes) {
    m_frame.selectedAdapter = "eth0";
    m_frame.captureFilter = "tcp prt 80";
    View().OnCaptureStart();
    EXPECT_TRUE(View().IsStartEnabled());
    EXPECT_TRUE(m_devices.Opened().empty());
    ASSERT_EQ(m_sink.Texts().size(), 1u);
    EXPECT_EQ(m_sink.Texts()[0], "The capture filter \"tcp prt 80\" cannot be used: " +
                                     CheckCaptureFilter("tcp prt 80"));
    EXPECT_TRUE(m_frame.usedFilters.empty());

    m_frame.captureFilter = "tcp port 80";
    View().OnCaptureStart();
    EXPECT_EQ(m_frame.usedFilters, std::vector<std::string>{"tcp port 80"});
    View().OnCaptureStop();
    EXPECT_EQ(m_devices.Opened(), std::vector<std::string>{"eth0"});
}

}  // namespace
}  // namespace wirelark
