// The packet list view offscreen: its columns and colours, the intake of frames into rows and
// panes, the full buffer, rows of an opened file, and the row click.
#include "views/wirelark_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>

#include "store/wirelark_doc.h"
#include "support/capture_fakes.h"
#include "support/fake_view_frame.h"
#include "support/frame_builder.h"
#include "support/store_files.h"
#include "toolkit/profile.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

pcap_pkthdr HeaderFor(const std::vector<std::uint8_t>& frame, long microseconds = 7) {
    pcap_pkthdr header{};
    header.ts.tv_sec = 3600;
    header.ts.tv_usec = microseconds;
    header.caplen = static_cast<bpf_u_int32>(frame.size());
    header.len = static_cast<bpf_u_int32>(frame.size());
    return header;
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

    void Capture(const std::vector<std::uint8_t>& frame, long microseconds = 7) {
        View().OnCapturedPacket(HeaderFor(frame, microseconds), frame);
    }

    QString Cell(int row, int column) {
        return View().GetModel().index(row, column).data().toString();
    }

    QTemporaryDir m_config;
    CWirelarkDoc m_doc;
    test::CFakeViewFrame m_frame;
    test::CRecordingMessageSink m_sink;
    test::CFakeDeviceSource m_devices;
    std::unique_ptr<CWirelarkView> m_view;
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
    ASSERT_EQ(m_frame.adapterBoxFills.size(), 1u);
    EXPECT_EQ(m_frame.adapterBoxFills[0], (std::vector<std::string>{"eth0", "Wireless"}));

    view.OnInitialUpdate();  // File New: no second enumeration
    EXPECT_EQ(m_devices.calls, 1);
    EXPECT_EQ(m_frame.adapterBoxFills.size(), 1u);
    EXPECT_EQ(m_frame.treeClears, 2);
    EXPECT_EQ(m_frame.outputClears, 2);
}

TEST_F(ViewTest, ColoursComeFromTheProfile) {
    CProfile::WriteProfileInt("Color", "ListViewColor", 0x00302010);
    CProfile::WriteProfileInt("Color", "ListViewTextColor", 0x000000FF);
    CWirelarkView& view = View();
    EXPECT_EQ(view.palette().color(QPalette::Base), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(view.palette().color(QPalette::Text), QColor(0xFF, 0, 0));
    Capture(CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build());
    EXPECT_EQ(view.GetModel().index(0, 3).data(Qt::BackgroundRole).value<QColor>(),
              QColor(0x10, 0x20, 0x30));
}

TEST_F(ViewTest, CapturedFramesBecomeRowsWithTheirTextsAndPanes) {
    View();
    Capture(CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build(), 7);
    Capture(CFrameBuilder().Ethernet().Ipv4().Tcp().Build(), 250000);
    Capture(CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Build());
    Capture(CFrameBuilder().Ethernet().Ipv4({.protocol = 1}).Icmp().Build());
    Capture(CFrameBuilder().Ethernet().Ipv4({.protocol = 2}).Payload(8).Build());  // IGMP
    Capture(CFrameBuilder().Ethernet({.etherType = 0x86DD}).Payload(40).Build());  // IPv6
    Capture(CFrameBuilder().Ethernet({.etherType = 0x8035}).Payload(28).Build());  // RARP

    ASSERT_EQ(View().GetModel().rowCount(), 5);
    const struct {
        const char* id;
        const char* len;
        const char* type;
        const char* source;
        const char* dest;
    } rows[] = {
        {"1", "60", "ARP", "", ""},
        {"2", "54", "IPv4-TCP", "192.168.0.1/51000", "10.0.0.2/80"},
        {"3", "42", "IPv4-UDP", "192.168.0.1/53", "10.0.0.2/53"},
        {"4", "42", "IPv4-ICMP", "192.168.0.1/0", "10.0.0.2/0"},
        {"5", "42", "IPv4", "192.168.0.1/0", "10.0.0.2/0"},
    };
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(Cell(r, 0), rows[r].id);
        EXPECT_EQ(Cell(r, 2), rows[r].len);
        EXPECT_EQ(Cell(r, 3), "66.77.88.99.AA.BB");
        EXPECT_EQ(Cell(r, 4), "00.11.22.33.44.55");
        EXPECT_EQ(Cell(r, 5), rows[r].type) << "row " << r;
        EXPECT_EQ(Cell(r, 6), rows[r].source) << "row " << r;
        EXPECT_EQ(Cell(r, 7), rows[r].dest) << "row " << r;
    }
    EXPECT_TRUE(Cell(0, 1).endsWith(",000007 ")) << Cell(0, 1).toStdString();
    EXPECT_TRUE(Cell(1, 1).endsWith(",250000 ")) << Cell(1, 1).toStdString();
    EXPECT_EQ(m_frame.captured, 5);
    EXPECT_EQ(m_frame.filtered, 2);
    EXPECT_EQ(m_frame.buffer, 0);
    EXPECT_EQ(m_doc.GetPacketList().size(), 5u);
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(View().Counters().byteTotal, 60u + 54 + 42 + 42 + 42);
}

TEST_F(ViewTest, FiltersFollowTheFrameFlagsAtTheMomentOfEachFrame) {
    View();
    const auto tcpToHttp = CFrameBuilder().Ethernet().Ipv4().Tcp({.destinationPort = 80}).Build();
    const auto dns = CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Build();
    m_frame.flags.m_bHttp = 1;
    Capture(tcpToHttp);  // kept: port 80
    Capture(dns);        // dropped: no flagged port
    m_frame.flags.m_bTcp = 1;
    Capture(tcpToHttp);  // dropped: the protocol filter comes first
    EXPECT_EQ(View().GetModel().rowCount(), 1);
    EXPECT_EQ(m_frame.filtered, 2);
    EXPECT_EQ(m_frame.captured, 1);
}

TEST_F(ViewTest, AFullBufferStopsAtFrame662AndSaysSoEachTime) {
    View();
    const auto frame = CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(1514).Build();
    for (int i = 0; i < 661; ++i) {
        Capture(frame);
    }
    EXPECT_TRUE(m_sink.Texts().empty());
    EXPECT_EQ(View().GetModel().rowCount(), 661);
    EXPECT_EQ(m_frame.buffer, 100);
    Capture(frame);
    EXPECT_EQ(View().GetModel().rowCount(), 661);
    EXPECT_EQ(m_sink.Texts(), std::vector<std::string>{"Space in memory is Full!"});
    EXPECT_EQ(m_sink.Icons(), std::vector<MessageIcon>{MessageIcon::Information});
    EXPECT_EQ(m_frame.captured, 661);
    EXPECT_EQ(m_frame.filtered, 0);

    View().SetBufferSetting(1);  // a larger buffer takes frames again
    Capture(frame);
    EXPECT_EQ(View().GetModel().rowCount(), 662);
    View().SetBufferSetting(0);  // a smaller one is full at once
    Capture(frame);
    EXPECT_EQ(m_sink.Texts().size(), 2u);
}

TEST_F(ViewTest, AnOpenedFileShowsItsRowsWithZeroPanesAndCaptureNumbersOnFromThem) {
    test::CScratchFolder folder;
    {
        CWirelarkDoc saved;
        const auto frame = CFrameBuilder().Ethernet().Ipv4().Tcp().Build();
        for (int n = 1; n <= 3; ++n) {
            saved.AddPacket(n, frame, static_cast<int>(frame.size()), "10:00:00,001 ");
        }
        ASSERT_TRUE(saved.OnSaveDocument(folder.File("three.cap")).Succeeded());
    }
    View();
    Capture(CFrameBuilder().Ethernet().Ipv4().Tcp().Build());
    ASSERT_TRUE(m_doc.OnOpenDocument(folder.File("three.cap")).Succeeded());
    View().OnInitialUpdate();
    EXPECT_EQ(View().GetModel().rowCount(), 3);
    EXPECT_EQ(Cell(2, 0), "3");
    EXPECT_EQ(Cell(2, 1), "10:00:00,001 ");
    EXPECT_EQ(m_frame.captured, 0);
    EXPECT_EQ(m_frame.filtered, 0);
    EXPECT_EQ(m_frame.buffer, 0);
    Capture(CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().Build());
    EXPECT_EQ(Cell(3, 0), "4");
    EXPECT_EQ(m_frame.captured, 1);
}

TEST_F(ViewTest, AClickShowsTheLowestSelectedRowAndTheKeyboardShowsTheCurrentRow) {
    CWirelarkView& view = View();
    for (std::uint8_t i = 0; i < 5; ++i) {
        Capture(CFrameBuilder().Ethernet().Ipv4().Tcp().Payload(i).Build());
    }
    view.selectionModel()->select(view.model()->index(3, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.selectionModel()->select(view.model()->index(1, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(m_frame.shown.empty()) << "selection alone shows nothing";
    emit view.clicked(view.model()->index(3, 2));
    ASSERT_EQ(m_frame.shown.size(), 1u);
    EXPECT_EQ(m_frame.shown[0].number, 2);
    std::vector<std::uint8_t> expected;
    m_doc.FindPacket(2, expected);
    EXPECT_EQ(m_frame.shown[0].data, expected);
    EXPECT_EQ(m_frame.shown[0].data.size(), 55u);

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
    const auto captureRows = [this](int count) {
        for (int i = 0; i < count; ++i) {
            Capture(CFrameBuilder().Ethernet().Arp().Build());
        }
        QCoreApplication::processEvents();
    };
    QScrollBar* bar = view.verticalScrollBar();
    captureRows(100);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "an untouched list follows";
    bar->setValue(10);
    captureRows(20);
    EXPECT_EQ(bar->value(), 10) << "scrolled up, it stays";
    bar->setValue(bar->maximum());
    captureRows(20);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(view.rowAt(view.viewport()->height() - 2), 139) << "the last row is in view";

    view.OnInitialUpdate();  // as after opening a file of these rows
    captureRows(1);
    EXPECT_EQ(bar->value(), 0) << "an opened file is read from its first row";
}

TEST_F(ViewTest, StartWithoutAMatchingAdapterDoesNothing) {
    CWirelarkView& view = View();
    for (const char* chosen : {"", "Wireless ", "ETH0"}) {
        m_frame.selectedAdapter = chosen;
        view.OnCaptureStart();
        EXPECT_TRUE(view.IsStartEnabled()) << chosen;
        EXPECT_FALSE(view.IsStopEnabled()) << chosen;
    }
    EXPECT_TRUE(m_sink.Texts().empty());
}

}  // namespace
}  // namespace wirelark
