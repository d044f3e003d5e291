// The main frame's construction, commands and update handlers.
#include "shell/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
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
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <array>

#include "shell/adapter_bar.h"
#include "shell/adapter_combo.h"
#include "shell/adapter_info_dlg.h"
#include "shell/command_ids.h"
#include "shell/shell_icons.h"
#include "toolkit/message_box_sink.h"
#include "toolkit/profile.h"
#include "views/packet_explorer_bar.h"
#include "views/packet_output_bar.h"

namespace wirelark {
namespace {

// In the order of the FILTER menu, then the PORT menu.
constexpr std::array<std::int32_t CFilterFlags::*, 10> kFlags{
    &CFilterFlags::m_bArp,   &CFilterFlags::m_bIcmp,   &CFilterFlags::m_bTcp,
    &CFilterFlags::m_bUdp,   &CFilterFlags::m_bOthers, &CFilterFlags::m_bHttp,
    &CFilterFlags::m_bSmtp,  &CFilterFlags::m_bPop3,   &CFilterFlags::m_bFtp,
    &CFilterFlags::m_bTelnet};

constexpr int kIdleRefreshMs = 250;

const QString kLayoutSection = QStringLiteral("Window");
const QString kGeometryEntry = QStringLiteral("Geometry");
const QString kStateEntry = QStringLiteral("Layout");

}  // namespace

QString CMainFrame::ManualPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Wirelark.html");
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
    SetDocumentTitle(QStringLiteral("Untitled"));

    m_pIdleTimer = new QTimer(this);
    connect(m_pIdleTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    m_pIdleTimer->start(kIdleRefreshMs);
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
    m_actions[id] = action;
    return action;
}

void CMainFrame::CreateCommands() {
    using Id = CShellIcons::Id;
    AddCommand(cmd::kCaptureStart, QStringLiteral("Start"))->setIcon(CShellIcons::Icon(Id::Start));
    AddCommand(cmd::kCaptureStop, QStringLiteral("Stop"))->setIcon(CShellIcons::Icon(Id::Stop));
    AddCommand(cmd::kAdapterInfo, QStringLiteral("View all network adapters"))
        ->setIcon(CShellIcons::Icon(Id::Adapters));
    m_handlers[cmd::kAdapterInfo] = [this] { OnAdapterInfo(); };

    AddCommand(cmd::kFileNew, QStringLiteral("&New"), QStringLiteral("Create a new document"),
               QKeySequence(Qt::CTRL | Qt::Key_N))
        ->setIcon(CShellIcons::Icon(Id::New));
    AddCommand(cmd::kFileOpen, QStringLiteral("&Open..."),
               QStringLiteral("Open an existing document"), QKeySequence(Qt::CTRL | Qt::Key_O))
        ->setIcon(CShellIcons::Icon(Id::Open));
    AddCommand(cmd::kFileSave, QStringLiteral("&Save"), QStringLiteral("Save the active document"),
               QKeySequence(Qt::CTRL | Qt::Key_S))
        ->setIcon(CShellIcons::Icon(Id::Save));
    AddCommand(cmd::kFileSaveAs, QStringLiteral("Save &As..."),
               QStringLiteral("Save the active document with a new name"));
    AddCommand(cmd::kFilePrint, QStringLiteral("&Print..."),
               QStringLiteral("Print the active document"), QKeySequence(Qt::CTRL | Qt::Key_P))
        ->setIcon(CShellIcons::Icon(Id::Print));
    AddCommand(cmd::kFilePrintPreview, QStringLiteral("Print Pre&view"),
               QStringLiteral("Display full pages"));
    AddCommand(cmd::kFilePrintSetup, QStringLiteral("P&rint Setup..."),
               QStringLiteral("Change the printer and printing options"));
    for (int i = 0; i < cmd::kRecentFileCount; ++i) {
        AddCommand(cmd::kFileMru1 + i, QStringLiteral("Recent File"),
                   QStringLiteral("Open this document"));
    }
    AddCommand(cmd::kAppExit, QStringLiteral("E&xit"),
               QStringLiteral("Quit the application; prompts to save documents"));
    m_handlers[cmd::kAppExit] = [this] { close(); };

    AddCommand(cmd::kViewToolbar, QStringLiteral("&Toolbar"),
               QStringLiteral("Show or hide the toolbar"))
        ->setCheckable(true);
    AddCommand(cmd::kViewStatusBar, QStringLiteral("&Status Bar"),
               QStringLiteral("Show or hide the status bar"))
        ->setCheckable(true);
    AddCommand(cmd::kViewExplorer, QStringLiteral("Packet Explorer"))->setCheckable(true);
    AddCommand(cmd::kViewOutput, QStringLiteral("Packet Output"))->setCheckable(true);
    m_handlers[cmd::kViewToolbar] = [this] { ToggleBar(m_pToolBar); };
    m_handlers[cmd::kViewStatusBar] = [this] { ToggleBar(statusBar()); };
    m_handlers[cmd::kViewExplorer] = [this] { ToggleBar(m_pExplorerBar); };
    m_handlers[cmd::kViewOutput] = [this] { ToggleBar(m_pOutputBar); };
    m_updaters[cmd::kViewToolbar] = [this](QAction* a) { a->setChecked(!m_pToolBar->isHidden()); };
    m_updaters[cmd::kViewStatusBar] = [this](QAction* a) {
        a->setChecked(!statusBar()->isHidden());
    };
    m_updaters[cmd::kViewExplorer] = [this](QAction* a) {
        a->setChecked(!m_pExplorerBar->isHidden());
    };
    m_updaters[cmd::kViewOutput] = [this](QAction* a) { a->setChecked(!m_pOutputBar->isHidden()); };

    AddCommand(cmd::kSetup, QStringLiteral("&Setup"));
    const QString toolsTexts[] = {QStringLiteral("ARP"), QStringLiteral("ICMP"),
                                  QStringLiteral("TCP"), QStringLiteral("UDP"),
                                  QStringLiteral("Others...")};
    const QString filterTexts[] = {QStringLiteral("&ARP"), QStringLiteral("&ICMP"),
                                   QStringLiteral("&TCP"), QStringLiteral("&UDP"),
                                   QStringLiteral("&Others")};
    const QString portTexts[] = {
        QStringLiteral("CAPTURE ONLY HTTP PACKETS"), QStringLiteral("CAPTURE ONLY SMTP PACKETS"),
        QStringLiteral("CAPTURE ONLY POP3 PACKETS"), QStringLiteral("CAPTURE ONLY FTP PACKETS"),
        QStringLiteral("CAPTURE ONLY TELNET PACKETS")};
    for (int i = 0; i < 5; ++i) {
        AddCommand(cmd::kToolsArp + i, toolsTexts[i])->setCheckable(true);
        m_handlers[cmd::kToolsArp + i] = [this, i] { ToggleFlag(i); };
        m_updaters[cmd::kToolsArp + i] = [this, i](QAction* a) {
            a->setChecked(m_flags.*kFlags[i] != 0);
        };
        AddCommand(cmd::kFilterArp + i, filterTexts[i])->setCheckable(true);
        m_handlers[cmd::kFilterArp + i] = [this, i] { ToggleFlag(i); };
        AddCommand(cmd::kPortHttp + i, portTexts[i])->setCheckable(true);
        m_handlers[cmd::kPortHttp + i] = [this, i] { ToggleFlag(5 + i); };
    }

    AddCommand(cmd::kHelp, QStringLiteral("&Help"),
               QStringLiteral("Display help for current task or command"));
    m_handlers[cmd::kHelp] = [this] { OnHelp(); };
    AddCommand(cmd::kAppAbout, QStringLiteral("&About Wirelark..."),
               QStringLiteral("Display program information, version number and copyright"))
        ->setIcon(CShellIcons::Icon(Id::About));

    QAction* product = AddCommand(cmd::kProductPage, QStringLiteral("Wirelark"));
    product->setIcon(CShellIcons::Icon(Id::Product));
    product->setToolTip(ProductAddress());
    m_handlers[cmd::kProductPage] = [this] { OpenWebPage(ProductAddress()); };
    AddCommand(cmd::kFilterButton, QStringLiteral("Packet Filter"))
        ->setIcon(CShellIcons::Icon(Id::Filter));
    AddCommand(cmd::kPortsButton, QStringLiteral("Ports"))->setIcon(CShellIcons::Icon(Id::Ports));
    m_handlers[cmd::kFilterButton] = [] {};
    m_handlers[cmd::kPortsButton] = [] {};
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

    m_pToolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
    m_pToolsMenu->addAction(Action(cmd::kSetup));
    m_pToolsMenu->addSeparator();
    m_pPacketFilterMenu = m_pToolsMenu->addMenu(QStringLiteral("Pachet Filter"));
    for (int i = 0; i < 5; ++i) {
        m_pPacketFilterMenu->addAction(Action(cmd::kToolsArp + i));
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
    for (int i = 0; i < 5; ++i) {
        m_pFilterMenu->addAction(Action(cmd::kFilterArp + i));
        m_pPortMenu->addAction(Action(cmd::kPortHttp + i));
    }
    connect(m_pFilterMenu, &QMenu::aboutToShow, this, [this] { OnFilterMenu(m_pFilterMenu); });
    connect(m_pPortMenu, &QMenu::aboutToShow, this, [this] { OnPortMenu(m_pPortMenu); });
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
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    m_panes[0] = new QLabel(QStringLiteral("Ready"), bar);
    bar->addWidget(m_panes[0], 1);
    // 80 pixels, or wider where the font would cut a seven-digit count short.
    const int width = std::max(
        kPaneWidth, bar->fontMetrics().horizontalAdvance(QStringLiteral("Captured: 0000000")) + 8);
    for (int pane = 1; pane <= 3; ++pane) {
        m_panes[pane] = new QLabel(bar);
        m_panes[pane]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panes[pane]->setFixedWidth(width);
        bar->addPermanentWidget(m_panes[pane]);
    }
}

QDockWidget* CMainFrame::CreateDockingBar(const QString& title, const QString& page, int id,
                                          QTabWidget*& tabs) {
    auto* bar = new QDockWidget(title, this);
    bar->setObjectName(id == 102 ? QStringLiteral("explorerBar") : QStringLiteral("outputBar"));
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
    m_pOutputBar = CreateDockingBar(QStringLiteral("Output"), QStringLiteral("Packet Output"), 101,
                                    m_pOutputTabs);
    m_pExplorerBar = CreateDockingBar(QStringLiteral("Packet explorer"),
                                      QStringLiteral("Packet Explorer"), 102, m_pExplorerTabs);
    addDockWidget(Qt::LeftDockWidgetArea, m_pExplorerBar);
    addDockWidget(Qt::BottomDockWidgetArea, m_pOutputBar);
    resizeDocks({m_pExplorerBar}, {kExplorerWidth}, Qt::Horizontal);
    resizeDocks({m_pOutputBar}, {kOutputHeight}, Qt::Vertical);

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
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

void CMainFrame::SetCommandHook(int id, CommandHook hook) {
    m_hooks[id] = std::move(hook);
    UpdateCommandUI();
}

void CMainFrame::OnCommand(int id) {
    if (const auto hook = m_hooks.find(id); hook != m_hooks.end() && hook->second.onCommand) {
        if (!hook->second.isEnabled || hook->second.isEnabled()) {
            hook->second.onCommand();
        }
    } else if (const auto handler = m_handlers.find(id); handler != m_handlers.end()) {
        handler->second();
    }
    UpdateCommandUI();
}

void CMainFrame::UpdateCommandUI() {
    if (!m_bCreated) {
        return;
    }
    for (const auto& [id, action] : m_actions) {
        bool enabled = false;
        if (const auto hook = m_hooks.find(id); hook != m_hooks.end() && hook->second.onCommand) {
            enabled = !hook->second.isEnabled || hook->second.isEnabled();
        } else {
            enabled = m_handlers.count(id) != 0;
        }
        if (id >= cmd::kFileMru1 && id < cmd::kFileMru1 + cmd::kRecentFileCount) {
            enabled = enabled && m_nRecentFiles > 0;
        }
        action->setEnabled(enabled);
        if (const auto updater = m_updaters.find(id); updater != m_updaters.end()) {
            updater->second(action);
        }
    }
}

void CMainFrame::ToggleFlag(int index) {
    std::int32_t& flag = m_flags.*kFlags[static_cast<std::size_t>(index)];
    flag = flag == 0 ? 1 : 0;
}

void CMainFrame::ToggleBar(QWidget* bar) {
    bar->setVisible(bar->isHidden());
}

void CMainFrame::OnFilterMenu(QMenu* menu) {
    for (int i = 0; i < 5; ++i) {
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() == cmd::kFilterArp + i) {
                action->setChecked(m_flags.*kFlags[static_cast<std::size_t>(i)] != 0);
            }
        }
    }
}

void CMainFrame::OnPortMenu(QMenu* menu) {
    for (int i = 0; i < 5; ++i) {
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() == cmd::kPortHttp + i) {
                action->setChecked(m_flags.*kFlags[static_cast<std::size_t>(5 + i)] != 0);
            }
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
        m_pOutputPage->Clear();
    }
}

void CMainFrame::ShowPacket(int number, const std::vector<std::uint16_t>& frame) {
    if (m_pExplorerPage) {
        m_pExplorerPage->BuildPacketTree(number, frame);
    }
    if (m_pOutputPage) {
        m_pOutputPage->SetData(frame);
    }
}

void CMainFrame::ReloadExplorerColors() {
    if (m_pExplorerPage) {
        m_pExplorerPage->ApplyColors();
    }
}

void CMainFrame::OnHighlightRange(int first, int last) {
    if (m_pOutputPage) {
        m_pOutputPage->SetHighlight(first, last);
    }
}

void CMainFrame::SetPane(int pane, const QString& text) {
    m_panes[pane]->setText(text);
    m_panes[pane]->repaint();
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

QString CMainFrame::PaneText(int pane) const {
    if (pane < 0 || pane > 3) {
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
    CProfile::WriteProfileBinary(kLayoutSection, kGeometryEntry, saveGeometry());
    CProfile::WriteProfileBinary(kLayoutSection, kStateEntry, saveState());
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
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace wirelark
