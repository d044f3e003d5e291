// The main frame: menus, filter flags and their check marks, status panes, docking bars and their
// toggles, help and the product page, command hooks, dropped files and the capture filter box.
#include "shell/main_frame.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QDropEvent>
#include <QEnterEvent>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <map>

#include "qt_printers.h"
#include "shell/adapter_bar.h"
#include "shell/capture_filter_box.h"
#include "shell/command_ids.h"
#include "support/capture_fakes.h"

namespace wirelark {
namespace {

// What the user reads in a menu: "-" for a separator, otherwise the text and, after a tab, the
// shortcut when there is one.
QStringList Texts(const QWidget* menu) {
    QStringList items;
    for (QAction* action : menu->actions()) {
        const QString keys = action->shortcut().toString();
        if (action->isVisible()) {
            items << (action->isSeparator() ? "-"
                                            : action->text() + (keys.isEmpty() ? "" : "\t" + keys));
        }
    }
    return items;
}

class MainFrameTest : public testing::Test {
protected:
    MainFrameTest() : m_frame(&m_messages, &m_devices) {}

    test::CRecordingMessageSink m_messages;
    test::CFakeDeviceSource m_devices;
    CMainFrame m_frame;
};

TEST_F(MainFrameTest, MenusShowTheirTextsShortcutsAndPromptsAndTheToolbarNoToolTipsOrPrompts) {
    EXPECT_EQ(Texts(m_frame.menuBar()), (QStringList{"&File", "&View", "&Tools", "&Help"}));
    EXPECT_EQ(Texts(m_frame.FileMenu()),
              (QStringList{"&New\tCtrl+N", "&Open...\tCtrl+O", "&Save\tCtrl+S", "Save &As...", "-",
                           "&Print...\tCtrl+P", "Print Pre&view", "P&rint Setup...", "-",
                           "Recent File", "-", "E&xit"}));
    EXPECT_EQ(Texts(m_frame.ToolsMenu()), (QStringList{"&Setup", "-", "Pachet Filter"}));
    EXPECT_EQ(m_frame.ToolsMenu()->actions().last()->menu(), m_frame.PacketFilterMenu());

    // New has both a tool tip and a prompt to withhold.
    QWidget* button = m_frame.ToolBar()->widgetForAction(m_frame.Action(cmd::kFileNew));
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    m_frame.show();
    QCoreApplication::sendEvent(button, &tip);
    EXPECT_FALSE(QToolTip::isVisible()) << QToolTip::text().toStdString();
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), button->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_EQ(m_frame.PaneText(0), "Ready");
    QStatusTipEvent prompt(m_frame.Action(cmd::kFileOpen)->statusTip());  // a menu item's prompt
    QCoreApplication::sendEvent(&m_frame, &prompt);
    EXPECT_EQ(m_frame.PaneText(0), "Open an existing document");
    QStatusTipEvent cleared{QString()};
    QCoreApplication::sendEvent(&m_frame, &cleared);
    EXPECT_EQ(m_frame.PaneText(0), "Ready");
    QCoreApplication::sendEvent(m_frame.AdapterBar()->ProductButton(), &tip);
    EXPECT_EQ(QToolTip::text(), CMainFrame::ProductAddress()) << "the product button has one";
    QToolTip::hideText();

    EXPECT_EQ(m_frame.toolBarArea(m_frame.AdapterToolBar()), Qt::TopToolBarArea);
    EXPECT_EQ(m_frame.AdapterBar()->FilterButton()->menu(), m_frame.FilterMenu());
    EXPECT_EQ(m_frame.AdapterBar()->PortsButton()->menu(), m_frame.PortMenu());
}

TEST_F(MainFrameTest, EachFilterCommandTogglesOnlyItsFlagAndBothMenusShowItAtOnce) {
    std::int32_t CFilterFlags::*const flags[] = {
        &CFilterFlags::m_bArp,   &CFilterFlags::m_bIcmp,   &CFilterFlags::m_bTcp,
        &CFilterFlags::m_bUdp,   &CFilterFlags::m_bOthers, &CFilterFlags::m_bHttp,
        &CFilterFlags::m_bSmtp,  &CFilterFlags::m_bPop3,   &CFilterFlags::m_bFtp,
        &CFilterFlags::m_bTelnet};
    for (int f = 0; f < 10; ++f) {
        EXPECT_EQ(m_frame.GetFilterFlags().*flags[f], f == 4 ? 1 : 0) << "only Others starts set";
    }
    // Five commands from `first` on, the same five from `mirror` on, their flags from `flag` on.
    const int menus[][3] = {{cmd::kFilterArp, cmd::kToolsArp, 0},
                            {cmd::kToolsArp, cmd::kFilterArp, 0},
                            {cmd::kPortHttp, cmd::kPortHttp, 5}};
    for (const auto& [first, mirror, flag] : menus) {
        for (int i = 0; i < 5; ++i) {
            CFilterFlags expected = m_frame.GetFilterFlags();
            EXPECT_EQ(m_frame.Action(first + i)->isChecked(), expected.*flags[flag + i] != 0);
            expected.*flags[flag + i] ^= 1;
            m_frame.Action(first + i)->trigger();  // no menu is opened: the check marks are pushed
            for (int f = 0; f < 10; ++f) {
                EXPECT_EQ(m_frame.GetFilterFlags().*flags[f], expected.*flags[f]) << first + i;
            }
            const bool bOn = expected.*flags[flag + i] != 0;
            EXPECT_EQ(m_frame.Action(first + i)->isChecked(), bOn) << first + i;
            EXPECT_EQ(m_frame.Action(mirror + i)->isChecked(), bOn) << first + i;
        }
    }
}

// The pages put into them are found there by the end-to-end tests.
TEST_F(MainFrameTest, DockingBarsHaveTheirTitlesPlacesAndSizesAndEachBarFollowsItsToggle) {
    EXPECT_EQ((QStringList{m_frame.ExplorerBar()->windowTitle(), m_frame.ExplorerTabs()->tabText(0),
                           m_frame.OutputBar()->windowTitle(), m_frame.OutputTabs()->tabText(0)}),
              (QStringList{"Packet explorer", "Packet Explorer", "Output", "Packet Output"}));
    EXPECT_EQ(m_frame.dockWidgetArea(m_frame.ExplorerBar()), Qt::LeftDockWidgetArea);
    EXPECT_EQ(m_frame.dockWidgetArea(m_frame.OutputBar()), Qt::BottomDockWidgetArea);
    m_frame.show();
    EXPECT_EQ(m_frame.ExplorerBar()->width(), CMainFrame::kExplorerWidth);
    EXPECT_EQ(m_frame.OutputBar()->height(), CMainFrame::kOutputHeight);

    const std::pair<int, QWidget*> bars[] = {{cmd::kViewToolbar, m_frame.ToolBar()},
                                             {cmd::kViewStatusBar, m_frame.statusBar()},
                                             {cmd::kViewExplorer, m_frame.ExplorerBar()},
                                             {cmd::kViewOutput, m_frame.OutputBar()}};
    for (const auto& [id, bar] : bars) {
        EXPECT_TRUE(m_frame.Action(id)->isChecked()) << id;
        for (const bool bShown : {false, true}) {
            m_frame.Action(id)->trigger();
            EXPECT_EQ(bar->isVisible(), bShown) << id;
            EXPECT_EQ(m_frame.Action(id)->isChecked(), bShown) << id;
        }
        // Hidden by other means (a floating bar's close button), the check mark still follows.
        bar->hide();
        emit m_frame.ViewMenu()->aboutToShow();
        EXPECT_FALSE(m_frame.Action(id)->isChecked()) << id;
        bar->show();
    }

    // Beside them: Statistics after a separator, closed until asked for, then kept by the saved
    // layout like the others.
    const QStringList viewItems = Texts(m_frame.ViewMenu());
    EXPECT_EQ(viewItems.mid(viewItems.size() - 2), (QStringList{"-", "Statistics"}));
    QDockWidget* statistics = m_frame.StatisticsBar();
    QAction* toggle = m_frame.Action(cmd::kViewStatistics);
    EXPECT_EQ(std::tuple(statistics->windowTitle(), statistics->isVisible(), toggle->isChecked()),
              std::tuple(QString("Statistics"), false, false));
    toggle->trigger();
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::processEvents();  // laid out, judged, laid out again
    }
    EXPECT_TRUE(statistics->isVisible());
    EXPECT_EQ(statistics->width(), CMainFrame::kStatisticsWidth);
    const QByteArray layout = m_frame.saveState();
    toggle->trigger();
    EXPECT_FALSE(statistics->isVisible());
    ASSERT_TRUE(m_frame.restoreState(layout));
    EXPECT_TRUE(statistics->isVisible());
}

TEST_F(MainFrameTest, CommandsWithoutHandlerAreDisabledAndHooksDecide) {
    EXPECT_FALSE(m_frame.Action(cmd::kCaptureStart)->isEnabled());
    EXPECT_FALSE(m_frame.Action(cmd::kSetup)->isEnabled());
    EXPECT_TRUE(m_frame.Action(cmd::kFilterButton)->isEnabled());

    int started = 0;
    bool capturing = false;
    m_frame.SetCommandHook(cmd::kCaptureStart, {[&] { ++started; }, [&] { return !capturing; }});
    m_frame.Action(cmd::kCaptureStart)->trigger();
    EXPECT_EQ(started, 1) << "the hook enabled the command";
    capturing = true;
    m_frame.UpdateCommandUI();
    EXPECT_FALSE(m_frame.Action(cmd::kCaptureStart)->isEnabled());
    m_frame.OnCommand(cmd::kCaptureStart);
    EXPECT_EQ(started, 1) << "a disabled command does not run";
}

TEST_F(MainFrameTest, ProductButtonAndHelpOpenTheirAddressesOrSayWhatCouldNotBeOpened) {
    QList<QUrl> opened;
    m_frame.SetUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    m_frame.AdapterBar()->ProductButton()->click();
    EXPECT_EQ(opened, QList<QUrl>{QUrl(CMainFrame::ProductAddress())});

    QTemporaryDir folder("/tmp/wire lark XXXXXX");  // a blank in the path
    ASSERT_TRUE(folder.isValid());
    // Where an install puts the manual, unless it lies beside the program, as in a build tree.
    const QString bin = folder.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(CMainFrame::ManualPath(bin), folder.filePath("share/doc/wirelark/Wirelark.html"));
    ASSERT_TRUE(QFile(bin + "/Wirelark.html").open(QIODevice::WriteOnly));
    EXPECT_EQ(CMainFrame::ManualPath(bin), bin + "/Wirelark.html");

    const QString manual = folder.filePath("Wirelark.html");
    m_frame.SetManualPath(manual);
    m_frame.Action(cmd::kHelp)->trigger();
    EXPECT_EQ(opened.size(), 1) << "a missing manual opens nothing";

    ASSERT_TRUE(QFile(manual).open(QIODevice::WriteOnly));
    m_frame.Action(cmd::kHelp)->trigger();
    EXPECT_EQ(opened.last(), QUrl::fromLocalFile(manual));

    // Without a browser or viewer, each failure names what could not be opened.
    m_frame.SetUrlOpener([](const QUrl&) { return false; });
    m_frame.Action(cmd::kHelp)->trigger();
    m_frame.AdapterBar()->ProductButton()->click();
    const std::vector<std::string> expected{
        "The manual " + manual.toStdString() + " was not found.",
        "Could not open the manual " + manual.toStdString() + ": no viewer could be started.",
        "Could not open " + CMainFrame::ProductAddress().toStdString() +
            ": no web browser could be started."};
    EXPECT_EQ(m_messages.Texts(), expected);
}

TEST_F(MainFrameTest, DroppedLocalFilesAreReportedInOrder) {
    QList<QStringList> dropped;
    QObject::connect(&m_frame, &CMainFrame::FilesDropped,
                     [&dropped](const QStringList& paths) { dropped << paths; });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/a.cap"), QUrl("https://example.org/x.cap"),
                  QUrl::fromLocalFile("/tmp/b.cap")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_frame, &enter);
    EXPECT_TRUE(enter.isAccepted()) << "local files are welcome";
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_frame, &drop);
    EXPECT_EQ(dropped, QList<QStringList>{(QStringList{"/tmp/a.cap", "/tmp/b.cap"})});
}

// The capture filter box after the adapter bar: its colour while typing, and the filters that
// started a capture, most recent first, offered again at the next start of the program.
TEST(CaptureFilterBox, ShowsWhetherTheTextCompilesAndOffersTheFiltersThatStartedCaptures) {
    QTemporaryDir profile;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());
    test::CRecordingMessageSink messages;
    test::CFakeDeviceSource devices;
    const auto items = [](const QComboBox* box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i) {
            texts << box->itemText(i);
        }
        return texts;
    };
    {
        CMainFrame frame(&messages, &devices);
        CCaptureFilterBox* box = frame.CaptureFilterBar()->Box();
        const QLabel* label = frame.CaptureFilterBar()->findChild<QLabel*>();
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), "Capture filter");
        EXPECT_EQ(label->buddy(), box);
        const QList<QAction*> onBar = frame.AdapterToolBar()->actions();
        ASSERT_EQ(onBar.size(), 2);
        EXPECT_EQ(frame.AdapterToolBar()->widgetForAction(onBar[0]), frame.AdapterBar());
        EXPECT_EQ(frame.AdapterToolBar()->widgetForAction(onBar[1]), frame.CaptureFilterBar());

        const QColor plain = box->lineEdit()->palette().color(QPalette::Base);
        std::map<bool, QColor> tints;
        for (const auto& [text, valid] :
             {std::pair{"tcp prt 80", false}, {"tcp port 80", true}, {"ip6 and", false}}) {
            SCOPED_TRACE(text);
            box->setEditText(text);
            const QColor base = box->lineEdit()->palette().color(QPalette::Base);
            EXPECT_EQ(box->IsValid(), valid);
            EXPECT_NE(base, plain);
            EXPECT_EQ(box->lineEdit()->toolTip().isEmpty(), valid);
            EXPECT_EQ(tints.emplace(valid, base).first->second, base) << "one colour each";
        }
        EXPECT_NE(tints[true], tints[false]);
        box->setEditText("");
        EXPECT_TRUE(box->IsValid());
        EXPECT_EQ(box->lineEdit()->palette().color(QPalette::Base), plain);

        box->setEditText("udp");
        for (const char* used : {"port 53", "arp", "port 53", ""}) {
            frame.CaptureFilterUsed(used);
        }
        EXPECT_EQ(items(box), (QStringList{"port 53", "arp"}));
        EXPECT_EQ(frame.GetCaptureFilter(), "udp") << "the text being typed stays";
    }
    const CMainFrame again(&messages, &devices);
    EXPECT_EQ(items(again.findChild<CCaptureFilterBox*>()), (QStringList{"port 53", "arp"}));
}

}  // namespace
}  // namespace wirelark
