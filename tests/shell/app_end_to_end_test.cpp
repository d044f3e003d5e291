// The whole program offscreen, as a user drives it: rows shown from a file, a click that fills
// the explorer tree and the hex output, a tree line that outlines its bytes, a live capture on a
// veth pair started and stopped with the toolbar's commands, and a frame captured while a file
// opens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidgetItemIterator>
#include <atomic>
#include <thread>

#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/wirelark_app.h"
#include "support/capture_fakes.h"
#include "support/frame_builder.h"
#include "support/test_network.h"
#include "views/hex_ctrl.h"
#include "views/packet_explorer_bar.h"
#include "views/packet_output_bar.h"
#include "views/packet_tree_ctrl.h"
#include "views/wirelark_view.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_profile.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_profile.path());
    }

    std::unique_ptr<CWirelarkApp> MakeApp(
        IDeviceSource* devices, std::function<ProgressCallback(const QString&)> progress = {}) {
        CWirelarkApp::Seams seams;
        seams.messages = &m_messages;
        seams.devices = devices;
        seams.askToSave = [](const QString&) { return QMessageBox::No; };
        seams.progress = std::move(progress);
        return std::make_unique<CWirelarkApp>(seams);
    }

    static CPacketTreeCtrl& Tree(CWirelarkApp& app) {
        auto* page =
            qobject_cast<CPacketExplorerBar*>(app.GetMainFrame()->ExplorerTabs()->widget(0));
        return page->TreeCtrl();
    }
    static CHexCtrl& Hex(CWirelarkApp& app) {
        auto* page = qobject_cast<CPacketOutputBar*>(app.GetMainFrame()->OutputTabs()->widget(0));
        return page->HexCtrl();
    }
    static QTreeWidgetItem* FindLine(CPacketTreeCtrl& tree, const QString& prefix) {
        for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) {
            if ((*it)->text(0).startsWith(prefix)) {
                return *it;
            }
        }
        return nullptr;
    }
    static void ClickRow(CWirelarkView& view, int row) {
        const QModelIndex index = view.model()->index(row, 0);
        view.selectionModel()->select(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        emit view.clicked(index);
    }

    QTemporaryDir m_profile;
    QTemporaryDir m_files;
    test::CRecordingMessageSink m_messages;
};

TEST_F(EndToEnd, AClickedRowFillsTreeAndHexAndATreeLineOutlinesItsBytes) {
    test::CFakeDeviceSource devices;
    devices.devices = {test::MakeDevice("eth0")};
    const auto tcp = CFrameBuilder().Ethernet().Ipv4().Tcp({.flags = 0x18}).Payload(6).Build();
    const auto udp = CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Payload(4).Build();
    {
        CWirelarkDoc saved;
        saved.AddPacket(1, tcp, static_cast<int>(tcp.size()), "10:00:00,001 ");
        saved.AddPacket(2, udp, static_cast<int>(udp.size()), "10:00:00,002 ");
        ASSERT_TRUE(saved.OnSaveDocument(m_files.filePath("two.cap").toStdString()).Succeeded());
    }
    auto app = MakeApp(&devices);
    ASSERT_TRUE(app->InitInstance({m_files.filePath("two.cap")}));
    CWirelarkView& view = *app->GetView();
    ASSERT_EQ(view.GetModel().rowCount(), 2);
    EXPECT_EQ(app->GetMainFrame()->windowTitle(), "two.cap - Wirelark");

    ClickRow(view, 0);
    CPacketTreeCtrl& tree = Tree(*app);
    CHexCtrl& hex = Hex(*app);
    ASSERT_NE(tree.RootNode(), nullptr);
    EXPECT_NE(tree.TcpFlagsNode(), nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(hex.Data().begin(), hex.Data().end()), tcp);

    const struct {
        const char* line;
        int first;
        int last;
    } outlines[] = {
        {"Ethernet Header", 0, 13}, {"Source Port", 34, 35}, {"Destination Port", 36, 37}};
    for (const auto& o : outlines) {
        QTreeWidgetItem* item = FindLine(tree, o.line);
        ASSERT_NE(item, nullptr) << o.line;
        tree.setCurrentItem(item);
        EXPECT_EQ(hex.HighlightFirst(), o.first) << o.line;
        EXPECT_EQ(hex.HighlightLast(), o.last) << o.line;
    }

    ClickRow(view, 1);  // another packet: its bytes, no outline, no flags
    EXPECT_EQ(std::vector<std::uint8_t>(hex.Data().begin(), hex.Data().end()), udp);
    EXPECT_EQ(hex.HighlightFirst(), -1);
    EXPECT_EQ(tree.TcpFlagsNode(), nullptr);

    ASSERT_TRUE(app->OnFileNew());  // the initial update empties both
    EXPECT_EQ(view.GetModel().rowCount(), 0);
    EXPECT_EQ(tree.topLevelItemCount(), 0);
    EXPECT_TRUE(hex.Data().empty());
}

// Serves the event loop until `done` or `limitMs` have passed.
template <typename Predicate>
bool ServeUntil(Predicate done, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// Frames reach the program up to one read timeout after they were sent.
void ServeOneReadTimeout() {
    ServeUntil([] { return false; }, 1200);
}

TEST_F(EndToEnd, LiveCaptureStartedFromTheToolbarShowsFilteredRowsUntilStopped) {
    const std::string why = test::CTestNetwork::WhyUnavailable();
    if (!why.empty()) {
        GTEST_SKIP() << "live capture test skipped: " << why;
    }
    test::CTestNetwork network;
    ASSERT_TRUE(network.Ok()) << network.Error();
    test::CFrameInjector injector(network.SendingEnd());
    ASSERT_TRUE(injector.Ok()) << injector.Error();

    CPcapDeviceSource devices(network.NetClassRoot());  // libpcap's own, inside the namespace
    auto app = MakeApp(&devices);
    ASSERT_TRUE(app->InitInstance({}));
    CMainFrame& frame = *app->GetMainFrame();
    CWirelarkView& view = *app->GetView();
    QComboBox* box = frame.findChild<QComboBox*>();
    ASSERT_NE(box, nullptr);
    const int capturing = box->findText(QString::fromStdString(network.CapturingEnd()));
    ASSERT_GE(capturing, 0) << "the veth end is offered in the adapter box";
    box->setCurrentIndex(capturing);

    frame.Action(cmd::kToolsArp + 2)->trigger();  // Tools, Pachet Filter, TCP: drop TCP
    frame.Action(cmd::kCaptureStart)->trigger();
    EXPECT_FALSE(frame.Action(cmd::kCaptureStart)->isEnabled());
    EXPECT_TRUE(frame.Action(cmd::kCaptureStop)->isEnabled());

    // Probe until the device is open. Probes still on their way would come through later, on
    // a loaded machine long after any fixed wait: a last probe of its own is waited for, and
    // frames keep their order, so none is left behind it when the list is emptied.
    const auto probe = [](std::uint16_t port) {
        return CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp({.sourcePort = port}).Build();
    };
    bool open = false;
    for (int i = 0; i < 250 && !open; ++i) {
        injector.Inject(probe(40001));
        open = ServeUntil([&] { return view.GetModel().rowCount() > 0; }, 20);
    }
    ASSERT_TRUE(open);
    ASSERT_TRUE(injector.Inject(probe(40002)));
    ASSERT_TRUE(ServeUntil([&] {
        const int rows = view.GetModel().rowCount();
        return view.GetModel().index(rows - 1, kColumnIpSource).data().toString() ==
               "192.168.0.1/40002";
    }));
    ASSERT_TRUE(app->OnFileNew());
    ASSERT_EQ(view.GetModel().rowCount(), 0);

    const auto arp =
        CFrameBuilder()
            .Ethernet({.dst = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, .etherType = 0x0806})
            .Arp()
            .PadTo(60)
            .Build();
    const std::vector<std::vector<std::uint8_t>> frames = {
        arp,
        CFrameBuilder().Ethernet().Ipv4({.protocol = 1}).Icmp().PadTo(60).Build(),
        CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build(),  // filtered
        CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Payload(20).Build(),
    };
    for (const auto& f : frames) {
        ASSERT_TRUE(injector.Inject(f));
    }
    ASSERT_TRUE(ServeUntil([&] { return view.GetModel().rowCount() >= 3; }));
    auto cell = [&](int row, int column) {
        return view.GetModel().index(row, column).data().toString();
    };
    EXPECT_EQ(cell(0, kColumnType), "ARP");
    EXPECT_EQ(cell(1, kColumnType), "IPv4-ICMP");
    EXPECT_EQ(cell(1, kColumnIpSource), "192.168.0.1/0");
    EXPECT_EQ(cell(2, kColumnType), "IPv4-UDP");
    EXPECT_EQ(cell(2, kColumnIpDest), "10.0.0.2/53");
    EXPECT_EQ(cell(2, kColumnLen), QString::number(frames[3].size()));
    EXPECT_EQ(cell(0, kColumnId), "1");
    EXPECT_EQ(frame.PaneText(2), "Filtered: 1");
    EXPECT_EQ(frame.PaneText(3), "Captured: 3");

    frame.Action(cmd::kCaptureStop)->trigger();
    EXPECT_TRUE(frame.Action(cmd::kCaptureStart)->isEnabled());
    const int rows = view.GetModel().rowCount();
    injector.Inject(arp);
    ServeOneReadTimeout();
    EXPECT_EQ(view.GetModel().rowCount(), rows) << "no rows after Stop";
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(EndToEnd, FramesCapturedWhileAFileOpensOrSavesWaitAndLandInTheDocumentAfterwards) {
    test::CFakeDeviceSource devices;
    devices.devices = {test::MakeDevice("eth0")};
    const auto udp = CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Payload(4).Build();
    const std::string path = m_files.filePath("two.cap").toStdString();
    {
        CWirelarkDoc saved;
        saved.AddPacket(1, udp, static_cast<int>(udp.size()), "10:00:00,001 ");
        saved.AddPacket(2, udp, static_cast<int>(udp.size()), "10:00:00,002 ");
        ASSERT_TRUE(saved.OnSaveDocument(path).Succeeded());
    }
    const auto arp = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
    const pcap_pkthdr header{{1'700'000'000, 5},
                             static_cast<bpf_u_int32>(arp.size()),
                             static_cast<bpf_u_int32>(arp.size())};
    std::thread worker;
    std::atomic<bool> delivered{false};
    bool bSendDuringFileWork = false;
    int servedDuringFileWork = -1;
    CWirelarkView* view = nullptr;
    // The capture worker hands a frame over while the file is read or written, and the progress
    // dialog lets events through, which serve the hand-over.
    auto app = MakeApp(&devices, [&](const QString&) -> ProgressCallback {
        return [&](std::uint64_t, std::uint64_t) {
            if (bSendDuringFileWork) {
                bSendDuringFileWork = false;
                if (worker.joinable()) {
                    worker.join();
                }
                delivered = false;
                worker = std::thread([&] {
                    view->Handover().OnCapturedPacket(header, arp);
                    delivered = true;
                });
                for (int i = 0; i < 5000 && !view->Handover().HasWaitingFrame(); ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                servedDuringFileWork = view->Handover().ServicePending();
                QApplication::processEvents();
            }
            return true;
        };
    });
    ASSERT_TRUE(app->InitInstance({}));
    view = app->GetView();
    const struct CJoin {
        CWirelarkView* view;
        std::thread& worker;
        ~CJoin() {
            if (worker.joinable()) {
                view->Handover().Close();  // releases a worker still waiting
                worker.join();
            }
        }
    } join{view, worker};

    bSendDuringFileWork = true;
    ASSERT_TRUE(app->OpenDocumentFile(m_files.filePath("two.cap")));
    EXPECT_EQ(servedDuringFileWork, 0) << "a frame was taken while the file opened";
    ASSERT_TRUE(ServeUntil([&] { return delivered.load(); }));
    ASSERT_EQ(view->GetModel().rowCount(), 3);
    EXPECT_EQ(view->GetModel().index(2, kColumnId).data().toString(), "3");
    EXPECT_EQ(view->GetModel().index(2, kColumnType).data().toString(), "ARP");
    EXPECT_EQ(app->GetMainFrame()->PaneText(3), "Captured: 1");
    EXPECT_TRUE(app->GetDocument().IsModified());

    bSendDuringFileWork = true;
    ASSERT_TRUE(app->OnFileSave());
    EXPECT_EQ(servedDuringFileWork, 0) << "a frame was taken while the file was written";
    ASSERT_TRUE(ServeUntil([&] { return delivered.load(); }));
    EXPECT_EQ(view->GetModel().rowCount(), 4);
    EXPECT_TRUE(app->GetDocument().IsModified()) << "the frame after the save is not in the file";
    CWirelarkDoc reread;
    ASSERT_TRUE(reread.OpenFile(path).Succeeded());
    EXPECT_EQ(reread.GetPacketList().size(), 3u);
}

}  // namespace
}  // namespace wirelark
