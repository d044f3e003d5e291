// Start-up and the document commands, with the standard prompts and messages of a document
// application.
#include "shell/wirelark_app.h"

#include <QCoreApplication>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <cerrno>

#include "shell/about_dlg.h"
#include "shell/command_ids.h"
#include "shell/command_line_info.h"
#include "shell/main_frame.h"
#include "toolkit/list_printer.h"
#include "toolkit/message_box_sink.h"
#include "toolkit/progress_gate.h"
#include "views/packet_explorer_bar.h"
#include "views/packet_output_bar.h"
#include "views/statistics_bar.h"
#include "views/wirelark_view.h"

namespace wirelark {
namespace {

QString WithReason(const QString& text, const DocumentOutcome& outcome) {
    if (outcome.reason.empty()) {
        return text;
    }
    return text + QStringLiteral("\n\n") + QString::fromStdString(outcome.reason);
}

}  // namespace

QString CWirelarkApp::OpenFileFilters() {
    return QStringList{QString::fromLatin1(kLarkFilesFilter),
                       QString::fromLatin1(kPacketCapturesOpenFilter),
                       QStringLiteral("All Files (*)")}
        .join(QStringLiteral(";;"));
}

QString CWirelarkApp::SaveFileFilters() {
    return QStringList{QString::fromLatin1(kLarkFilesFilter),
                       QString::fromLatin1(kPacketCapturesSaveFilter)}
        .join(QStringLiteral(";;"));
}

CaptureFileFormat CWirelarkApp::SaveAsFormat(const QString& path, const QString& filter) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("cap")) {
        return CaptureFileFormat::Lark;
    }
    if (suffix == QStringLiteral("pcap") || suffix == QStringLiteral("pcapng")) {
        return CaptureFileFormat::Pcap;
    }
    return filter == QString::fromLatin1(kPacketCapturesSaveFilter) ? CaptureFileFormat::Pcap
                                                                    : CaptureFileFormat::Lark;
}

QString CWirelarkApp::OpenErrorText(const QString& path, const DocumentOutcome& outcome) {
    if (outcome.error == DocumentError::UnexpectedFormat) {
        return QStringLiteral("Unexpected file format.");
    }
    if (outcome.error == DocumentError::UnsupportedLinkType) {
        return QString::fromStdString(outcome.reason);
    }
    switch (outcome.errorNumber) {
        case 0:
            return QStringLiteral("Failed to open document.");
        case ENOENT:
            return QStringLiteral("%1 was not found.").arg(path);
        case ENOTDIR:
        case ENAMETOOLONG:
            return QStringLiteral("%1 contains an invalid path.").arg(path);
        case EACCES:
        case EPERM:
            return QStringLiteral("Access to %1 was denied.").arg(path);
        default:
            return WithReason(
                QStringLiteral("An unexpected error occurred while reading %1.").arg(path),
                outcome);
    }
}

QString CWirelarkApp::SaveErrorText(const QString& path, const DocumentOutcome& outcome) {
    switch (outcome.errorNumber) {
        case 0:
            return QStringLiteral("Failed to save document.");
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            return QStringLiteral("%1 contains an invalid path.").arg(path);
        case EACCES:
        case EPERM:
        case EROFS:
            return QStringLiteral("Access to %1 was denied.").arg(path);
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("There is not enough space on the disk.");
        default:
            return WithReason(
                QStringLiteral("An unexpected error occurred while writing %1.").arg(path),
                outcome);
    }
}

CWirelarkApp::CWirelarkApp() : CWirelarkApp(Seams{}) {}

CWirelarkApp::CWirelarkApp(Seams seams, QObject* parent)
    : QObject(parent), m_pMessages(seams.messages), m_seams(std::move(seams)) {
    if (m_pMessages == nullptr) {
        m_pOwnMessages = std::make_unique<CMessageBoxSink>();
        m_pMessages = m_pOwnMessages.get();
    }
    if (!m_seams.openFileName) {
        m_seams.openFileName = [this] {
            return QFileDialog::getOpenFileName(m_pFrame.get(), QStringLiteral("Open"), {},
                                                OpenFileFilters());
        };
    }
    if (!m_seams.saveFileNameAndFilter) {
        if (m_seams.saveFileName) {
            m_seams.saveFileNameAndFilter = [name = m_seams.saveFileName](const QString& suggested,
                                                                          QString&) {
                return name(suggested);
            };
        } else {
            m_seams.saveFileNameAndFilter = [this](const QString& suggested, QString& filter) {
                return QFileDialog::getSaveFileName(m_pFrame.get(), QStringLiteral("Save As"),
                                                    suggested, SaveFileFilters(), &filter);
            };
        }
    }
    if (!m_seams.progress) {
        m_seams.progress = [this](const QString& label) {
            return CProgressGate::Callback(m_pFrame.get(), label);
        };
    }
    if (!m_seams.askToSave) {
        m_seams.askToSave = [this](const QString& text) {
            return QMessageBox::warning(m_pFrame.get(), CMessageBoxSink::Caption(), text,
                                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                        QMessageBox::Yes);
        };
    }
}

CWirelarkApp::~CWirelarkApp() = default;

bool CWirelarkApp::InitInstance(const QStringList& arguments) {
    QCoreApplication::setOrganizationName(QStringLiteral("Wirelark"));
    QCoreApplication::setApplicationName(QStringLiteral("Wirelark  Light"));
    m_recentFiles.ReadList();

    m_pFrame = std::make_unique<CMainFrame>(m_pMessages, m_seams.devices);
    m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    CreateViews();
    ConnectCommands();
    m_pFrame->SetRecentFileTexts([this] {
        QStringList texts;
        for (int i = 0; i < m_recentFiles.Count(); ++i) {
            texts.append(m_recentFiles.MenuText(i));
        }
        return texts;
    }());

    const CCommandLineInfo info = CCommandLineInfo::Parse(arguments);
    switch (info.m_nShellCommand) {
        case CCommandLineInfo::Shell::FileNew:
        case CCommandLineInfo::Shell::FileDde:
            m_doc.OnNewDocument();  // which updates the views
            break;
        case CCommandLineInfo::Shell::FileOpen:
            // A file that fails to open has said why; the user, who may have double-clicked it
            // in a file manager, still gets the program, with a new document.
            if (!OpenDocumentFile(info.m_strFileName)) {
                m_doc.OnNewDocument();
            }
            break;
        case CCommandLineInfo::Shell::FilePrint:
        case CCommandLineInfo::Shell::FilePrintTo:
            m_nExitCode = 1;
            if (!info.m_strFileName.isEmpty() && OpenDocumentFile(info.m_strFileName)) {
                m_nExitCode = PrintFromCommandLine(info.m_nShellCommand ==
                                                           CCommandLineInfo::Shell::FilePrintTo
                                                       ? info.m_strPrinterName
                                                       : QString());
            }
            return false;
    }
    UpdateTitle();
    m_pFrame->RestoreLayout();
    m_pFrame->show();
    return true;
}

void CWirelarkApp::CreateViews() {
    auto* explorer = new CPacketExplorerBar(m_pFrame.get());
    explorer->SetFieldRangeLookup(
        [this](std::string_view root, std::string_view parent, std::string_view node, int& first,
               int& last) { return m_doc.GetFieldByteRange(root, parent, node, first, last); });
    m_pFrame->SetExplorerPage(explorer);
    m_pFrame->SetOutputPage(new CPacketOutputBar(m_pFrame.get()));
    IDeviceSource& devices = m_seams.devices != nullptr ? *m_seams.devices : DefaultDeviceSource();
    m_pView = new CWirelarkView(m_doc, *m_pFrame, *m_pMessages, devices, m_pFrame.get());
    m_pFrame->SetView(m_pView);
    auto* statistics = new CStatisticsBar(m_doc, *m_pMessages, m_pFrame->StatisticsBar());
    m_pFrame->StatisticsBar()->setWidget(statistics);
    QObject::connect(statistics, &CStatisticsBar::RowsChosen, m_pView, &CWirelarkView::SelectRows);
    // The document announces new and replaced contents; the view answers with its initial
    // update.
    m_doc.AddUpdateListener([this] { m_pView->OnInitialUpdate(); });
}

int CWirelarkApp::PrintFromCommandLine(const QString& printerName) {
    const bool found = printerName.isEmpty() ? SelectDefaultPrinter(*m_pPrinter)
                                             : SelectNamedPrinter(*m_pPrinter, printerName);
    if (!found) {
        ShowMessage(printerName.isEmpty()
                        ? QStringLiteral("No printer is installed.")
                        : QStringLiteral("The printer %1 is not installed.").arg(printerName));
        return 1;
    }
    m_pView->OnFilePrintDirect(*m_pPrinter);
    return 0;
}

void CWirelarkApp::ConnectCommands() {
    using Hook = CMainFrame::CommandHook;
    CWirelarkView* view = m_pView;
    m_pFrame->SetCommandHook(cmd::kCaptureStart, Hook{[view] { view->OnCaptureStart(); },
                                                      [view] { return view->IsStartEnabled(); }});
    m_pFrame->SetCommandHook(cmd::kCaptureStop, Hook{[view] { view->OnCaptureStop(); },
                                                     [view] { return view->IsStopEnabled(); }});
    m_pFrame->SetCommandHook(cmd::kSetup, Hook{[view] { view->OnSetup(); }, {}});
    m_pFrame->SetCommandHook(cmd::kFilePrint,
                             Hook{[this] { m_pView->OnFilePrint(*m_pPrinter); }, {}});
    m_pFrame->SetCommandHook(cmd::kFilePrintDirect,
                             Hook{[this] { m_pView->OnFilePrintDirect(*m_pPrinter); }, {}});
    m_pFrame->SetCommandHook(cmd::kFilePrintPreview,
                             Hook{[this] { m_pView->OnFilePrintPreview(*m_pPrinter); }, {}});
    m_pFrame->SetCommandHook(cmd::kFilePrintSetup,
                             Hook{[this] { PrintSetup(*m_pPrinter, m_pFrame.get()); }, {}});
    m_pFrame->SetCommandHook(cmd::kFileNew, Hook{[this] { OnFileNew(); }, {}});
    m_pFrame->SetCommandHook(cmd::kFileOpen, Hook{[this] { OnFileOpen(); }, {}});
    m_pFrame->SetCommandHook(cmd::kFileSave, Hook{[this] { OnFileSave(); }, {}});
    m_pFrame->SetCommandHook(cmd::kFileSaveAs, Hook{[this] { OnFileSaveAs(); }, {}});
    m_pFrame->SetCommandHook(cmd::kAppAbout, Hook{[this] { OnAppAbout(); }, {}});
    for (int i = 0; i < cmd::kRecentFileCount; ++i) {
        m_pFrame->SetCommandHook(cmd::kFileMru1 + i,
                                 Hook{[this, i] { OnOpenRecentFile(i); },
                                      [this, i] { return i < m_recentFiles.Count(); }});
    }
    connect(view, &CWirelarkView::CaptureStateChanged, m_pFrame.get(),
            &CMainFrame::UpdateCommandUI);
    m_pFrame->SetCloseGuard([this] {
        if (m_bFileWork || !SaveModified()) {
            return false;
        }
        m_pFrame->SaveLayout();
        return true;
    });
    connect(m_pFrame.get(), &CMainFrame::FilesDropped, this, &CWirelarkApp::OpenDroppedFiles);
}

bool CWirelarkApp::SaveModified() {
    if (!m_doc.IsModified()) {
        return true;
    }
    const QString name = m_doc.GetPathName().empty() ? QString::fromStdString(m_doc.GetTitle())
                                                     : QString::fromStdString(m_doc.GetPathName());
    switch (m_seams.askToSave(QStringLiteral("Save changes to %1?").arg(name))) {
        case QMessageBox::Yes:
            return OnFileSave();
        case QMessageBox::No:
            return true;
        default:
            return false;
    }
}

bool CWirelarkApp::OnFileNew() {
    if (!SaveModified()) {
        return false;
    }
    m_doc.OnNewDocument();
    UpdateTitle();
    return true;
}

bool CWirelarkApp::OnFileOpen() {
    const QString path = m_seams.openFileName();
    if (path.isEmpty()) {
        return false;
    }
    return OpenDocumentFile(path);
}

bool CWirelarkApp::OpenDocumentFile(const QString& path) {
    if (m_bFileWork || !SaveModified()) {
        return false;
    }
    DocumentOutcome outcome;
    {
        const QScopedValueRollback<bool> busy(m_bFileWork, true);
        // The progress dialog lets events through: frames captured meanwhile would join the
        // contents about to be replaced. They wait in order and land in the opened document.
        const CHandoverHold hold(m_pView->Handover());
        // Scoped so that the progress dialog is gone before any message is shown.
        const ProgressCallback progress =
            m_seams.progress(QStringLiteral("Opening %1...").arg(QFileInfo(path).fileName()));
        outcome = m_doc.OpenFile(QFile::encodeName(path).toStdString(), progress);
    }
    UpdateTitle();
    if (outcome.error == DocumentError::Cancelled) {
        return false;
    }
    if (!outcome.Succeeded()) {
        ShowMessage(OpenErrorText(path, outcome));
        return false;
    }
    AddToRecentFiles(path);
    if (!outcome.warning.empty()) {
        ShowMessage(QString::fromStdString(outcome.warning));
    }
    return true;
}

bool CWirelarkApp::OnOpenRecentFile(int index) {
    if (index < 0 || index >= m_recentFiles.Count()) {
        return false;
    }
    const QString path = m_recentFiles[index];
    const bool opened = OpenDocumentFile(path);
    // An entry whose file can no longer be opened leaves the list; a cancelled prompt does not.
    if (!opened && !QFileInfo::exists(path)) {
        m_recentFiles.Remove(static_cast<int>(m_recentFiles.Files().indexOf(path)));
        AddToRecentFiles({});
    }
    return opened;
}

void CWirelarkApp::OpenDroppedFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        OpenDocumentFile(path);
    }
}

bool CWirelarkApp::OnFileSave() {
    if (m_doc.GetPathName().empty()) {
        return OnFileSaveAs();
    }
    return DoSave(QFile::decodeName(m_doc.GetPathName().c_str()), m_doc.GetSaveFormat());
}

bool CWirelarkApp::OnFileSaveAs() {
    const bool bPcap = m_doc.GetSaveFormat() != CaptureFileFormat::Lark;
    const QString suggested = m_doc.GetPathName().empty()
                                  ? QString::fromStdString(m_doc.GetTitle()) +
                                        (bPcap ? QStringLiteral(".pcap") : QStringLiteral(".cap"))
                                  : QFile::decodeName(m_doc.GetPathName().c_str());
    QString filter = QString::fromLatin1(bPcap ? kPacketCapturesSaveFilter : kLarkFilesFilter);
    QString path = m_seams.saveFileNameAndFilter(suggested, filter);
    if (path.isEmpty()) {
        return false;
    }
    const CaptureFileFormat format = SaveAsFormat(path, filter);
    if (QFileInfo(path).suffix().isEmpty()) {
        path +=
            format == CaptureFileFormat::Lark ? QStringLiteral(".cap") : QStringLiteral(".pcap");
    }
    return DoSave(path, format);
}

bool CWirelarkApp::DoSave(const QString& path, CaptureFileFormat format) {
    if (m_bFileWork) {
        return false;
    }
    DocumentOutcome outcome;
    {
        const QScopedValueRollback<bool> busy(m_bFileWork, true);
        // A frame still in the hand-over, even after Stop, waits until the list is written, so
        // that the saved file and the modified flag agree on what the document holds.
        const CHandoverHold hold(m_pView->Handover());
        // A running capture hands its frames over through the event loop and appends them to
        // the very list being written, so a save during a capture lets no events through and
        // shows no progress; the capture buffer keeps such a save small.
        const bool bCapturing = m_pView != nullptr && m_pView->IsStopEnabled();
        const ProgressCallback progress =
            bCapturing
                ? ProgressCallback{}
                : m_seams.progress(QStringLiteral("Saving %1...").arg(QFileInfo(path).fileName()));
        outcome = m_doc.SaveFile(QFile::encodeName(path).toStdString(), format, progress);
    }
    if (outcome.error == DocumentError::Cancelled) {
        return false;
    }
    if (!outcome.Succeeded()) {
        ShowMessage(SaveErrorText(path, outcome));
        return false;
    }
    UpdateTitle();
    AddToRecentFiles(path);
    return true;
}

void CWirelarkApp::OnAppAbout() {
    CAboutDlg about(*m_pMessages, m_pFrame.get());
    about.exec();
}

void CWirelarkApp::UpdateTitle() {
    if (m_pFrame) {
        m_pFrame->SetDocumentTitle(QString::fromStdString(m_doc.GetTitle()));
    }
}

void CWirelarkApp::AddToRecentFiles(const QString& path) {
    if (!path.isEmpty()) {
        m_recentFiles.Add(path);
    }
    m_recentFiles.WriteList();
    if (m_pFrame) {
        QStringList texts;
        for (int i = 0; i < m_recentFiles.Count(); ++i) {
            texts.append(m_recentFiles.MenuText(i));
        }
        m_pFrame->SetRecentFileTexts(texts);
    }
}

void CWirelarkApp::ShowMessage(const QString& text, MessageIcon icon) {
    m_pMessages->ShowMessage(text.toStdString(), icon);
}

}  // namespace wirelark
