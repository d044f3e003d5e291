// The main frame: menus and command ids, filter flags and their check marks, status panes, the
// adapter box, bar toggles, help and the product page, command hooks and dropped files.
#include "shell/main_frame.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDockWidget>
#include <QDropEvent>
#include <QEnterEvent>
#include <QFile>
#include <QHelpEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include "qt_printers.h"
#include "shell/adapter_bar.h"
#include "shell/adapter_combo.h"
#include "shell/command_ids.h"
#include "support/capture_fakes.h"

namespace wirelark {
namespace {

using test::CFakeDeviceSource;
using test::CRecordingMessageSink;

// What the user reads in a menu: "-" for a separator, otherwise the text and, after a tab, the
// shortcut when there is one.
QStringList Texts(const QMenu* menu) {
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (!action->isVisible()) {
            continue;
        }
        const QString shortcut = action->shortcut().toString();
        items << (action->isSeparator() ? QStringLiteral("-")
                  : shortcut.isEmpty()  ? action->text()
                                        : action->text() + '\t' + shortcut);
    }
    return items;
}

QList<int> CheckedIds(const QMenu* menu) {
    QList<int> ids;
    for (QAction* action : menu->actions()) {
        if (action->isChecked()) {
            ids << action->data().toInt();
        }
    }
    return ids;
}

class MainFrameTest : public testing::Test {
protected:
    MainFrameTest() : m_frame(&m_messages, &m_devices) {
        m_frame.SetUrlOpener([this](const QUrl& url) {
            m_opened << url;
            return true;
        });
    }

    CRecordingMessageSink m_messages;
    CFakeDeviceSource m_devices;
    CMainFrame m_frame;
    QList<QUrl> m_opened;
};

TEST_F(MainFrameTest, MenusShowTheirTextsAndShortcutsAndTheToolbarShowsNoToolTips) {
    QStringList bar;
    for (QAction* action : m_frame.menuBar()->actions()) {
        bar << action->text();
    }
    EXPECT_EQ(bar, (QStringList{"&File", "&View", "&Tools", "&Help"}));
    EXPECT_EQ(Texts(m_frame.FileMenu()),
              (QStringList{"&New\tCtrl+N", "&Open...\tCtrl+O", "&Save\tCtrl+S", "Save &As...", "-",
                           "&Print...\tCtrl+P", "Print Pre&view", "P&rint Setup...", "-",
                           "Recent File", "-", "E&xit"}));
    EXPECT_EQ(Texts(m_frame.ToolsMenu()), (QStringList{"&Setup", "-", "Pachet Filter"}));
    EXPECT_EQ(m_frame.ToolsMenu()->actions().last()->menu(), m_frame.PacketFilterMenu());

    QWidget* start = m_frame.ToolBar()->widgetForAction(m_frame.Action(cmd::kCaptureStart));
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), start->mapToGlobal(QPoint(2, 2)));
    m_frame.show();
    QCoreApplication::sendEvent(start, &tip);
    EXPECT_FALSE(QToolTip::isVisible()) << QToolTip::text().toStdString();
    QCoreApplication::sendEvent(m_frame.AdapterBar()->ProductButton(), &tip);
    EXPECT_EQ(QToolTip::text(), CMainFrame::ProductAddress()) << "the product button has one";
    QToolTip::hideText();

    EXPECT_EQ(m_frame.toolBarArea(m_frame.AdapterToolBar()), Qt::TopToolBarArea);
    EXPECT_EQ(m_frame.AdapterBar()->FilterButton()->menu(), m_frame.FilterMenu());
    EXPECT_EQ(m_frame.AdapterBar()->PortsButton()->menu(), m_frame.PortMenu());
}

TEST_F(MainFrameTest, OnlyOthersStartsCheckedAndAToggleFromEitherMenuShowsInBoth) {
    m_frame.UpdateCommandUI();
    m_frame.OnDropDownMenu(m_frame.FilterMenu());
    m_frame.OnDropDownMenu(m_frame.PortMenu());
    EXPECT_EQ(CheckedIds(m_frame.PacketFilterMenu()), QList<int>{cmd::kToolsOthers});
    EXPECT_EQ(CheckedIds(m_frame.FilterMenu()), QList<int>{cmd::kFilterOthers});
    EXPECT_TRUE(CheckedIds(m_frame.PortMenu()).isEmpty());

    int (CMainFrame::*const flags[])() const = {
        &CMainFrame::IsArpFiltered, &CMainFrame::IsIcmpFiltered, &CMainFrame::IsTcpFiltered,
        &CMainFrame::IsUdpFiltered, &CMainFrame::IsOthersFiltered};
    for (const bool fromTools : {false, true}) {
        for (int i = 0; i < 5; ++i) {
            const int toggled = (fromTools ? cmd::kToolsArp : cmd::kFilterArp) + i;
            const int mirrored = (fromTools ? cmd::kFilterArp : cmd::kToolsArp) + i;
            const int before = (m_frame.*flags[i])();
            m_frame.Action(toggled)->trigger();
            emit m_frame.PacketFilterMenu()->aboutToShow();
            emit m_frame.FilterMenu()->aboutToShow();
            EXPECT_EQ((m_frame.*flags[i])(), before == 0 ? 1 : 0) << toggled;
            EXPECT_EQ(m_frame.Action(mirrored)->isChecked(), before == 0) << toggled;
            EXPECT_EQ(m_frame.Action(toggled)->isChecked(), before == 0) << toggled;
        }
    }
}

TEST_F(MainFrameTest, PortPresetsToggleTheirFlagsAndCheckMarks) {
    int (CMainFrame::*const flags[])()
        const = {&CMainFrame::IsHttpOnly, &CMainFrame::IsSmtpOnly, &CMainFrame::IsPop3Only,
                 &CMainFrame::IsFtpOnly, &CMainFrame::IsTelnetOnly};
    for (int i = 0; i < 5; ++i) {
        m_frame.Action(cmd::kPortHttp + i)->trigger();
        emit m_frame.PortMenu()->aboutToShow();
        EXPECT_EQ((m_frame.*flags[i])(), 1) << i;
        EXPECT_EQ(CheckedIds(m_frame.PortMenu()).size(), i + 1);
        EXPECT_EQ(m_frame.IsPortFilterOn(), 1);
    }
    for (int i = 0; i < 5; ++i) {
        m_frame.Action(cmd::kPortHttp + i)->trigger();
    }
    EXPECT_EQ(m_frame.IsPortFilterOn(), 0);
    EXPECT_EQ(m_frame.GetFilterFlags().IsOthersFiltered(), 1) << "protocol flags untouched";
}

TEST_F(MainFrameTest, StatusPanesShowReadyAndTheCountersWithTheBlankBeforePercent) {
    EXPECT_EQ(m_frame.PaneText(0), "Ready");
    EXPECT_EQ(m_frame.PaneText(3), "");
    m_frame.SetBufferPane(42);
    m_frame.SetFilteredPane(7);
    m_frame.SetCapturedPane(12345);
    EXPECT_EQ(m_frame.PaneText(1), "Buffer: 42 %");
    EXPECT_EQ(m_frame.PaneText(2), "Filtered: 7");
    EXPECT_EQ(m_frame.PaneText(3), "Captured: 12345");

    // The toolbar sends no prompts.
    QWidget* newButton = m_frame.ToolBar()->widgetForAction(m_frame.Action(cmd::kFileNew));
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), newButton->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(newButton, &enter);
    EXPECT_EQ(m_frame.PaneText(0), "Ready");

    // A menu prompt covers "Ready" while shown.
    QStatusTipEvent prompt(m_frame.Action(cmd::kFileOpen)->statusTip());
    QCoreApplication::sendEvent(&m_frame, &prompt);
    EXPECT_EQ(m_frame.PaneText(0), "Open an existing document");
    QStatusTipEvent cleared{QString()};
    QCoreApplication::sendEvent(&m_frame, &cleared);
    EXPECT_EQ(m_frame.PaneText(0), "Ready");
}

TEST_F(MainFrameTest, AdapterBoxIsFilledInOrderWithTheFirstSelectedInTwentyPixelRows) {
    EXPECT_EQ(m_frame.GetSelectedAdapter(), "") << "empty box, no selection";
    m_frame.FillAdapterBox({"eth0", "Wireless adapter", "lo"});
    CAdapterCombo* box = m_frame.AdapterBar()->AdapterBox();
    EXPECT_EQ(box->itemDelegate()->sizeHint(QStyleOptionViewItem(), box->model()->index(0, 0)),
              QSize(100, 20));
    EXPECT_EQ(box->itemText(1), "Wireless adapter");
    EXPECT_EQ(m_frame.GetSelectedAdapter(), "eth0");
    box->setCurrentIndex(2);
    EXPECT_EQ(m_frame.GetSelectedAdapter(), "lo");

    m_frame.FillAdapterBox({});
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(m_frame.GetSelectedAdapter(), "");
}

TEST_F(MainFrameTest, DockingBarsHaveTheirTitlesPlacesAndReplaceablePages) {
    EXPECT_EQ(m_frame.ExplorerBar()->windowTitle(), "Packet explorer");
    EXPECT_EQ(m_frame.OutputBar()->windowTitle(), "Output");
    EXPECT_EQ(m_frame.dockWidgetArea(m_frame.ExplorerBar()), Qt::LeftDockWidgetArea);
    EXPECT_EQ(m_frame.dockWidgetArea(m_frame.OutputBar()), Qt::BottomDockWidgetArea);
    EXPECT_EQ(m_frame.OutputTabs()->tabText(0), "Packet Output");

    m_frame.show();
    EXPECT_EQ(m_frame.ExplorerBar()->width(), CMainFrame::kExplorerWidth);
    EXPECT_EQ(m_frame.OutputBar()->height(), CMainFrame::kOutputHeight);
    auto* explorer = new QWidget;
    auto* output = new QWidget;
    auto* view = new QWidget;
    m_frame.SetExplorerPage(explorer);
    m_frame.SetOutputPage(output);
    m_frame.SetView(view);
    ASSERT_EQ(m_frame.ExplorerTabs()->count(), 1);
    EXPECT_EQ(m_frame.ExplorerTabs()->widget(0), explorer);
    EXPECT_EQ(m_frame.ExplorerTabs()->tabText(0), "Packet Explorer");
    EXPECT_EQ(m_frame.OutputTabs()->widget(0), output);
    EXPECT_EQ(m_frame.GetView(), view);
}

TEST_F(MainFrameTest, BarTogglesFollowTheWindowsVisibility) {
    m_frame.show();
    struct Case {
        int id;
        QWidget* bar;
    };
    const Case cases[] = {{cmd::kViewToolbar, m_frame.ToolBar()},
                          {cmd::kViewStatusBar, m_frame.statusBar()},
                          {cmd::kViewExplorer, m_frame.ExplorerBar()},
                          {cmd::kViewOutput, m_frame.OutputBar()}};
    for (const Case& c : cases) {
        m_frame.UpdateCommandUI();
        EXPECT_TRUE(m_frame.Action(c.id)->isChecked()) << c.id;
        m_frame.Action(c.id)->trigger();
        EXPECT_TRUE(c.bar->isHidden()) << c.id;
        EXPECT_FALSE(m_frame.Action(c.id)->isChecked()) << c.id;
        m_frame.Action(c.id)->trigger();
        EXPECT_FALSE(c.bar->isHidden()) << c.id;
        // Hidden by other means (a floating bar's close button), the check mark still follows.
        c.bar->hide();
        emit m_frame.ViewMenu()->aboutToShow();
        EXPECT_FALSE(m_frame.Action(c.id)->isChecked()) << c.id;
        c.bar->show();
    }
}

TEST_F(MainFrameTest, CommandsWithoutHandlerAreDisabledAndHooksDecide) {
    m_frame.UpdateCommandUI();
    EXPECT_FALSE(m_frame.Action(cmd::kCaptureStart)->isEnabled());
    EXPECT_FALSE(m_frame.Action(cmd::kSetup)->isEnabled());
    EXPECT_TRUE(m_frame.Action(cmd::kFilterButton)->isEnabled());
    EXPECT_TRUE(m_frame.Action(cmd::kHelp)->isEnabled());

    int started = 0;
    bool capturing = false;
    m_frame.SetCommandHook(cmd::kCaptureStart, {[&] { ++started; }, [&] { return !capturing; }});
    EXPECT_TRUE(m_frame.Action(cmd::kCaptureStart)->isEnabled());
    m_frame.Action(cmd::kCaptureStart)->trigger();
    EXPECT_EQ(started, 1);
    capturing = true;
    m_frame.UpdateCommandUI();
    EXPECT_FALSE(m_frame.Action(cmd::kCaptureStart)->isEnabled());
    m_frame.OnCommand(cmd::kCaptureStart);
    EXPECT_EQ(started, 1) << "a disabled command does not run";
}

TEST_F(MainFrameTest, ProductButtonAndHelpOpenTheirAddressesOrSayWhatCouldNotBeOpened) {
    EXPECT_TRUE(CMainFrame::ManualPath().endsWith("/Wirelark.html"));
    m_frame.AdapterBar()->ProductButton()->click();
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_EQ(m_opened[0], QUrl(CMainFrame::ProductAddress()));

    QTemporaryDir folder("/tmp/wire lark XXXXXX");  // a blank in the path
    ASSERT_TRUE(folder.isValid());
    const QString manual = folder.filePath("Wirelark.html");
    m_frame.SetManualPath(manual);
    m_frame.Action(cmd::kHelp)->trigger();
    EXPECT_EQ(m_opened.size(), 1) << "a missing manual opens nothing";

    QFile file(manual);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    m_frame.Action(cmd::kHelp)->trigger();
    ASSERT_EQ(m_opened.size(), 2);
    EXPECT_EQ(m_opened[1], QUrl::fromLocalFile(manual));

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
    m_frame.show();
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
    ASSERT_EQ(dropped.size(), 1);
    EXPECT_EQ(dropped[0], (QStringList{"/tmp/a.cap", "/tmp/b.cap"}));
}

TEST_F(MainFrameTest, CaptionShowsTheDocumentTitleAndRecentFilesReplaceThePlaceholder) {
    EXPECT_EQ(m_frame.windowTitle(), "Untitled - Wirelark");
    m_frame.SetDocumentTitle("a.cap");
    EXPECT_EQ(m_frame.windowTitle(), "a.cap - Wirelark");

    EXPECT_FALSE(m_frame.Action(cmd::kFileMru1)->isEnabled()) << "greyed placeholder";
    m_frame.SetCommandHook(cmd::kFileMru1, {[] {}, {}});
    m_frame.SetCommandHook(cmd::kFileMru1 + 1, {[] {}, {}});
    m_frame.SetRecentFileTexts({"&1 /tmp/b.cap", "&2 /tmp/a.cap"});
    EXPECT_EQ(Texts(m_frame.FileMenu()).mid(9, 2), (QStringList{"&1 /tmp/b.cap", "&2 /tmp/a.cap"}));
    EXPECT_TRUE(m_frame.Action(cmd::kFileMru1)->isEnabled());
}

}  // namespace
}  // namespace wirelark
