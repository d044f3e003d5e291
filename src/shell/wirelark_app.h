// The application: the profile, the one capture document, the main frame, the command line,
// the document commands (New, Open, Save, Save As, recent files, Exit) and the About box.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPrinter>
#include <QStringList>
#include <functional>
#include <memory>

#include "capture/device_source.h"
#include "common/message_sink.h"
#include "common/progress.h"
#include "shell/recent_file_list.h"
#include "store/capture_format.h"
#include "store/wirelark_doc.h"

namespace wirelark {

class CMainFrame;
class CWirelarkView;

class CWirelarkApp final : public QObject {
    Q_OBJECT

public:
    // Null seams mean message boxes, file dialogs, progress dialogs and libpcap's device list.
    struct Seams {
        IMessageSink* messages = nullptr;
        IDeviceSource* devices = nullptr;
        std::function<QString()> openFileName;
        // The Save As name; the filter stays the one preselected for the document.
        std::function<QString(const QString& suggested)> saveFileName;
        // The Save As name and, in `filter`, the filter chosen; `filter` comes in as the one to
        // preselect. Takes the place of saveFileName when set.
        std::function<QString(const QString& suggested, QString& filter)> saveFileNameAndFilter;
        std::function<QMessageBox::StandardButton(const QString& text)> askToSave;
        // The progress callback for opening or saving one file, `label` saying which.
        std::function<ProgressCallback(const QString& label)> progress;
    };

    static QString FileFilter() { return QString::fromLatin1(kLarkFilesFilter); }
    // The filters of the Open and Save As dialogs, in the order offered.
    static QString OpenFileFilters();
    static QString SaveFileFilters();
    // The format Save As writes: a name ending in a capture extension says it, otherwise the
    // chosen filter does.
    static CaptureFileFormat SaveAsFormat(const QString& path, const QString& filter);
    static QString OpenErrorText(const QString& path, const DocumentOutcome& outcome);
    static QString SaveErrorText(const QString& path, const DocumentOutcome& outcome);

    CWirelarkApp();
    explicit CWirelarkApp(Seams seams, QObject* parent = nullptr);
    ~CWirelarkApp() override;

    // Creates the frame and handles the command line (arguments without the program's name);
    // false means the program ends.
    bool InitInstance(const QStringList& arguments);

    CMainFrame* GetMainFrame() const { return m_pFrame.get(); }
    CWirelarkView* GetView() const { return m_pView; }
    QPrinter& GetPrinter() { return *m_pPrinter; }
    // The status the program ends with when InitInstance returned false.
    int ExitCode() const { return m_nExitCode; }
    CWirelarkDoc& GetDocument() { return m_doc; }
    const CRecentFileList& RecentFiles() const { return m_recentFiles; }

    // The document commands.
    bool OnFileNew();
    bool OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    bool OnOpenRecentFile(int index);
    void OnAppAbout();
    // Opens a file as Open does after its dialog: asks to save a modified document first.
    bool OpenDocumentFile(const QString& path);
    // One after the other, so that the last is left open.
    void OpenDroppedFiles(const QStringList& paths);
    // Asks to save a modified document; false when the user cancelled or the save failed.
    bool SaveModified();

private:
    void CreateViews();
    void ConnectCommands();
    // "/p" and "/pt": prints the open document's list without a dialog; the exit status.
    int PrintFromCommandLine(const QString& printerName);
    bool DoSave(const QString& path, CaptureFileFormat format);
    void UpdateTitle();
    void AddToRecentFiles(const QString& path);
    void ShowMessage(const QString& text, MessageIcon icon = MessageIcon::Warning);

    std::unique_ptr<IMessageSink> m_pOwnMessages;
    IMessageSink* m_pMessages;
    Seams m_seams;
    CWirelarkDoc m_doc;
    CRecentFileList m_recentFiles;
    std::unique_ptr<CMainFrame> m_pFrame;
    CWirelarkView* m_pView = nullptr;  // owned by the frame
    std::unique_ptr<QPrinter> m_pPrinter;
    int m_nExitCode = 0;
    // An open or a save is under way; its progress dialog lets events through, and none of them
    // may start another.
    bool m_bFileWork = false;
};

}  // namespace wirelark
