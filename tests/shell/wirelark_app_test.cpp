// The application, and the whole program offscreen as a user drives it: command line, layout,
// document prompts and messages, recent files, Lark, pcap and pcapng files opened, saved and
// cancelled every way, a clicked row, Start, a live capture and frames taken during file work.
#include "shell/wirelark_app.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPrinterInfo>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "qt_printers.h"
#include "shell/adapter_bar.h"
#include "shell/adapter_combo.h"
#include "shell/capture_filter_box.h"
#include "shell/command_ids.h"
#include "shell/command_line_info.h"
#include "shell/main_frame.h"
#include "support/capture_fakes.h"
#include "support/frame_builder.h"
#include "support/pcap_files.h"
#include "support/sample_frames.h"
#include "support/store_files.h"
#include "support/test_network.h"
#include "views/hex_ctrl.h"
#include "views/packet_explorer_bar.h"
#include "views/packet_output_bar.h"
#include "views/packet_tree_ctrl.h"
#include "views/wirelark_view.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;
using test::CRecordingMessageSink;

// Serves the event loop until `done` or `limitMs` have passed.
bool ServeUntil(const std::function<bool()>& done, int limitMs = 5000) {
    for (const QDeadlineTimer deadline(limitMs); !done() && !deadline.hasExpired();) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

TEST(CommandLineInfoTest, RequestsAreExactWordsAndEverythingElseIsAFile) {
    using Shell = CCommandLineInfo::Shell;
    const std::tuple<QStringList, Shell, QString, QString> cases[] = {
        {{}, Shell::FileNew, "", ""},
        {{"a.cap"}, Shell::FileOpen, "a.cap", ""},
        {{"/p", "/home/user/a.cap"}, Shell::FilePrint, "/home/user/a.cap", ""},
        {{"-p", "a.cap"}, Shell::FilePrint, "a.cap", ""},
        {{"/pt", "a.cap", "Laser", "drv", "lpt1"}, Shell::FilePrintTo, "a.cap", "Laser"},
        {{"-pt", "a.cap", "Laser"}, Shell::FilePrintTo, "a.cap", "Laser"},
        {{"/dde"}, Shell::FileDde, "", ""},
        {{"/P"}, Shell::FileOpen, "/P", ""},
        {{"/print"}, Shell::FileOpen, "/print", ""},
        {{"/pt"}, Shell::FilePrintTo, "", ""},
        {{"/p/a.cap"}, Shell::FileOpen, "/p/a.cap", ""},
        {{"/"}, Shell::FileOpen, "/", ""},
    };
    for (const auto& [arguments, command, file, printer] : cases) {
        const CCommandLineInfo info = CCommandLineInfo::Parse(arguments);
        EXPECT_EQ(std::tuple(info.m_nShellCommand, info.m_strFileName, info.m_strPrinterName),
                  std::tuple(command, file, printer))
            << arguments.join(' ').toStdString();
    }
}

// `count` 60-byte frames for pcap and pcapng files.
std::vector<test::CPcapPacket> PcapPackets(std::uint32_t count) {
    std::vector<test::CPcapPacket> packets;
    for (std::uint32_t i = 0; i < count; ++i) {
        packets.push_back({1700000000u + i, 1000u, 60u, std::vector<std::uint8_t>(60, i & 0xFF)});
    }
    return packets;
}

// Whether the file starts with a little-endian pcap magic, micro- or nanosecond.
bool IsPcap(const QString& path) {
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4) : QByteArray();
    return head == QByteArray("\xD4\xC3\xB2\xA1", 4) || head == QByteArray("\x4D\x3C\xB2\xA1", 4);
}

class WirelarkAppTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_profile.isValid() && m_files.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_profile.path());
        m_devices.devices = {test::MakeDevice("eth0"), test::MakeDevice("wlan0", "Wireless LAN")};
    }

    // An app not yet started whose dialogs, questions and progress the fixture answers.
    std::unique_ptr<CWirelarkApp> NewApp(CRecordingMessageSink& messages,
                                         IDeviceSource* devices = nullptr) {
        CWirelarkApp::Seams seams;
        seams.messages = &messages;
        seams.devices = devices != nullptr ? devices : &m_devices;
        seams.openFileName = [this] { return m_nextOpen; };
        seams.saveFileNameAndFilter = [this](const QString& suggested, QString& filter) {
            m_suggested = suggested;
            m_preselected = filter;
            filter = m_nextFilter.isEmpty() ? filter : m_nextFilter;
            return m_nextSave;
        };
        seams.askToSave = [this](const QString& text) {
            m_questions << text;
            return m_answer;
        };
        seams.progress = [this](const QString& label) {
            m_progressLabels << label;
            return [this](std::uint64_t, std::uint64_t) {
                ++m_progressCalls;
                if (m_duringFileWork) {
                    m_duringFileWork();
                }
                return m_cancelAtCall == 0 || m_progressCalls < m_cancelAtCall;
            };
        };
        return std::make_unique<CWirelarkApp>(seams);
    }
    std::unique_ptr<CWirelarkApp> MakeApp(const QStringList& arguments = {},
                                          IDeviceSource* devices = nullptr) {
        auto app = NewApp(m_messages, devices);
        EXPECT_TRUE(app->InitInstance(arguments));
        return app;
    }

    QString Write(const QString& name, const std::vector<std::uint8_t>& bytes) {
        test::WriteWholeFile(m_files.filePath(name).toStdString(), bytes);
        return m_files.filePath(name);
    }
    QString WriteLark(const QString& name, int count) {
        EXPECT_TRUE(test::WriteLarkFile(m_files.filePath(name).toStdString(), count));
        return m_files.filePath(name);
    }
    // Counts progress calls afresh, cancelling at the given one (1-based; 0: never).
    void CancelAt(int call) {
        m_progressLabels.clear();
        m_progressCalls = 0;
        m_cancelAtCall = call;
    }

    static void AddOnePacket(CWirelarkApp& app) {
        const int number = static_cast<int>(Packets(app)) + 1;
        ASSERT_TRUE(app.GetDocument().AddPacket(number, std::vector<std::uint8_t>(60, 1), 60, "t"));
    }
    static std::size_t Packets(CWirelarkApp& a) { return a.GetDocument().GetPacketList().size(); }
    static QString Title(const CWirelarkApp& app) { return app.GetMainFrame()->windowTitle(); }

    QTemporaryDir m_profile;
    QTemporaryDir m_files;
    CRecordingMessageSink m_messages;
    test::CFakeDeviceSource m_devices;
    QString m_nextOpen;
    QString m_nextSave;
    QString m_nextFilter;  // empty: the preselected one
    QString m_suggested;
    QString m_preselected;
    QStringList m_questions;
    QMessageBox::StandardButton m_answer = QMessageBox::No;
    QStringList m_progressLabels;
    int m_progressCalls = 0;
    int m_cancelAtCall = 0;
    std::function<void()> m_duringFileWork;  // at each progress call
};

TEST_F(WirelarkAppTest, StartsUntitledFittingTheScreenAndTheNextStartRestoresTheLayoutLeftAtExit) {
    for (const QStringList& arguments : {QStringList{}, QStringList{"/dde"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        auto app = MakeApp(arguments);
        CMainFrame& frame = *app->GetMainFrame();
        EXPECT_EQ(Title(*app), "Untitled - Wirelark");
        EXPECT_TRUE(frame.isVisible());
        EXPECT_TRUE(
            QGuiApplication::primaryScreen()->availableGeometry().contains(frame.frameGeometry()));
        const CAdapterCombo* box = frame.AdapterBar()->AdapterBox();
        EXPECT_EQ(box->itemText(1), "Wireless LAN");
        EXPECT_EQ(frame.GetSelectedAdapter(), "eth0");
        EXPECT_EQ(box->itemDelegate()->sizeHint({}, box->model()->index(0, 0)), QSize(100, 20));
        EXPECT_EQ(frame.GetView(), static_cast<QWidget*>(app->GetView()));
        for (const int id : {cmd::kCaptureStart, cmd::kSetup, cmd::kFilePrint,
                             cmd::kFilePrintPreview, cmd::kFilePrintSetup}) {
            EXPECT_TRUE(frame.Action(id)->isEnabled()) << id;
        }
        EXPECT_FALSE(frame.Action(cmd::kCaptureStop)->isEnabled());
        EXPECT_FALSE(frame.Action(cmd::kFileMru1)->isEnabled()) << "greyed Recent File";
        EXPECT_EQ(frame.PaneText(1), "Buffer: 0 %");
        EXPECT_TRUE(m_messages.Texts().empty());
    }
    EXPECT_TRUE(QDir(m_profile.path()).isEmpty()) << "start writes nothing";
    {
        auto app = MakeApp();
        CMainFrame& frame = *app->GetMainFrame();
        frame.resize(760, 500);
        frame.addDockWidget(Qt::RightDockWidgetArea, frame.OutputBar());
        ASSERT_TRUE(frame.close());
    }
    auto app = MakeApp();
    CMainFrame& frame = *app->GetMainFrame();
    EXPECT_EQ(frame.size(), QSize(760, 500));
    EXPECT_EQ(frame.dockWidgetArea(frame.OutputBar()), Qt::RightDockWidgetArea);
    EXPECT_EQ(frame.dockWidgetArea(frame.ExplorerBar()), Qt::LeftDockWidgetArea);
}

// A failed or cancelled open starts the program with nothing open; a print ends it once the file
// is open, the window never shown.
TEST_F(WirelarkAppTest, CommandLineFailuresAreReportedAndOnlyAFailedPrintEndsTheRun) {
    const QString printed = WriteLark("print.cap", 1);
    const QString garbage = Write("garbage.cap", std::vector<std::uint8_t>(40, 'x'));
    const bool bPrinters = !QPrinterInfo::availablePrinters().isEmpty();
    const std::tuple<bool, int, QStringList, std::vector<std::string>> cases[] = {
        {false, 0, {garbage}, {"Unexpected file format."}},
        {false, 2, {Write("big.pcap", test::MakePcap(PcapPackets(3000)))}, {}},
        {true, 0, {"/p", printed}, {"No printer is installed."}},
        {true, 0, {"-pt", printed, "Test Laser"}, {"The printer Test Laser is not installed."}},
    };
    for (const auto& [bPrint, cancelAt, arguments, texts] : cases) {
        if (bPrint && bPrinters) {
            continue;  // this machine has printers installed
        }
        SCOPED_TRACE(arguments.join(' ').toStdString());
        CRecordingMessageSink messages;
        auto app = NewApp(messages);
        CancelAt(cancelAt);
        EXPECT_EQ(app->InitInstance(arguments), !bPrint);
        EXPECT_EQ(app->ExitCode(), bPrint ? 1 : 0);
        EXPECT_EQ(messages.Texts(), texts);
        EXPECT_EQ(Packets(*app), bPrint ? 1u : 0u);
        if (!bPrint) {
            EXPECT_TRUE(app->GetMainFrame()->isVisible());
            EXPECT_EQ(Title(*app), "Untitled - Wirelark");
            EXPECT_EQ(app->RecentFiles().Count(), 0);
        }
    }
}

TEST_F(WirelarkAppTest, RecentFileListKeepsFourNewestFirstSurvivesARestartAndDropsGoneFiles) {
    QStringList paths;
    for (int i = 1; i <= 5; ++i) {
        paths << WriteLark(QStringLiteral("f%1.cap").arg(i), i);
    }
    {
        auto app = MakeApp();
        for (const QString& path : paths + QStringList{paths[2]}) {  // the third moves to the front
            ASSERT_TRUE(app->OpenDocumentFile(path));
        }
    }
    auto restarted = MakeApp();
    EXPECT_EQ(restarted->RecentFiles().Files(),
              (QStringList{paths[2], paths[4], paths[3], paths[1]}));
    QAction* second = restarted->GetMainFrame()->Action(cmd::kFileMru1 + 1);
    EXPECT_EQ(second->text(), "&2 " + paths[4]);
    second->trigger();
    EXPECT_EQ(Packets(*restarted), 5u);

    // An entry whose file is gone is reported and dropped.
    ASSERT_TRUE(QFile::remove(paths[1]));
    EXPECT_FALSE(restarted->OnOpenRecentFile(3));
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{(paths[1] + " was not found.").toStdString()});
    EXPECT_EQ(restarted->RecentFiles().Files(), (QStringList{paths[4], paths[2], paths[3]}));
}

TEST_F(WirelarkAppTest, ModifiedDocumentIsOfferedForSavingAndSaveKeepsItsPath) {
    auto app = MakeApp();
    AddOnePacket(*app);
    app->GetMainFrame()->Action(cmd::kFileOpen)->trigger();  // no file chosen
    EXPECT_TRUE(m_questions.isEmpty()) << "nothing is closed before a file is chosen";
    m_answer = QMessageBox::Cancel;
    EXPECT_FALSE(app->OnFileNew());
    EXPECT_EQ(m_questions, QStringList{"Save changes to Untitled?"});
    EXPECT_EQ(Packets(*app), 1u);
    EXPECT_FALSE(app->GetMainFrame()->close()) << "closing is refused too";

    m_nextSave = m_files.filePath("saved");
    ASSERT_TRUE(app->OnFileSave());
    EXPECT_EQ(m_suggested, "Untitled.cap");
    EXPECT_EQ(Title(*app), "saved.cap - Wirelark") << "default extension added";

    AddOnePacket(*app);
    m_nextSave.clear();  // a second Save must not ask for a name
    m_answer = QMessageBox::Yes;
    int updates = 0;
    app->GetDocument().AddUpdateListener([&updates] { ++updates; });
    EXPECT_TRUE(app->OnFileNew());
    EXPECT_EQ(updates, 1) << "one initial update";
    EXPECT_EQ(Packets(*app), 0u);
    ASSERT_TRUE(app->OpenDocumentFile(m_files.filePath("saved.cap")));
    EXPECT_EQ(Packets(*app), 2u) << "Yes saved the second packet";

    m_nextSave = m_files.filePath("no/such/folder/x.cap");
    EXPECT_FALSE(app->OnFileSaveAs());
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{(m_nextSave + " contains an invalid path.").toStdString()});
    EXPECT_EQ(Title(*app), "saved.cap - Wirelark");
    AddOnePacket(*app);
    m_answer = QMessageBox::No;
    EXPECT_TRUE(app->GetMainFrame()->close());
}

TEST(WirelarkAppTextTest, ErrorTextsNameTheFileAndTheCause) {
    using enum DocumentError;
    const std::tuple<DocumentError, int, const char*> cases[] = {
        {CannotOpen, EACCES, "Access to /a was denied."},
        {CannotOpen, EIO, "An unexpected error occurred while reading /a.\n\nwhy"},
        {CannotOpen, 0, "Failed to open document."},
        {CannotSave, ENOSPC, "There is not enough space on the disk."},
        {CannotSave, EROFS, "Access to /a was denied."},
        {CannotSave, EIO, "An unexpected error occurred while writing /a.\n\nwhy"},
        {CannotSave, 0, "Failed to save document."},
    };
    for (const auto& [error, number, text] : cases) {
        const auto errorText =
            error == CannotSave ? CWirelarkApp::SaveErrorText : CWirelarkApp::OpenErrorText;
        EXPECT_EQ(errorText("/a", {error, number, "why", ""}), text);
    }
}

// Every way of opening reads a capture by its content and leaves it open, or, refused or
// cancelled, leaves the previous document (bKept), title and recent files, saying `message`.
TEST_F(WirelarkAppTest, CapturesOpenEveryWayOrRefusedOrCancelledLeaveThePreviousDocument) {
    enum class Way { OpenCommand, CommandLine, Drop };
    const auto packets = PcapPackets(5);
    std::vector<std::uint8_t> cut = test::MakePcap(packets);
    cut.resize(cut.size() - 10);
    const QString previous = WriteLark("previous.cap", 2);
    WriteLark("big.cap", 3000);
    const std::tuple<const char*, Way, std::vector<std::uint8_t>, int, bool, int, const char*>
        cases[] = {
            {"micro.pcap", Way::OpenCommand, test::MakePcap(packets), 5, false, 0, ""},
            {"capture.pcapng", Way::Drop, test::MakePcapng(packets), 5, false, 0, ""},
            {"from-the-shell.pcap", Way::CommandLine, test::MakePcapng(packets), 5, false, 0, ""},
            {"short.pcap", Way::OpenCommand, cut, 4, false, 0, "after packet 4"},
            {"cooked.pcap", Way::OpenCommand,
             test::MakePcap(packets, {false, false, test::kLinkLinuxSll}), 2, true, 0, "LINUX_SLL"},
            {"big.pcap", Way::OpenCommand, test::MakePcap(PcapPackets(3000)), 2, true, 1, ""},
            {"big.pcap", Way::OpenCommand, {}, 2, true, 5, ""},
            {"big.cap", Way::OpenCommand, {}, 2, true, 1, ""},
            {"big.cap", Way::OpenCommand, {}, 2, true, 5, ""},
        };
    for (const auto& [name, way, bytes, rows, bKept, cancelAt, message] : cases) {
        SCOPED_TRACE(std::string(name) + " cancelled at call " + std::to_string(cancelAt));
        const QString path = bytes.empty() ? m_files.filePath(name) : Write(name, bytes);
        CRecordingMessageSink messages;
        auto app = NewApp(messages);
        ASSERT_TRUE(app->InitInstance(way == Way::CommandLine ? QStringList{path} : QStringList{}));
        ASSERT_TRUE(way == Way::CommandLine || app->OpenDocumentFile(previous));
        CancelAt(cancelAt);
        if (way == Way::OpenCommand) {
            m_nextOpen = path;
            app->GetMainFrame()->Action(cmd::kFileOpen)->trigger();
        } else if (way == Way::Drop) {
            emit app->GetMainFrame()->FilesDropped({previous, path});  // the open one first
        }
        m_cancelAtCall = 0;
        if (cancelAt != 0) {
            EXPECT_EQ(m_progressCalls, cancelAt);
            EXPECT_EQ(m_progressLabels, QStringList{QStringLiteral("Opening %1...").arg(name)});
        }
        const QString shown = bKept ? previous : path;
        EXPECT_EQ(app->GetView()->GetModel().rowCount(), rows);
        EXPECT_EQ(Title(*app), shown.section('/', -1) + " - Wirelark");
        EXPECT_EQ(app->RecentFiles()[0], shown);
        EXPECT_EQ(messages.Texts().size(), *message != '\0' ? 1u : 0u);
        EXPECT_THAT(messages.Texts(), testing::Each(testing::HasSubstr(message)));
    }
}

TEST_F(WirelarkAppTest, SaveAsWritesTheChosenFormatAddingItsExtensionLarkFilesOfferedFirst) {
    const QString pcapFilter = QString::fromLatin1(kPacketCapturesSaveFilter);
    const QString larkFilter = QString::fromLatin1(kLarkFilesFilter);
    const std::tuple<QString, QString, QString, bool> cases[] = {
        {"plain", pcapFilter, "plain.pcap", true},
        {"plain-lark", larkFilter, "plain-lark.cap", false},
        // A capture extension typed by the user says what the file is.
        {"typed.pcap", larkFilter, "typed.pcap", true},
        {"typed.cap", pcapFilter, "typed.cap", false},
        {"other.bin", pcapFilter, "other.bin", true},
    };
    const QString source = WriteLark("source.cap", 4);
    for (const auto& [typed, filter, name, bPcap] : cases) {
        SCOPED_TRACE(typed.toStdString());
        auto app = MakeApp();
        ASSERT_TRUE(app->OpenDocumentFile(source));
        m_nextSave = m_files.filePath(typed);
        m_nextFilter = filter;
        ASSERT_TRUE(app->OnFileSaveAs());
        EXPECT_EQ(m_preselected, larkFilter) << "a Lark document preselects its own format";
        const QString written = m_files.filePath(name);
        EXPECT_EQ(IsPcap(written), bPcap);
        EXPECT_EQ(app->GetDocument().GetPathName(), written.toStdString());
        EXPECT_EQ(app->GetDocument().GetSaveFormat(),
                  bPcap ? CaptureFileFormat::Pcap : CaptureFileFormat::Lark);
    }
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_EQ(CWirelarkApp::SaveFileFilters(), "Lark Files (*.cap);;Packet captures (*.pcap)");
    EXPECT_EQ(CWirelarkApp::OpenFileFilters(),
              "Lark Files (*.cap);;Packet captures (*.pcap *.pcapng);;All Files (*)");
}

// A capture opened from pcapng is saved as pcap under its own name without asking for one; a
// Save or Save As cancelled part way leaves the file as it was.
TEST_F(WirelarkAppTest, SaveOfAnOpenedPcapngWritesPcapToItsOwnFileUnlessCancelled) {
    const QString path = Write("own.pcapng", test::MakePcapng(PcapPackets(1500)));
    const auto before = test::ReadWholeFile(path.toStdString());
    auto app = MakeApp();
    ASSERT_TRUE(app->OpenDocumentFile(path));
    AddOnePacket(*app);
    m_nextSave = path;
    for (const bool bSaveAs : {false, true}) {
        CancelAt(3);
        EXPECT_FALSE(bSaveAs ? app->OnFileSaveAs() : app->OnFileSave()) << bSaveAs;
        EXPECT_EQ(m_progressCalls, 3);
        EXPECT_EQ(m_progressLabels, QStringList{"Saving own.pcapng..."});
        EXPECT_EQ(test::ReadWholeFile(path.toStdString()), before);
        EXPECT_TRUE(app->GetDocument().IsModified());
    }
    // Save As starts from the capture format and the file's own name.
    EXPECT_EQ(m_preselected, QString::fromLatin1(kPacketCapturesSaveFilter));
    EXPECT_EQ(m_suggested, path);

    CancelAt(0);
    m_nextSave.clear();
    ASSERT_TRUE(app->OnFileSave());
    EXPECT_TRUE(IsPcap(path));
    EXPECT_FALSE(app->GetDocument().IsModified());
    EXPECT_FALSE(QFile::exists(path + ".cap"));
    EXPECT_TRUE(m_messages.Texts().empty());
}

using EndToEnd = WirelarkAppTest;

TEST_F(EndToEnd, AClickedRowFillsTreeAndHexAndATreeLineOutlinesItsBytes) {
    const auto tcp = CFrameBuilder().Ethernet().Ipv4().Tcp({.flags = 0x18}).Payload(6).Build();
    auto app = MakeApp();
    ASSERT_TRUE(app->OpenDocumentFile(Write("tcp.pcap", test::MakePcap({{1, 0, 60, tcp}}))));
    CWirelarkView& view = *app->GetView();
    view.selectRow(0);
    emit view.clicked(view.model()->index(0, 0));

    CMainFrame& frame = *app->GetMainFrame();
    CPacketTreeCtrl& tree =
        qobject_cast<CPacketExplorerBar*>(frame.ExplorerTabs()->widget(0))->TreeCtrl();
    CHexCtrl& hex = qobject_cast<CPacketOutputBar*>(frame.OutputTabs()->widget(0))->HexCtrl();
    EXPECT_EQ(std::vector<std::uint8_t>(hex.Data().begin(), hex.Data().end()), tcp);
    const auto lines = tree.findItems("Source Port", Qt::MatchStartsWith | Qt::MatchRecursive);
    ASSERT_EQ(lines.size(), 1);
    tree.setCurrentItem(lines[0]);
    EXPECT_EQ(std::pair(hex.HighlightFirst(), hex.HighlightLast()), std::pair(34, 35));

    ASSERT_TRUE(app->OnFileNew());  // the initial update empties both
    EXPECT_EQ(tree.topLevelItemCount(), 0);
    EXPECT_TRUE(hex.Data().empty());
}

TEST_F(EndToEnd, StartOpensTheChosenDeviceByItsExactBytesEvenWhenTheyAreNotUtf8) {
    // Two names that differ only in bytes that are not UTF-8, and one whose description is not.
    const std::string names[] = {"eth0\xff", "eth0\xfe", "wlan0"};
    m_devices.devices = {test::MakeDevice(names[0]), test::MakeDevice(names[1]),
                         test::MakeDevice(names[2], "Caf\xe9 adapter")};
    auto app = MakeApp();
    CAdapterCombo* box = app->GetMainFrame()->AdapterBar()->AdapterBox();
    QAction* start = app->GetMainFrame()->Action(cmd::kCaptureStart);
    ASSERT_EQ(box->count(), 3);
    for (int index : {1, 0, 2}) {
        box->setCurrentIndex(index);
        const std::size_t before = m_devices.Opened().size();
        start->trigger();
        ASSERT_TRUE(ServeUntil([&] { return m_devices.Opened().size() > before; }))
            << "Start did nothing for entry " << index;
        // The failed opening ends the capture, which enables Start again by itself.
        ASSERT_TRUE(ServeUntil([&] { return start->isEnabled(); }));
        EXPECT_EQ(m_devices.Opened().back(), names[index]);
    }
}

TEST_F(EndToEnd, LiveCaptureStartedFromTheToolbarShowsFilteredRowsUntilStopped) {
    if (const std::string why = test::CTestNetwork::WhyUnavailable(); !why.empty()) {
        GTEST_SKIP() << "live capture test skipped: " << why;
    }
    test::CTestNetwork network;
    ASSERT_TRUE(network.Ok()) << network.Error();
    test::CFrameInjector injector(network.SendingEnd());
    ASSERT_TRUE(injector.Ok()) << injector.Error();

    CPcapDeviceSource devices(network.NetClassRoot());  // libpcap's own, inside the namespace
    auto app = MakeApp({}, &devices);
    CMainFrame& frame = *app->GetMainFrame();
    const CPacketListModel& rows = app->GetView()->GetModel();
    auto cell = [&](int row, int column) { return rows.index(row, column).data().toString(); };
    CAdapterCombo* box = frame.AdapterBar()->AdapterBox();
    box->setCurrentIndex(box->findText(QString::fromStdString(network.CapturingEnd())));
    ASSERT_GE(box->currentIndex(), 0) << "the veth end is offered in the adapter box";

    frame.Action(cmd::kToolsTcp)->trigger();  // drop TCP
    // The kernel drops ICMP: those frames are neither captured nor filtered.
    frame.CaptureFilterBar()->Box()->setEditText("not icmp");
    frame.Action(cmd::kCaptureStart)->trigger();
    EXPECT_FALSE(frame.Action(cmd::kCaptureStart)->isEnabled());
    EXPECT_TRUE(frame.Action(cmd::kCaptureStop)->isEnabled());

    // Probe until the device is open. Probes still on their way come through later, but frames
    // keep their order: the last rows are those of the frames sent after the probes.
    for (int i = 0; i < 250 && rows.rowCount() == 0; ++i) {
        injector.Inject(test::UdpFrame(40001, 9));
        ServeUntil([&] { return rows.rowCount() > 0; }, 20);
    }
    ASSERT_GT(rows.rowCount(), 0) << "the device never opened";
    for (const auto& f : {test::kArp, test::kIcmp, test::TcpFrame(80, 9), test::UdpFrame(53, 9)}) {
        ASSERT_TRUE(injector.Inject(f));
    }
    ASSERT_TRUE(
        ServeUntil([&] { return cell(rows.rowCount() - 1, kColumnIpSource) == "192.168.0.1/53"; }));
    const int n = rows.rowCount();
    EXPECT_EQ((QStringList{cell(n - 2, kColumnType), cell(n - 1, kColumnType), frame.PaneText(2),
                           frame.PaneText(3), frame.CaptureFilterBar()->Box()->itemText(0)}),
              (QStringList{"ARP", "IPv4-UDP", "Filtered: 1", QStringLiteral("Captured: %1").arg(n),
                           "not icmp"}));

    // A burst larger than the kernel's ring and the queue together, sent while this thread
    // serves nothing: the kernel drops the rest, which the pane shows while the capture runs.
    app->GetView()->SetBufferSetting(kMaxBufferSetting);
    const auto large =
        CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Payload(1472).Build();
    for (int i = 0; i < 60'000; ++i) {
        injector.Inject(large);
    }
    EXPECT_TRUE(ServeUntil([&] { return frame.PaneText(4) != "Dropped: 0"; }, 3000));

    frame.Action(cmd::kCaptureStop)->trigger();
    EXPECT_TRUE(frame.Action(cmd::kCaptureStart)->isEnabled());
    const std::uint64_t dropped = app->GetView()->GetCaptureEngine().GetStatistics().dropped;
    EXPECT_GT(dropped, 0u);
    const int stopped = rows.rowCount();
    EXPECT_EQ((QStringList{frame.PaneText(4), frame.PaneText(3), frame.PaneText(0)}),
              (QStringList{QStringLiteral("Dropped: %1").arg(dropped),
                           QStringLiteral("Captured: %1").arg(stopped),
                           QString::fromStdString(DroppedFramesNote(dropped))}));
    injector.Inject(test::kArp);
    ServeUntil([] { return false; }, 1200);  // frames come through up to one read timeout late
    EXPECT_EQ(rows.rowCount(), stopped) << "no rows after Stop";
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(EndToEnd, FramesCapturedWhileAFileOpensOrSavesWaitAndLandInTheDocumentAfterwards) {
    const auto udp = CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Payload(4).Build();
    const QString path = Write("two.pcap", test::MakePcap({{1, 0, 46, udp}, {2, 0, 46, udp}}));
    const auto arp = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
    const pcap_pkthdr header{{1'700'000'000, 5}, 60, 60};  // the padded ARP frame's length
    int servedDuringFileWork = -1;
    auto app = MakeApp();
    CWirelarkView* view = app->GetView();
    // At the first progress call the capture worker hands a frame over while the file is read or
    // written, and the progress dialog lets events through, which serve the hand-over.
    m_duringFileWork = [&] {
        if (m_progressCalls == 1) {
            view->Handover().OnCapturedPacket(header, arp);
            servedDuringFileWork = view->Handover().ServicePending();
            QApplication::processEvents();
        }
    };

    CancelAt(0);
    ASSERT_TRUE(app->OpenDocumentFile(path));
    EXPECT_EQ(servedDuringFileWork, 0) << "a frame was taken while the file opened";
    ASSERT_TRUE(ServeUntil([&] { return view->GetModel().rowCount() == 3; }));
    EXPECT_EQ(view->GetModel().index(2, kColumnId).data().toString(), "3");
    EXPECT_EQ(view->GetModel().index(2, kColumnType).data().toString(), "ARP");
    EXPECT_EQ(app->GetMainFrame()->PaneText(3), "Captured: 1");
    EXPECT_TRUE(app->GetDocument().IsModified());

    CancelAt(0);
    ASSERT_TRUE(app->OnFileSave());
    EXPECT_EQ(servedDuringFileWork, 0) << "a frame was taken while the file was written";
    ASSERT_TRUE(ServeUntil([&] { return view->GetModel().rowCount() == 4; }));
    EXPECT_TRUE(app->GetDocument().IsModified()) << "the frame after the save is not in the file";
    CWirelarkDoc reread;
    ASSERT_TRUE(reread.OpenFile(path.toStdString()).Succeeded());
    EXPECT_EQ(reread.GetPacketList().size(), 3u);
}

}  // namespace
}  // namespace wirelark
