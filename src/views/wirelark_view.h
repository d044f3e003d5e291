// The packet list: the main window's content and the hub of capturing. It owns the capture
// engine, takes every captured frame through the intake on the GUI thread, and shows the
// document's packets as rows.
#pragma once

#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>
#include <cstdint>

#include "capture/capture_engine.h"
#include "capture/frame_handover.h"
#include "capture/packet_intake.h"
#include "toolkit/list_printer.h"
#include "toolkit/table_view_print_source.h"
#include "views/general_setup.h"
#include "views/packet_list_model.h"

class QPrinter;

namespace wirelark {

class CWirelarkDoc;
class IViewFrame;

class CWirelarkView final : public QTableView, public IFrameConsumer, public ISetupTarget {
    Q_OBJECT

public:
    CWirelarkView(CWirelarkDoc& doc, IViewFrame& frame, IMessageSink& messages,
                  IDeviceSource& devices = DefaultDeviceSource(), QWidget* parent = nullptr);
    ~CWirelarkView() override;

    // At start-up and after every File New and File Open.
    void OnInitialUpdate();
    void RefillRows();

    // Start (32771) and Stop (32772), and their update handlers.
    void OnCaptureStart();
    void OnCaptureStop();
    bool IsStartEnabled() const { return m_engine.IsCapturing() == 0; }
    bool IsStopEnabled() const { return m_engine.IsCapturing() == 1; }

    // The intake, on the GUI thread: the hand-over passes each captured frame to TakeFrame, and
    // calls FramesTaken once a pass, which shows the new rows and counts.
    bool TakeFrame(const pcap_pkthdr& header, std::span<const std::uint8_t> frame) override;
    void FramesTaken() override;
    void OnCaptureFailed(const std::string& message) override;
    // One frame as a pass of its own.
    void OnCapturedPacket(const pcap_pkthdr& header, std::span<const std::uint8_t> frame);
    // Where the capture worker delivers: queues frames for this thread.
    CFrameHandover& Handover() { return m_handover; }

    void AddCapturedBytes(std::uint32_t length) { m_counters.AddCapturedBytes(length); }
    std::uint32_t GetBufferFill() const { return m_counters.GetBufferFill(); }
    const CIntakeCounters& Counters() const { return m_counters; }
    int GetBufferSetting() const { return m_counters.bufferSetting; }
    // Takes a new setting (0 to 99) without touching the counters: a smaller buffer can be
    // full at once.
    void SetBufferSetting(int setting) override;

    // Rereads "ListViewColor" and "ListViewTextColor" and repaints the list.
    void ApplyListColors() override;
    void ReloadExplorerColors() override;

    // The Setup command (32780): the "General Setup" sheet, applied on OK.
    void OnSetup();

    // Printing the list: with the print dialog, without it, and the preview.
    void OnFilePrint(QPrinter& printer);
    int OnFilePrintDirect(QPrinter& printer);
    void OnFilePrintPreview(QPrinter& printer);
    CListPrinter& GetListPrinter() { return m_listPrinter; }

    CCaptureEngine& GetCaptureEngine() { return m_engine; }
    CPacketListModel& GetModel() { return m_model; }

    // Selects these rows (in ascending order) and shows the first, scrolled into view.
    void SelectRows(const std::vector<int>& rows);

signals:
    // A capture started or ended, by a command or by itself (a full buffer, a failed device).
    void CaptureStateChanged();

protected:
    // Home and End go to the first and last row: the list is read by rows, not cells.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void OneTimeSetup();
    void OnRowClicked();
    void ShowPacketNumber(int number);

    // Shows the rows and counts of every frame taken so far, at once.
    void ShowTakenFrames();
    void ShowCounts();
    // Readies the document for the frames the buffer still has room for.
    void PrepareStoreForCapture();
    // After the capture's worker has ended: the store gives back what it did not use, and the
    // kernel's final drop count is shown, with a note when frames were lost.
    void CaptureEnded();

    CWirelarkDoc& m_doc;
    IViewFrame& m_frame;
    IMessageSink& m_messages;
    CPacketListModel m_model;
    CIntakeCounters m_counters;
    bool m_bListInitialised = false;
    bool m_bFollowNewRows = true;
    // While frames stream in, rows and counts are shown at most once an interval.
    QTimer m_showTimer;
    QTimer m_dropsTimer;  // runs while capturing
    QElapsedTimer m_sinceShown;
    CTableViewPrintSource m_printSource{*this};
    CListPrinter m_listPrinter;
    // Declared before the engine, so that the engine (and its worker) is gone first.
    CFrameHandover m_handover;
    CCaptureEngine m_engine;
};

}  // namespace wirelark
