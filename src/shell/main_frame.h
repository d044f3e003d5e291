// The main window: toolbar and adapter bar, the four menus, the status panes, the two docking
// bars, the ten filter flags and the commands that act on them.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/device_source.h"
#include "capture/packet_intake.h"
#include "common/message_sink.h"
#include "toolkit/hyperlink_label.h"
#include "views/view_frame.h"

class QDockWidget;
class QLabel;
class QMenu;
class QTabWidget;
class QToolBar;

namespace wirelark {

class CAdapterBar;
class CCaptureFilterBar;
class CPacketExplorerBar;
class CPacketOutputBar;

class CMainFrame final : public QMainWindow, public IViewFrame {
    Q_OBJECT

public:
    // What a command does and whether it is enabled; set by whoever handles it (the view, the
    // application). A command with neither a hook nor a handler of the frame is disabled.
    struct CommandHook {
        std::function<void()> onCommand;
        std::function<bool()> isEnabled;
    };

    static constexpr int kExplorerWidth = 230;
    static constexpr int kExplorerFloatHeight = 200;
    static constexpr int kOutputHeight = 150;
    static constexpr int kStatisticsWidth = 560;
    static constexpr int kOutputFloatWidth = 200;
    static constexpr int kPaneWidth = 80;

    static QString ProductAddress() { return QStringLiteral("https://wirelark.example.org/"); }
    // The manual beside the program (a build tree), or where an install puts it,
    // share/doc/wirelark under the program's prefix.
    static QString ManualPath(const QString& programFolder = {});

    // Null seams mean message boxes and libpcap's device list.
    explicit CMainFrame(IMessageSink* messages = nullptr, IDeviceSource* devices = nullptr,
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Commands.
    QAction* Action(int id) const;
    void SetCommandHook(int id, CommandHook hook);
    void OnCommand(int id);
    // Refreshes every command's enabled and checked state. Commands call it as they finish;
    // whoever changes a state elsewhere (a capture that ends by itself) calls it too.
    void UpdateCommandUI();

    QMenu* FileMenu() const { return m_pFileMenu; }
    QMenu* ViewMenu() const { return m_pViewMenu; }
    QMenu* ToolsMenu() const { return m_pToolsMenu; }
    QMenu* PacketFilterMenu() const { return m_pPacketFilterMenu; }
    QMenu* HelpMenu() const { return m_pHelpMenu; }
    QMenu* FilterMenu() const { return m_pFilterMenu; }
    QMenu* PortMenu() const { return m_pPortMenu; }

    // Check marks of the FILTER and PORT drop-down menus, set just before they open.
    void OnDropDownMenu(QMenu* menu);

    // Where the other windows go. A `CPacketExplorerBar` and a `CPacketOutputBar` page are
    // also what the tree and hex operations below act on; other pages ignore them.
    void SetView(QWidget* view);
    QWidget* GetView() const { return centralWidget(); }
    void SetExplorerPage(QWidget* page);
    void SetOutputPage(QWidget* page);

    // The explorer tree and the hex output.
    void ClearPacketTree() override;
    void ClearOutput() override;
    void ShowPacket(int number, std::span<const std::uint8_t> frame) override;
    void ReloadExplorerColors() override;
    // From the explorer tree to the hex output, unchanged.
    void OnHighlightRange(int first, int last);
    QDockWidget* ExplorerBar() const { return m_pExplorerBar; }
    QDockWidget* OutputBar() const { return m_pOutputBar; }
    QDockWidget* StatisticsBar() const { return m_pStatisticsBar; }
    QTabWidget* ExplorerTabs() const { return m_pExplorerTabs; }
    QTabWidget* OutputTabs() const { return m_pOutputTabs; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QToolBar* AdapterToolBar() const { return m_pAdapterToolBar; }
    CAdapterBar* AdapterBar() const { return m_pAdapterBar; }
    CCaptureFilterBar* CaptureFilterBar() const { return m_pCaptureFilterBar; }

    // Status panes 1 to 3, and 4 for the kernel's drops; pane 0 shows "Ready", menu prompts and
    // a note on how the last capture ended.
    void SetBufferPane(int percent) override;
    void SetFilteredPane(int filtered) override;
    void SetCapturedPane(int captured) override;
    void SetDroppedPane(std::uint64_t dropped) override;
    void ShowCaptureNote(const std::string& note) override;
    QString PaneText(int pane) const;

    // The filter flags, initially only "Others" set; never persisted.
    const CFilterFlags& GetFilterFlags() const override { return m_flags; }
    int IsArpFiltered() const { return m_flags.m_bArp; }
    int IsIcmpFiltered() const { return m_flags.m_bIcmp; }
    int IsTcpFiltered() const { return m_flags.m_bTcp; }
    int IsUdpFiltered() const { return m_flags.m_bUdp; }
    int IsOthersFiltered() const { return m_flags.m_bOthers; }
    int IsHttpOnly() const { return m_flags.m_bHttp; }
    int IsSmtpOnly() const { return m_flags.m_bSmtp; }
    int IsPop3Only() const { return m_flags.m_bPop3; }
    int IsFtpOnly() const { return m_flags.m_bFtp; }
    int IsTelnetOnly() const { return m_flags.m_bTelnet; }
    int IsPortFilterOn() const { return m_flags.IsPortFilterOn(); }

    // The adapter box.
    void FillAdapterBox(const std::vector<std::string>& descriptions) override;
    std::string GetSelectedAdapter() const override;
    // The capture filter box; the filters that started a capture are kept in the profile.
    std::string GetCaptureFilter() const override;
    void CaptureFilterUsed(const std::string& expression) override;

    // Web page and help; a failure says what could not be opened. Tests replace the opener.
    void SetUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }
    void SetManualPath(QString path) { m_manualPath = std::move(path); }
    void OpenWebPage(const QString& address);
    void OnHelp();

    void SetDocumentTitle(const QString& title);
    // Texts of the recent-file entries, newest first; none shows the greyed "Recent File".
    void SetRecentFileTexts(const QStringList& texts);
    // The window's geometry and the docks' layout, kept in the profile from one run to the
    // next; without them (the first start) the window is sized to show every list column.
    void RestoreLayout();
    void SaveLayout() const;

    // Asked before the window closes; false keeps it open.
    void SetCloseGuard(std::function<bool()> guard) { m_closeGuard = std::move(guard); }

    IMessageSink& Messages() { return *m_pMessages; }
    IDeviceSource& Devices() { return *m_pDevices; }

signals:
    void FilesDropped(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddCommand(int id, const QString& text, const QString& prompt = {},
                        const QKeySequence& shortcut = {});
    void CreateCommands();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();
    void CreateDockingBars();
    void ConnectBarCommands();
    QDockWidget* CreateDockingBar(const QString& title, const QString& page, const QString& name,
                                  QTabWidget*& tabs);
    void ToggleFlag(std::int32_t CFilterFlags::*flag);
    void ToggleBar(QWidget* bar);
    void OnAdapterInfo();
    void SetPane(int pane, const QString& text);
    void FitFirstStart();

    std::unique_ptr<IMessageSink> m_pOwnMessages;
    IMessageSink* m_pMessages;
    IDeviceSource* m_pDevices;
    UrlOpener m_opener;
    QString m_manualPath = ManualPath();
    std::function<bool()> m_closeGuard;

    CFilterFlags m_flags;
    // One entry per command: its action, what it does, and how its states are found. A command
    // without onCommand is disabled; without isEnabled it is enabled; without isChecked its
    // check mark is left alone.
    struct Command {
        QAction* action = nullptr;
        std::function<void()> onCommand;
        std::function<bool()> isEnabled;
        std::function<bool()> isChecked;
    };
    bool IsEnabled(int id, const Command& command) const;
    std::map<int, Command> m_commands;
    int m_nRecentFiles = 0;

    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pViewMenu = nullptr;
    QMenu* m_pToolsMenu = nullptr;
    QMenu* m_pPacketFilterMenu = nullptr;
    QMenu* m_pHelpMenu = nullptr;
    QMenu* m_pFilterMenu = nullptr;
    QMenu* m_pPortMenu = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QToolBar* m_pAdapterToolBar = nullptr;
    CAdapterBar* m_pAdapterBar = nullptr;
    CCaptureFilterBar* m_pCaptureFilterBar = nullptr;
    QDockWidget* m_pExplorerBar = nullptr;
    QDockWidget* m_pOutputBar = nullptr;
    QDockWidget* m_pStatisticsBar = nullptr;
    QTabWidget* m_pExplorerTabs = nullptr;
    QTabWidget* m_pOutputTabs = nullptr;
    QPointer<CPacketExplorerBar> m_pExplorerPage;
    QPointer<CPacketOutputBar> m_pOutputPage;
    QLabel* m_panes[5] = {};
    bool m_bCreated = false;
};

}  // namespace wirelark
