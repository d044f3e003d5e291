// The main frame's construction, commands and update handlers.
#include "shell/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "capture/capture_filter.h"
#include "shell/adapter_bar.h"
#include "shell/adapter_combo.h"
#include "shell/adapter_info_dlg.h"
#include "shell/capture_filter_box.h"
#include "shell/command_ids.h"
#include "shell/shell_icons.h"
#include "toolkit/message_box_sink.h"
#include "toolkit/profile.h"
#include "views/packet_explorer_bar.h"
#include "views/packet_output_bar.h"

namespace wirelark {
namespace {

using Id = CShellIcons::Id;
using Flag = std::int32_t CFilterFlags::*;

// What a command shows: its text, its status-bar prompt, its shortcut and its picture.
struct CCommandText {
    int id;
    const char* text;
    const char* prompt = "";
    int shortcut = 0;  // a combined key, 0 for none
    std::optional<Id> icon = std::nullopt;
    bool bCheckable = false;
};

constexpr int Ctrl(Qt::Key key) {
    return (Qt::CTRL | key).toCombined();
}

const CCommandText kCommandTexts[] = {
    {cmd::kCaptureStart, "Start", "", 0, Id::Start},
    {cmd::kCaptureStop, "Stop", "", 0, Id::Stop},
    {cmd::kAdapterInfo, "View all network adapters", "", 0, Id::Adapters},
    {cmd::kFileNew, "&New", "Create a new document", Ctrl(Qt::Key_N), Id::New},
    {cmd::kFileOpen, "&Open...", "Open an existing document", Ctrl(Qt::Key_O), Id::Open},
    {cmd::kFileSave, "&Save", "Save the active document", Ctrl(Qt::Key_S), Id::Save},
    {cmd::kFileSaveAs, "Save &As...", "Save the active document with a new name"},
    {cmd::kFilePrint, "&Print...", "Print the active document", Ctrl(Qt::Key_P), Id::Print},
    {cmd::kFilePrintPreview, "Print Pre&view", "Display full pages"},
    {cmd::kFilePrintSetup, "P&rint Setup...", "Change the printer and printing options"},
    {cmd::kAppExit, "E&xit", "Quit the application; prompts to save documents"},
    {cmd::kViewToolbar, "&Toolbar", "Show or hide the toolbar", 0, std::nullopt, true},
    {cmd::kViewStatusBar, "&Status Bar", "Show or hide the status bar", 0, std::nullopt, true},
    {cmd::kViewExplorer, "Packet Explorer", "", 0, std::nullopt, true},
    {cmd::kViewOutput, "Packet Output", "", 0, std::nullopt, true},
    {cmd::kViewStatistics, "Statistics", "Show or hide the Statistics bar", 0, std::nullopt, true},
    {cmd::kSetup, "&Setup"},
    {cmd::kHelp, "&Help", "Display help for current task or command"},
    {cmd::kAppAbout, "&About Wirelark...",
     "Display program information, version number and copyright", 0, Id::About},
    {cmd::kProductPage, "Wirelark", "", 0, Id::Product},
    {cmd::kFilterButton, "Packet Filter", "", 0, Id::Filter},
    {cmd::kPortsButton, "Ports", "", 0, Id::Ports},
};

// The fifteen filter commands: Tools, "Pachet Filter" and the FILTER menu toggle the same five
// protocol flags, the PORT menu the five port flags.
struct CFlagCommand {
    int id;
    const char* text;
    Flag flag;
};

const CFlagCommand kToolsFilterCommands[] = {
    {cmd::kToolsArp, "ARP", &CFilterFlags::m_bArp},
    {cmd::kToolsIcmp, "ICMP", &CFilterFlags::m_bIcmp},
    {cmd::kToolsTcp, "TCP", &CFilterFlags::m_bTcp},
    {cmd::kToolsUdp, "UDP", &CFilterFlags::m_bUdp},
    {cmd::kToolsOthers, "Others...", &CFilterFlags::m_bOthers},
};
const CFlagCommand kFilterMenuCommands[] = {
    {cmd::kFilterArp, "&ARP", &CFilterFlags::m_bArp},
    {cmd::kFilterIcmp, "&ICMP", &CFilterFlags::m_bIcmp},
    {cmd::kFilterTcp, "&TCP", &CFilterFlags::m_bTcp},
    {cmd::kFilterUdp, "&UDP", &CFilterFlags::m_bUdp},
    {cmd::kFilterOthers, "&Others", &CFilterFlags::m_bOthers},
};
const CFlagCommand kPortMenuCommands[] = {
    {cmd::kPortHttp, "CAPTURE ONLY HTTP PACKETS", &CFilterFlags::m_bHttp},
    {cmd::kPortSmtp, "CAPTURE ONLY SMTP PACKETS", &CFilterFlags::m_bSmtp},
    {cmd::kPortPop3, "CAPTURE ONLY POP3 PACKETS", &CFilterFlags::m_bPop3},
    {cmd::kPortFtp, "CAPTURE ONLY FTP PACKETS", &CFilterFlags::m_bFtp},
    {cmd::kPortTelnet, "CAPTURE ONLY TELNET PACKETS", &CFilterFlags::m_bTelnet},
};

const QString kLayoutSection = QStringLiteral("Window");
const QString kCaptureFilterSection = QStringLiteral("Capture Filters");
const QString kCaptureFilterEntry = QStringLiteral("Filter");
const QString kGeometryEntry = QStringLiteral("Geometry");
const QString kStateEntry = QStringLiteral("Layout");

}  // namespace

QString CMainFrame::ManualPath(const QString& programFolder) {
    const QDir folder(programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                              : programFolder);
    const QString beside = folder.filePath(QStringLiteral("Wirelark.html"));
    if (QFileInfo::exists(beside)) {
        return beside;
    }
    return QDir::cleanPath(folder.filePath(QStringLiteral("../share/doc/wirelark/Wirelark.html")));
}

CMainFrame::CMainFrame(IMessageSink* messages, IDeviceSource* devices, QWidget* parent)
    : QMainWindow(parent),
      m_pMessages(messages),
      m_pDevices(devices != nullptr ? devices : &DefaultDeviceSource()),
      m_opener(DesktopUrlOpener()) {
    if (m_pMessages == nullptr) {
        m_pOwnMessages = std::make_unique<CMessageBoxSink>(this);
        m_pMessages = m_pOwnMessages.get();
    }
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(CShellIcons::ProgramIcon());
    setAcceptDrops(true);
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    // Stands where the packet list goes until it is set with SetView.
    auto* placeholder = new QFrame(this);
    placeholder->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    placeholder->setAutoFillBackground(true);
    placeholder->setBackgroundRole(QPalette::Base);
    setCentralWidget(placeholder);

    CreateCommands();
    CreateMenus();
    CreateToolBars();
    CreateStatusBar();
    CreateDockingBars();
    ConnectBarCommands();
    SetDocumentTitle(QStringLiteral("Untitled"));

    // Bars hidden by other means (a floating bar's close button) show in their check marks.
    for (QWidget* bar : std::initializer_list<QWidget*>{m_pToolBar, m_pExplorerBar, m_pOutputBar,
                                                        m_pStatisticsBar}) {
        bar->installEventFilter(this);
    }
    m_bCreated = true;
    UpdateCommandUI();
    resize(1000, 700);
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::AddCommand(int id, const QString& text, const QString& prompt,
                                const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setData(id);
    action->setStatusTip(prompt);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    action->setIconVisibleInMenu(false);
    m_commands[id].action = action;
    return action;
}

void CMainFrame::CreateCommands() {
    for (const CCommandText& c : kCommandTexts) {
        QAction* action =
            AddCommand(c.id, QString::fromLatin1(c.text), QString::fromLatin1(c.prompt),
                       c.shortcut != 0 ? QKeySequence(c.shortcut) : QKeySequence());
        if (c.icon) {
            action->setIcon(CShellIcons::Icon(*c.icon));
        }
        action->setCheckable(c.bCheckable);
    }
    for (int i = 0; i < cmd::kRecentFileCount; ++i) {
        AddCommand(cmd::kFileMru1 + i, QStringLiteral("Recent File"),
                   QStringLiteral("Open this document"));
    }
    for (const auto& table : {std::span(kToolsFilterCommands), std::span(kFilterMenuCommands),
                              std::span(kPortMenuCommands)}) {
        for (const CFlagCommand& c : table) {
            AddCommand(c.id, QString::fromLatin1(c.text))->setCheckable(true);
            Command& command = m_commands[c.id];
            command.onCommand = [this, flag = c.flag] { ToggleFlag(flag); };
            command.isChecked = [this, flag = c.flag] { return m_flags.*flag != 0; };
        }
    }
    Action(cmd::kProductPage)->setToolTip(ProductAddress());

    m_commands[cmd::kAdapterInfo].onCommand = [this] { OnAdapterInfo(); };
    m_commands[cmd::kAppExit].onCommand = [this] { close(); };
    m_commands[cmd::kHelp].onCommand = [this] { OnHelp(); };
    m_commands[cmd::kProductPage].onCommand = [this] { OpenWebPage(ProductAddress()); };
    // The two buttons only open their menus.
    m_commands[cmd::kFilterButton].onCommand = [] {};
    m_commands[cmd::kPortsButton].onCommand = [] {};
}

void CMainFrame::ConnectBarCommands() {
    const std::pair<int, QWidget*> bars[] = {{cmd::kViewToolbar, m_pToolBar},
                                             {cmd::kViewStatusBar, statusBar()},
                                             {cmd::kViewExplorer, m_pExplorerBar},
                                             {cmd::kViewOutput, m_pOutputBar},
                                             {cmd::kViewStatistics, m_pStatisticsBar}};
    for (const auto& [id, bar] : bars) {
        m_commands[id].onCommand = [this, bar = bar] { ToggleBar(bar); };
        m_commands[id].isChecked = [bar = bar] { return !bar->isHidden(); };
    }
}

void CMainFrame::CreateMenus() {
    m_pFileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    for (const int id : {cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, cmd::kFileSaveAs}) {
        m_pFileMenu->addAction(Action(id));
    }
    m_pFileMenu->addSeparator();
    for (const int id : {cmd::kFilePrint, cmd::kFilePrintPreview, cmd::kFilePrintSetup}) {
        m_pFileMenu->addAction(Action(id));
    }
    m_pFileMenu->addSeparator();
    for (int i = 0; i < cmd::kRecentFileCount; ++i) {
        m_pFileMenu->addAction(Action(cmd::kFileMru1 + i));
    }
    m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(Action(cmd::kAppExit));
    SetRecentFileTexts({});

    m_pViewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    m_pViewMenu->addAction(Action(cmd::kViewToolbar));
    m_pViewMenu->addAction(Action(cmd::kViewStatusBar));
    m_pViewMenu->addSeparator();
    m_pViewMenu->addAction(Action(cmd::kViewExplorer));
    m_pViewMenu->addAction(Action(cmd::kViewOutput));
    m_pViewMenu->addSeparator();
    m_pViewMenu->addAction(Action(cmd::kViewStatistics));

    m_pToolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
    m_pToolsMenu->addAction(Action(cmd::kSetup));
    m_pToolsMenu->addSeparator();
    m_pPacketFilterMenu = m_pToolsMenu->addMenu(QStringLiteral("Pachet Filter"));
    for (const CFlagCommand& c : kToolsFilterCommands) {
        m_pPacketFilterMenu->addAction(Action(c.id));
    }

    m_pHelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    m_pHelpMenu->addAction(Action(cmd::kHelp));
    m_pHelpMenu->addSeparator();
    m_pHelpMenu->addAction(Action(cmd::kAppAbout));

    for (QMenu* menu : {m_pFileMenu, m_pViewMenu, m_pToolsMenu, m_pPacketFilterMenu, m_pHelpMenu}) {
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }

    m_pFilterMenu = new QMenu(QStringLiteral("FILTER"), this);
    m_pPortMenu = new QMenu(QStringLiteral("PORT"), this);
    for (const auto& [menu, table] : {std::pair{m_pFilterMenu, std::span(kFilterMenuCommands)},
                                      std::pair{m_pPortMenu, std::span(kPortMenuCommands)}}) {
        for (const CFlagCommand& c : table) {
            menu->addAction(Action(c.id));
        }
        connect(menu, &QMenu::aboutToShow, this, [this, menu = menu] { OnDropDownMenu(menu); });
    }
}

void CMainFrame::CreateToolBars() {
    m_pToolBar = addToolBar(QStringLiteral("Toolbar"));
    m_pToolBar->setObjectName(QStringLiteral("toolbar"));
    m_pToolBar->setIconSize(QSize(16, 16));
    const int buttons[] = {cmd::kCaptureStart,
                           cmd::kCaptureStop,
                           0,
                           cmd::kFileNew,
                           cmd::kFileOpen,
                           cmd::kFileSave,
                           0,
                           cmd::kFilePrint,
                           0,
                           cmd::kAdapterInfo,
                           0,
                           cmd::kAppAbout};
    for (const int id : buttons) {
        if (id == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        m_pToolBar->addAction(Action(id));
        // The toolbar shows no tool tips and sends no prompts to the status bar.
        m_pToolBar->widgetForAction(Action(id))->installEventFilter(this);
    }

    m_pAdapterToolBar = addToolBar(QStringLiteral("Adapter bar"));
    m_pAdapterToolBar->setObjectName(QStringLiteral("adapterToolBar"));
    m_pAdapterBar = new CAdapterBar(m_pAdapterToolBar);
    m_pAdapterToolBar->addWidget(m_pAdapterBar);
    m_pCaptureFilterBar = new CCaptureFilterBar(m_pAdapterToolBar);
    m_pAdapterToolBar->addWidget(m_pCaptureFilterBar);

    const std::pair<QToolButton*, int> bound[] = {
        {m_pAdapterBar->FilterButton(), cmd::kFilterButton},
        {m_pAdapterBar->PortsButton(), cmd::kPortsButton},
        {m_pAdapterBar->ProductButton(), cmd::kProductPage}};
    for (const auto& [button, id] : bound) {
        button->setDefaultAction(Action(id));
    }
    m_pAdapterBar->FilterButton()->setMenu(m_pFilterMenu);
    m_pAdapterBar->PortsButton()->setMenu(m_pPortMenu);
    m_pAdapterBar->FilterButton()->setPopupMode(QToolButton::InstantPopup);
    m_pAdapterBar->PortsButton()->setPopupMode(QToolButton::InstantPopup);
    // Flat buttons: the menu opens on a click, without an arrow squeezed beside the text.
    for (QToolButton* button : {m_pAdapterBar->FilterButton(), m_pAdapterBar->PortsButton()}) {
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    }
    m_pAdapterBar->ProductButton()->setCursor(Qt::PointingHandCursor);
    m_pCaptureFilterBar->Box()->SetRecentFilters(CProfile::GetProfileList(
        kCaptureFilterSection, kCaptureFilterEntry, static_cast<int>(kRememberedFilters)));
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    m_panes[0] = new QLabel(QStringLiteral("Ready"), bar);
    bar->addWidget(m_panes[0], 1);
    // 80 pixels, or wider where the font would cut a seven-digit count short.
    const int width = std::max(
        kPaneWidth, bar->fontMetrics().horizontalAdvance(QStringLiteral("Captured: 0000000")) + 8);
    // Panes 1 to 3, and after them the kernel's drops.
    for (int pane = 1; pane <= 4; ++pane) {
        m_panes[pane] = new QLabel(bar);
        m_panes[pane]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panes[pane]->setFixedWidth(width);
        bar->addPermanentWidget(m_panes[pane]);
    }
    SetDroppedPane(0);
}

QDockWidget* CMainFrame::CreateDockingBar(const QString& title, const QString& page,
                                          const QString& name, QTabWidget*& tabs) {
    auto* bar = new QDockWidget(title, this);
    bar->setObjectName(name);
    bar->setAllowedAreas(Qt::AllDockWidgetAreas);
    bar->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                     QDockWidget::DockWidgetFloatable);
    tabs = new QTabWidget(bar);
    tabs->setTabPosition(QTabWidget::South);
    tabs->setDocumentMode(true);
    tabs->addTab(new QWidget(tabs), page);
    bar->setWidget(tabs);
    return bar;
}

void CMainFrame::CreateDockingBars() {
    m_pOutputBar = CreateDockingBar(QStringLiteral("Output"), QStringLiteral("Packet Output"),
                                    QStringLiteral("outputBar"), m_pOutputTabs);
    m_pExplorerBar =
        CreateDockingBar(QStringLiteral("Packet explorer"), QStringLiteral("Packet Explorer"),
                         QStringLiteral("explorerBar"), m_pExplorerTabs);
    addDockWidget(Qt::LeftDockWidgetArea, m_pExplorerBar);
    addDockWidget(Qt::BottomDockWidgetArea, m_pOutputBar);
    resizeDocks({m_pExplorerBar}, {kExplorerWidth}, Qt::Horizontal);
    resizeDocks({m_pOutputBar}, {kOutputHeight}, Qt::Vertical);

    // Closed until the user opens it; then it keeps its place like the others.
    m_pStatisticsBar = new QDockWidget(QStringLiteral("Statistics"), this);
    m_pStatisticsBar->setObjectName(QStringLiteral("statisticsBar"));
    m_pStatisticsBar->setAllowedAreas(Qt::AllDockWidgetAreas);
    m_pStatisticsBar->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                                  QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::RightDockWidgetArea, m_pStatisticsBar);
    m_pStatisticsBar->hide();
    // Shown too narrow for its tables and chart, as the first time, it takes room enough; a
    // width the user gave it stays.
    // The width is judged once the window has laid the bar out.
    connect(
        m_pStatisticsBar, &QDockWidget::visibilityChanged, this,
        [this](bool bShown) {
            if (bShown && !m_pStatisticsBar->isFloating() &&
                m_pStatisticsBar->width() < kStatisticsWidth / 2) {
                resizeDocks({m_pStatisticsBar}, {kStatisticsWidth}, Qt::Horizontal);
            }
        },
        Qt::QueuedConnection);

    // A bar floated for the first time takes its default floating size.
    const std::pair<QDockWidget*, QSize> floating[] = {
        {m_pExplorerBar, QSize(kExplorerWidth, kExplorerFloatHeight)},
        {m_pOutputBar, QSize(kOutputFloatWidth, kOutputHeight)}};
    for (const auto& [bar, size] : floating) {
        auto floatedBefore = std::make_shared<bool>(false);
        connect(bar, &QDockWidget::topLevelChanged, this, [bar, size, floatedBefore](bool floated) {
            if (floated && !*floatedBefore) {
                *floatedBefore = true;
                bar->resize(size);
            }
        });
    }
}

QAction* CMainFrame::Action(int id) const {
    const auto found = m_commands.find(id);
    return found == m_commands.end() ? nullptr : found->second.action;
}

void CMainFrame::SetCommandHook(int id, CommandHook hook) {
    Command& command = m_commands[id];
    command.onCommand = std::move(hook.onCommand);
    command.isEnabled = std::move(hook.isEnabled);
    UpdateCommandUI();
}

bool CMainFrame::IsEnabled(int id, const Command& command) const {
    if (!command.onCommand || (command.isEnabled && !command.isEnabled())) {
        return false;
    }
    const bool bRecentFile = id >= cmd::kFileMru1 && id < cmd::kFileMru1 + cmd::kRecentFileCount;
    return !bRecentFile || m_nRecentFiles > 0;
}

void CMainFrame::OnCommand(int id) {
    if (const auto found = m_commands.find(id);
        found != m_commands.end() && IsEnabled(id, found->second)) {
        found->second.onCommand();
    }
    // A command is where most state changes; what changes elsewhere calls this itself.
    UpdateCommandUI();
}

void CMainFrame::UpdateCommandUI() {
    if (!m_bCreated) {
        return;
    }
    for (const auto& [id, command] : m_commands) {
        if (command.action == nullptr) {
            continue;
        }
        command.action->setEnabled(IsEnabled(id, command));
        if (command.isChecked) {
            command.action->setChecked(command.isChecked());
        }
    }
}

void CMainFrame::ToggleFlag(std::int32_t CFilterFlags::*flag) {
    m_flags.*flag = m_flags.*flag == 0 ? 1 : 0;
}

void CMainFrame::ToggleBar(QWidget* bar) {
    bar->setVisible(bar->isHidden());
}

void CMainFrame::OnDropDownMenu(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        const auto found = m_commands.find(action->data().toInt());
        if (found != m_commands.end() && found->second.isChecked) {
            action->setChecked(found->second.isChecked());
        }
    }
}

void CMainFrame::SetView(QWidget* view) {
    setCentralWidget(view);  // deletes the previous central widget
}

void CMainFrame::SetExplorerPage(QWidget* page) {
    m_pExplorerPage = qobject_cast<CPacketExplorerBar*>(page);
    if (m_pExplorerPage) {
        connect(&m_pExplorerPage->TreeCtrl(), &CPacketTreeCtrl::HighlightRange, this,
                &CMainFrame::OnHighlightRange);
    }
    QWidget* old = m_pExplorerTabs->widget(0);
    m_pExplorerTabs->insertTab(0, page, QStringLiteral("Packet Explorer"));
    m_pExplorerTabs->setCurrentIndex(0);
    m_pExplorerTabs->removeTab(1);
    delete old;
}

void CMainFrame::SetOutputPage(QWidget* page) {
    m_pOutputPage = qobject_cast<CPacketOutputBar*>(page);
    QWidget* old = m_pOutputTabs->widget(0);
    m_pOutputTabs->insertTab(0, page, QStringLiteral("Packet Output"));
    m_pOutputTabs->setCurrentIndex(0);
    m_pOutputTabs->removeTab(1);
    delete old;
}

void CMainFrame::ClearPacketTree() {
    if (m_pExplorerPage) {
        m_pExplorerPage->ClearPacketTree();
    }
}

void CMainFrame::ClearOutput() {
    if (m_pOutputPage) {
        m_pOutputPage->HexCtrl().Clear();
    }
}

void CMainFrame::ShowPacket(int number, std::span<const std::uint8_t> frame) {
    if (m_pExplorerPage) {
        m_pExplorerPage->BuildPacketTree(number, frame);
    }
    if (m_pOutputPage) {
        m_pOutputPage->HexCtrl().SetData(frame);
    }
}

void CMainFrame::ReloadExplorerColors() {
    if (m_pExplorerPage) {
        m_pExplorerPage->ApplyColors();
    }
}

void CMainFrame::OnHighlightRange(int first, int last) {
    if (m_pOutputPage) {
        m_pOutputPage->HexCtrl().SetHighlight(first, last);
    }
}

void CMainFrame::SetPane(int pane, const QString& text) {
    // Painted with the window: a capture sets the panes many times between two frames on screen.
    m_panes[pane]->setText(text);
}

void CMainFrame::SetBufferPane(int percent) {
    SetPane(1, QStringLiteral("Buffer: %1 ").arg(percent) + '%');
}

void CMainFrame::SetFilteredPane(int filtered) {
    SetPane(2, QStringLiteral("Filtered: %1").arg(filtered));
}

void CMainFrame::SetCapturedPane(int captured) {
    SetPane(3, QStringLiteral("Captured: %1").arg(captured));
}

void CMainFrame::SetDroppedPane(std::uint64_t dropped) {
    SetPane(4, QStringLiteral("Dropped: %1").arg(dropped));
}

void CMainFrame::ShowCaptureNote(const std::string& note) {
    m_panes[0]->setText(note.empty() ? QStringLiteral("Ready") : QString::fromStdString(note));
}

QString CMainFrame::PaneText(int pane) const {
    if (pane < 0 || pane > 4) {
        return {};
    }
    if (pane == 0 && !statusBar()->currentMessage().isEmpty()) {
        return statusBar()->currentMessage();
    }
    return m_panes[pane]->text();
}

void CMainFrame::FillAdapterBox(const std::vector<std::string>& descriptions) {
    CAdapterCombo* box = m_pAdapterBar->AdapterBox();
    box->clear();
    for (const std::string& description : descriptions) {
        box->addItem(QString::fromStdString(description));
    }
    box->setCurrentIndex(box->count() > 0 ? 0 : -1);
}

std::string CMainFrame::GetCaptureFilter() const {
    return m_pCaptureFilterBar->Box()->currentText().toStdString();
}

void CMainFrame::CaptureFilterUsed(const std::string& expression) {
    const QStringList before = CProfile::GetProfileList(kCaptureFilterSection, kCaptureFilterEntry,
                                                        static_cast<int>(kRememberedFilters));
    std::vector<std::string> history;
    for (const QString& filter : before) {
        history.push_back(filter.toStdString());
    }
    QStringList after;
    for (const std::string& filter : RememberCaptureFilter(std::move(history), expression)) {
        after.append(QString::fromStdString(filter));
    }
    if (after != before) {
        CProfile::WriteProfileList(kCaptureFilterSection, kCaptureFilterEntry, after);
        m_pCaptureFilterBar->Box()->SetRecentFilters(after);
    }
}

std::string CMainFrame::GetSelectedAdapter() const {
    const CAdapterCombo* box = m_pAdapterBar->AdapterBox();
    if (box->currentIndex() < 0) {
        return {};
    }
    return box->currentText().toStdString();
}

void CMainFrame::OpenWebPage(const QString& address) {
    if (!m_opener || !m_opener(QUrl(address))) {
        m_pMessages->ShowMessage(
            QStringLiteral("Could not open %1: no web browser could be started.")
                .arg(address)
                .toStdString(),
            MessageIcon::Warning);
    }
}

void CMainFrame::OnHelp() {
    if (!QFileInfo::exists(m_manualPath)) {
        m_pMessages->ShowMessage(
            QStringLiteral("The manual %1 was not found.").arg(m_manualPath).toStdString(),
            MessageIcon::Warning);
        return;
    }
    if (!m_opener || !m_opener(QUrl::fromLocalFile(m_manualPath))) {
        m_pMessages->ShowMessage(
            QStringLiteral("Could not open the manual %1: no viewer could be started.")
                .arg(m_manualPath)
                .toStdString(),
            MessageIcon::Warning);
    }
}

void CMainFrame::OnAdapterInfo() {
    CAdapterInfoDlg dialog(*m_pDevices, *m_pMessages, this);
    dialog.exec();
}

void CMainFrame::SetDocumentTitle(const QString& title) {
    setWindowTitle(title + QStringLiteral(" - Wirelark"));
}

void CMainFrame::SetRecentFileTexts(const QStringList& texts) {
    m_nRecentFiles = static_cast<int>(std::min<qsizetype>(texts.size(), cmd::kRecentFileCount));
    for (int i = 0; i < cmd::kRecentFileCount; ++i) {
        QAction* action = Action(cmd::kFileMru1 + i);
        if (i < m_nRecentFiles) {
            action->setText(texts[i]);
            action->setVisible(true);
        } else {
            action->setText(QStringLiteral("Recent File"));
            action->setVisible(i == 0);
        }
    }
    UpdateCommandUI();
}

void CMainFrame::RestoreLayout() {
    const QByteArray geometry = CProfile::GetProfileBinary(kLayoutSection, kGeometryEntry);
    const QByteArray state = CProfile::GetProfileBinary(kLayoutSection, kStateEntry);
    if (!geometry.isEmpty() && restoreGeometry(geometry)) {
        restoreState(state);
        return;
    }
    FitFirstStart();
}

void CMainFrame::SaveLayout() const {
    CProfile::WriteProfileBinary(kLayoutSection,
                                 {{kGeometryEntry, saveGeometry()}, {kStateEntry, saveState()}});
}

void CMainFrame::FitFirstStart() {
    // Wide enough for every column of the list and for the explorer's longest lines, as far as
    // the screen allows.
    const QFontMetrics metrics = fontMetrics();
    const int explorerWidth = std::max(
        kExplorerWidth,
        metrics.horizontalAdvance(QStringLiteral("Sender Hardware Address:00.11.22.33.44.55")) +
            80);
    int listWidth = 600;
    if (const auto* list = qobject_cast<const QTableView*>(centralWidget())) {
        listWidth = list->horizontalHeader()->length() + 2 * list->frameWidth() +
                    style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    }
    const int separator = style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
    QSize size(explorerWidth + separator + listWidth + 16, 700);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        // The window frame the desktop adds is not known before the window is shown; leave room.
        size = size.boundedTo(available.size() - QSize(16, 48));
        resize(size);
        move(available.center() - QPoint(size.width() / 2, size.height() / 2));
    } else {
        resize(size);
    }
    resizeDocks({m_pExplorerBar}, {explorerWidth}, Qt::Horizontal);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closeGuard && !m_closeGuard()) {
        event->ignore();
        return;
    }
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    emit FilesDropped(paths);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip || event->type() == QEvent::StatusTip) {
        return true;
    }
    const bool bBar = watched == m_pToolBar || watched == m_pExplorerBar || watched == m_pOutputBar;
    if (bBar && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)) {
        UpdateCommandUI();
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace wirelark
