// The application: command line, document commands with their prompts and messages, dropped
// files, the recent-file list and the empty profile.
#include "shell/wirelark_app.h"

#include <gtest/gtest.h>

#include <QDockWidget>
#include <QFile>
#include <QGuiApplication>
#include <QPrinterInfo>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include "qt_printers.h"
#include "shell/adapter_bar.h"
#include "shell/adapter_combo.h"
#include "shell/command_ids.h"
#include "shell/command_line_info.h"
#include "shell/main_frame.h"
#include "support/capture_fakes.h"
#include "support/store_files.h"
#include "toolkit/profile.h"
#include "views/wirelark_view.h"

namespace wirelark {
namespace {

using test::CFakeDeviceSource;
using test::CRecordingMessageSink;

TEST(CommandLineInfoTest, RequestsAreExactWordsAndEverythingElseIsAFile) {
    using Shell = CCommandLineInfo::Shell;
    struct Case {
        QStringList arguments;
        Shell command;
        QString file;
        QString printer;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        const CCommandLineInfo info = CCommandLineInfo::Parse(c.arguments);
        const std::string trace = c.arguments.join(' ').toStdString();
        EXPECT_EQ(info.m_nShellCommand, c.command) << trace;
        EXPECT_EQ(info.m_strFileName, c.file) << trace;
        EXPECT_EQ(info.m_strPrinterName, c.printer) << trace;
    }
}

class WirelarkAppTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_profile.isValid());
        ASSERT_TRUE(m_files.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_profile.path());
        m_devices.devices = {test::MakeDevice("eth0"), test::MakeDevice("lo")};
    }

    // An app started with these arguments, its dialogs and questions answered from the fixture.
    std::unique_ptr<CWirelarkApp> MakeApp(const QStringList& arguments = {}) {
        CWirelarkApp::Seams seams = PlainSeams(m_messages);
        seams.openFileName = [this] { return m_nextOpen; };
        seams.saveFileName = [this](const QString& suggested) {
            m_suggested = suggested;
            return m_nextSave;
        };
        seams.askToSave = [this](const QString& text) {
            m_questions << text;
            return m_answer;
        };
        auto app = std::make_unique<CWirelarkApp>(seams);
        EXPECT_TRUE(app->InitInstance(arguments));
        return app;
    }

    static void AddOnePacket(CWirelarkApp& app) {
        const std::vector<std::uint8_t> frame(60, 1);
        ASSERT_TRUE(app.GetDocument().AddPacket(1, frame, 60, "t"));
    }

    // A capture file with `count` packets.
    QString WriteCapture(const QString& name, int count) {
        const QString path = m_files.filePath(name);
        EXPECT_TRUE(test::WriteLarkFile(path.toStdString(), count));
        return path;
    }

    // Real dialogs but no way to reach them: what the command line alone uses.
    CWirelarkApp::Seams PlainSeams(CRecordingMessageSink& messages) {
        CWirelarkApp::Seams seams;
        seams.messages = &messages;
        seams.devices = &m_devices;
        return seams;
    }
    std::unique_ptr<CWirelarkApp> MakePlainApp(CRecordingMessageSink& messages) {
        return std::make_unique<CWirelarkApp>(PlainSeams(messages));
    }

    QTemporaryDir m_profile;
    QTemporaryDir m_files;
    CRecordingMessageSink m_messages;
    CFakeDeviceSource m_devices;
    QString m_nextOpen;
    QString m_nextSave;
    QString m_suggested;
    QStringList m_questions;
    QMessageBox::StandardButton m_answer = QMessageBox::No;
};

TEST_F(WirelarkAppTest, StartsUntitledWithTheAdaptersWiredCommandsAndAnUntouchedProfile) {
    m_devices.devices = {test::MakeDevice("eth0"), test::MakeDevice("wlan0", "Wireless LAN")};
    for (const QStringList& arguments : {QStringList{}, QStringList{"/dde"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        auto app = MakeApp(arguments);
        CMainFrame& frame = *app->GetMainFrame();
        EXPECT_EQ(frame.windowTitle(), "Untitled - Wirelark");
        EXPECT_TRUE(frame.isVisible());
        EXPECT_EQ(frame.AdapterBar()->AdapterBox()->itemText(1), "Wireless LAN");
        EXPECT_EQ(frame.GetView(), static_cast<QWidget*>(app->GetView()));
        for (const int id : {cmd::kCaptureStart, cmd::kSetup, cmd::kFilePrint,
                             cmd::kFilePrintPreview, cmd::kFilePrintSetup}) {
            EXPECT_TRUE(frame.Action(id)->isEnabled()) << id;
        }
        EXPECT_FALSE(frame.Action(cmd::kCaptureStop)->isEnabled());
        EXPECT_EQ(frame.PaneText(1), "Buffer: 0 %");
        EXPECT_TRUE(m_messages.Texts().empty());
    }
    QSettings profile(QSettings::IniFormat, QSettings::UserScope, "Wirelark", "Wirelark  Light");
    EXPECT_TRUE(profile.allKeys().isEmpty()) << "start writes nothing";
}

TEST_F(WirelarkAppTest, FirstStartFitsTheScreenAndTheNextStartRestoresTheLayoutLeftAtExit) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    {
        auto app = MakeApp();
        CMainFrame& frame = *app->GetMainFrame();
        EXPECT_TRUE(available.contains(frame.frameGeometry())) << "first start fits the screen";
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

TEST_F(WirelarkAppTest, NewAndOpenKeepTheChosenAdapter) {
    const QString path = WriteCapture("keep.cap", 1);
    auto app = MakeApp();
    CMainFrame* frame = app->GetMainFrame();
    frame->AdapterBar()->AdapterBox()->setCurrentIndex(1);
    ASSERT_TRUE(app->OnFileNew());
    EXPECT_EQ(frame->GetSelectedAdapter(), "lo");
    ASSERT_TRUE(app->OpenDocumentFile(path));
    EXPECT_EQ(frame->GetSelectedAdapter(), "lo");
    EXPECT_EQ(m_devices.calls, 1) << "adapters are enumerated once per run";
}

TEST_F(WirelarkAppTest, CommandLineFailuresAreReportedAndOnlyAFailedPrintEndsTheRun) {
    const QString printed = WriteCapture("print.cap", 1);
    const QString missing = m_files.filePath("missing.cap");
    const QString garbage = m_files.filePath("garbage.cap");
    test::WriteWholeFile(garbage.toStdString(), std::vector<std::uint8_t>(40, 'x'));
    const bool bPrinters = !QPrinterInfo::availablePrinters().isEmpty();
    const struct {
        QStringList arguments;
        std::string message;
        bool bPrint;  // ends with failure after opening the file, the window never shown
    } cases[] = {
        {{garbage}, "Unexpected file format.", false},
        {{missing}, (missing + " was not found.").toStdString(), false},
        {{"/p", printed}, "No printer is installed.", true},
        {{"-pt", printed, "Wirelark Test Laser", "drv", "port"},
         "The printer Wirelark Test Laser is not installed.",
         true},
    };
    for (const auto& c : cases) {
        if (c.bPrint && bPrinters) {
            continue;  // this machine has printers installed
        }
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        CRecordingMessageSink messages;
        auto app = MakePlainApp(messages);
        EXPECT_EQ(app->InitInstance(c.arguments), !c.bPrint);
        EXPECT_EQ(app->ExitCode(), c.bPrint ? 1 : 0);
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(app->GetDocument().GetPacketList().size(), c.bPrint ? 1u : 0u);
        if (!c.bPrint) {
            EXPECT_TRUE(app->GetMainFrame()->isVisible());
            EXPECT_EQ(app->GetMainFrame()->windowTitle(), "Untitled - Wirelark");
        }
    }
}

TEST_F(WirelarkAppTest, TwoDroppedFilesLeaveTheSecondOpen) {
    const QString first = WriteCapture("one.cap", 1);
    const QString second = WriteCapture("two.cap", 2);
    auto app = MakeApp();
    emit app->GetMainFrame()->FilesDropped({first, second});
    EXPECT_EQ(app->GetMainFrame()->windowTitle(), "two.cap - Wirelark");
    EXPECT_EQ(app->RecentFiles().Files(), (QStringList{second, first}));
}

TEST_F(WirelarkAppTest, RecentFileListKeepsFourNewestFirstSurvivesARestartAndDropsGoneFiles) {
    QStringList paths;
    for (int i = 1; i <= 5; ++i) {
        paths << WriteCapture(QStringLiteral("f%1.cap").arg(i), i);
    }
    {
        auto app = MakeApp();
        for (const QString& path : paths) {
            ASSERT_TRUE(app->OpenDocumentFile(path));
        }
        ASSERT_TRUE(app->OpenDocumentFile(paths[2]));  // moves to the front, once
    }
    auto restarted = MakeApp();
    EXPECT_EQ(restarted->RecentFiles().Files(),
              (QStringList{paths[2], paths[4], paths[3], paths[1]}));
    QAction* second = restarted->GetMainFrame()->Action(cmd::kFileMru1 + 1);
    EXPECT_EQ(second->text(), "&2 " + paths[4]);
    EXPECT_TRUE(second->isEnabled());
    second->trigger();
    EXPECT_EQ(restarted->GetDocument().GetPacketList().size(), 5u);

    // An entry whose file is gone is reported and dropped.
    ASSERT_TRUE(QFile::remove(paths[1]));
    EXPECT_FALSE(restarted->OnOpenRecentFile(3));
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{(paths[1] + " was not found.").toStdString()});
    EXPECT_EQ(restarted->RecentFiles().Files(), (QStringList{paths[4], paths[2], paths[3]}));
}

TEST_F(WirelarkAppTest, ModifiedDocumentIsOfferedForSavingAndCancelKeepsIt) {
    auto app = MakeApp();
    AddOnePacket(*app);

    m_answer = QMessageBox::Cancel;
    EXPECT_FALSE(app->OnFileNew());
    EXPECT_EQ(m_questions, QStringList{"Save changes to Untitled?"});
    EXPECT_EQ(app->GetDocument().GetPacketList().size(), 1u);
    EXPECT_FALSE(app->GetMainFrame()->close()) << "closing is refused too";

    m_answer = QMessageBox::Yes;
    m_nextSave = m_files.filePath("saved");
    int updates = 0;
    app->GetDocument().AddUpdateListener([&updates] { ++updates; });
    EXPECT_TRUE(app->OnFileNew());
    EXPECT_EQ(updates, 1) << "one initial update";
    EXPECT_EQ(m_suggested, "Untitled.cap");
    EXPECT_TRUE(QFile::exists(m_files.filePath("saved.cap"))) << "default extension added";
    EXPECT_EQ(app->GetDocument().GetPacketList().size(), 0u);

    AddOnePacket(*app);
    m_answer = QMessageBox::No;
    EXPECT_TRUE(app->GetMainFrame()->close());
}

TEST_F(WirelarkAppTest, SaveKeepsThePathAndAFailedSaveIsReported) {
    auto app = MakeApp();
    AddOnePacket(*app);
    m_nextSave = m_files.filePath("kept.cap");
    ASSERT_TRUE(app->OnFileSave());
    EXPECT_EQ(app->GetMainFrame()->windowTitle(), "kept.cap - Wirelark");
    EXPECT_FALSE(app->GetDocument().IsModified());
    m_nextSave.clear();  // a second Save must not ask for a name
    EXPECT_TRUE(app->OnFileSave());

    m_nextSave = m_files.filePath("no/such/folder/x.cap");
    EXPECT_FALSE(app->OnFileSaveAs());
    ASSERT_EQ(m_messages.Texts().size(), 1u);
    EXPECT_EQ(m_messages.Texts()[0], (m_nextSave + " contains an invalid path.").toStdString());
    EXPECT_EQ(app->GetMainFrame()->windowTitle(), "kept.cap - Wirelark");
}

TEST_F(WirelarkAppTest, CancelledOpenDialogKeepsTheDocument) {
    auto app = MakeApp();
    AddOnePacket(*app);
    m_nextOpen.clear();
    app->GetMainFrame()->Action(cmd::kFileOpen)->trigger();
    EXPECT_EQ(app->GetDocument().GetPacketList().size(), 1u);
    EXPECT_TRUE(m_questions.isEmpty()) << "nothing is closed before a file is chosen";
}

TEST(WirelarkAppTextTest, ErrorTextsNameTheFileAndTheCause) {
    const struct {
        bool open;
        DocumentError error;
        int errorNumber;
        const char* reason;
        const char* text;
    } cases[] = {
        {true, DocumentError::UnexpectedFormat, 0, "bad tag", "Unexpected file format."},
        {true, DocumentError::CannotOpen, ENOENT, "x", "/d/a.cap was not found."},
        {true, DocumentError::CannotOpen, EACCES, "x", "Access to /d/a.cap was denied."},
        {true, DocumentError::CannotOpen, EIO, "Input/output error",
         "An unexpected error occurred while reading /d/a.cap.\n\nInput/output error"},
        {true, DocumentError::CannotOpen, 0, "", "Failed to open document."},
        {false, DocumentError::CannotSave, ENOSPC, "x", "There is not enough space on the disk."},
        {false, DocumentError::CannotSave, EROFS, "x", "Access to /d/a.cap was denied."},
        {false, DocumentError::CannotSave, EIO, "Input/output error",
         "An unexpected error occurred while writing /d/a.cap.\n\nInput/output error"},
        {false, DocumentError::CannotSave, 0, "", "Failed to save document."},
    };
    for (const auto& c : cases) {
        DocumentOutcome outcome;
        outcome.error = c.error;
        outcome.errorNumber = c.errorNumber;
        outcome.reason = c.reason;
        EXPECT_EQ(c.open ? CWirelarkApp::OpenErrorText("/d/a.cap", outcome)
                         : CWirelarkApp::SaveErrorText("/d/a.cap", outcome),
                  c.text);
    }
}

}  // namespace
}  // namespace wirelark
