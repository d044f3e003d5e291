// Command numbers of the menus, toolbar and adapter bar; the view and the tests find the
// frame's actions by them.
#pragma once

namespace wirelark::cmd {

inline constexpr int kCaptureStart = 32771;
inline constexpr int kCaptureStop = 32772;
inline constexpr int kAdapterInfo = 32773;
// The FILTER menu.
inline constexpr int kFilterArp = 32775;
inline constexpr int kFilterIcmp = 32776;
inline constexpr int kFilterTcp = 32777;
inline constexpr int kFilterUdp = 32778;
inline constexpr int kFilterOthers = 32779;
inline constexpr int kSetup = 32780;
// Tools, "Pachet Filter".
inline constexpr int kToolsArp = 32783;
inline constexpr int kToolsIcmp = 32784;
inline constexpr int kToolsTcp = 32785;
inline constexpr int kToolsUdp = 32786;
inline constexpr int kToolsOthers = 32787;
inline constexpr int kViewExplorer = 32788;
inline constexpr int kViewOutput = 32789;
// The PORT menu.
inline constexpr int kPortHttp = 32790;
inline constexpr int kPortSmtp = 32791;
inline constexpr int kPortPop3 = 32792;
inline constexpr int kPortFtp = 32793;
inline constexpr int kPortTelnet = 32794;
inline constexpr int kProductPage = 1003;
inline constexpr int kFilterButton = 1004;
inline constexpr int kPortsButton = 1005;
// Beside the menus' own items.
inline constexpr int kViewStatistics = 1006;

inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileSave = 57603;
inline constexpr int kFileSaveAs = 57604;
inline constexpr int kFilePrintSetup = 57606;
inline constexpr int kFilePrint = 57607;
inline constexpr int kFilePrintDirect = 57608;
inline constexpr int kFilePrintPreview = 57609;
inline constexpr int kFileMru1 = 57616;  // 57616 to 57619
inline constexpr int kRecentFileCount = 4;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kHelp = 57670;
inline constexpr int kViewToolbar = 59392;
inline constexpr int kViewStatusBar = 59393;

}  // namespace wirelark::cmd
