// The packet list view: list set-up, the intake of captured frames, Start and Stop, and the
// row click that shows a packet.
#include "views/wirelark_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <algorithm>

#include "capture/capture_filter.h"
#include "store/wirelark_doc.h"
#include "toolkit/message_box_sink.h"
#include "views/setup_color_page.h"
#include "views/view_frame.h"

namespace wirelark {

CWirelarkView::CWirelarkView(CWirelarkDoc& doc, IViewFrame& frame, IMessageSink& messages,
                             IDeviceSource& devices, QWidget* parent)
    : QTableView(parent),
      m_doc(doc),
      m_frame(frame),
      m_messages(messages),
      m_model(doc),
      m_handover(*this,
                 [this] {
                     // Runs on the worker, once for all frames queued until the GUI thread
                     // takes them between its other work.
                     QMetaObject::invokeMethod(
                         this, [this] { m_handover.ServicePending(); }, Qt::QueuedConnection);
                 }),
      m_engine(messages, devices) {
    setModel(&m_model);
    m_showTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &CWirelarkView::ShowTakenFrames);
    // The kernel's drops are shown even while no frame comes through to set the panes.
    constexpr int kDropsIntervalMs = 500;
    m_dropsTimer.setInterval(kDropsIntervalMs);
    connect(&m_dropsTimer, &QTimer::timeout, this,
            [this] { m_frame.SetDroppedPane(m_engine.GetStatistics().dropped); });
    connect(this, &QTableView::clicked, this, &CWirelarkView::OnRowClicked);
    // Keyboard moves show their row too; a click then applies its own rule after this.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) {
                    ShowPacketNumber(current.row() + 1);
                }
            });
    // Like a terminal, the list follows new rows while it is scrolled to the bottom, and stays
    // where the user scrolled otherwise.
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { m_bFollowNewRows = value == bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_bFollowNewRows) {
            bar->setValue(maximum);
        }
    });
    // A file that lost packets under an open document is found out while rows are painted or
    // saved; the message waits until that is done.
    m_doc.SetReadFailureHandler([this](const std::string& message) {
        QMetaObject::invokeMethod(
            this, [this, message] { m_messages.ShowMessage(message, MessageIcon::Warning); },
            Qt::QueuedConnection);
    });
}

CWirelarkView::~CWirelarkView() {
    m_doc.SetReadFailureHandler({});
    // A worker waiting for this thread is released before the engine joins it.
    m_handover.Close();
}

void CWirelarkView::OnInitialUpdate() {
    m_frame.ClearPacketTree();
    m_frame.ClearOutput();
    if (!m_bListInitialised) {
        OneTimeSetup();
    }
    RefillRows();
    m_counters.Reset();
    m_showTimer.stop();
    ShowCounts();
    if (m_engine.IsCapturing() != 0) {
        PrepareStoreForCapture();  // a capture goes on into the new document
    }
    m_listPrinter.SetList(&m_printSource);
    m_listPrinter.SetLeftHeader(CMessageBoxSink::Caption());
    m_listPrinter.SetRightHeader(QString::fromStdString(m_doc.GetTitle()));
}

void CWirelarkView::OneTimeSetup() {
    m_bListInitialised = true;
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(true);
    setWordWrap(false);
    setIconSize(QSize(16, 15));
    verticalHeader()->hide();
    // Every row has the same height, so a million rows cost no per-row layout.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    for (int column = 0; column < kColumnCount; ++column) {
        const QString title = QString::fromLatin1(CPacketListModel::kTitles[column]);
        header->resizeSection(column, fontMetrics().horizontalAdvance(title) * 15 / 10);
    }
    ApplyListColors();

    m_engine.SetTargetWindow(&m_handover);
    if (m_engine.EnumerateAdapters() != 0) {
        std::vector<std::string> descriptions;
        m_engine.GetAdapterDescriptions(descriptions);
        m_frame.FillAdapterBox(descriptions);
    }
}

void CWirelarkView::ApplyListColors() {
    const QColor background = ReadSetupColor(SetupColor::ListView);
    const QColor text = ReadSetupColor(SetupColor::ListViewText);
    QPalette colors = palette();
    colors.setColor(QPalette::Base, background);
    colors.setColor(QPalette::AlternateBase, background);
    colors.setColor(QPalette::Text, text);
    setPalette(colors);
    m_model.SetColors(background, text);
    viewport()->update();
}

void CWirelarkView::RefillRows() {
    m_model.RefillRows();
    // An opened file is read from its first row; only an empty list follows the capture to come.
    m_bFollowNewRows = m_model.rowCount() == 0;
    scrollToTop();
}

void CWirelarkView::SetBufferSetting(int setting) {
    m_counters.bufferSetting = std::clamp(setting, 0, kMaxBufferSetting);
}

void CWirelarkView::OnCaptureStart() {
    const std::string name = m_engine.FindAdapterName(m_frame.GetSelectedAdapter());
    if (name.empty()) {
        return;
    }
    // A filter that does not compile is refused here, before any device is opened.
    const std::string filter = m_frame.GetCaptureFilter();
    const std::string filterError = CheckCaptureFilter(filter);
    if (!filterError.empty()) {
        m_messages.ShowMessage(CaptureFilterMessage(filter, filterError), MessageIcon::Warning);
        return;
    }
    m_engine.SetCaptureFilter(filter);
    // A worker that fails at once posts its failure behind this call, which ends what is begun
    // here; asking whether it still runs would depend on how fast it failed.
    if (m_engine.StartCapture(name) != 0) {
        PrepareStoreForCapture();
        m_frame.CaptureFilterUsed(filter);
        m_frame.SetDroppedPane(0);
        m_frame.ShowCaptureNote({});
        m_dropsTimer.start();
    }
    emit CaptureStateChanged();
}

void CWirelarkView::PrepareStoreForCapture() {
    // The frames take no more than their wire lengths, which the buffer counts, and the last
    // one may pass the limit by a frame.
    m_doc.PrepareForCapture(
        static_cast<std::size_t>(m_counters.GetRoomBytes() + CCaptureEngine::kSnapLength));
}

void CWirelarkView::CaptureEnded() {
    m_doc.CaptureEnded();
    m_dropsTimer.stop();
    // The worker has ended: the figure is final, and stays until the next Start.
    const std::uint64_t dropped = m_engine.GetStatistics().dropped;
    m_frame.SetDroppedPane(dropped);
    if (dropped > 0) {
        m_frame.ShowCaptureNote(DroppedFramesNote(dropped));
    }
}

void CWirelarkView::OnCaptureStop() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_engine.StopCapture();
    QApplication::restoreOverrideCursor();
    // Every frame read before the stop is queued by now, and none after it: taken and shown at
    // once, the rows and counts are final while no capture runs.
    m_handover.ServicePending();
    CaptureEnded();
    ShowTakenFrames();
    emit CaptureStateChanged();
}

bool CWirelarkView::TakeFrame(const pcap_pkthdr& header, std::span<const std::uint8_t> frame) {
    const int number = static_cast<int>(m_doc.GetPacketList().size()) + 1;
    // The time text is the one FormatTimeText makes of the capture time; the record makes it
    // again when the row is shown, so it is not kept as well.
    const auto store = [&] { return m_doc.AddPacket(number, header, frame); };
    if (TakeCapturedFrame(m_counters, m_frame.GetFilterFlags(), header.len, frame, store) !=
        IntakeVerdict::BufferFull) {
        return true;  // rows and counts are shown once the pass is done
    }
    // Nothing after this frame is stored: the capture stops here, and the hand-over drops what
    // was read behind it when this returns (a nested pass in the message's loop takes nothing).
    m_engine.StopCapture();
    CaptureEnded();
    ShowTakenFrames();
    emit CaptureStateChanged();
    m_messages.ShowMessage(kBufferFullMessage, MessageIcon::Information);
    return false;
}

void CWirelarkView::FramesTaken() {
    m_doc.CaptureAdvanced();
    // Painting the list and the panes after every pass would cost the window far more than
    // taking the frames does; a few times a second keeps both the eye and the CPU content.
    constexpr qint64 kShowIntervalMs = 40;
    if (m_showTimer.isActive()) {
        return;
    }
    const qint64 since = m_sinceShown.isValid() ? m_sinceShown.elapsed() : kShowIntervalMs;
    if (since >= kShowIntervalMs) {
        ShowTakenFrames();
    } else {
        m_showTimer.start(static_cast<int>(kShowIntervalMs - since));
    }
}

void CWirelarkView::ShowTakenFrames() {
    m_showTimer.stop();
    m_sinceShown.start();
    m_model.PacketsAppended();
    ShowCounts();
}

void CWirelarkView::OnCapturedPacket(const pcap_pkthdr& header,
                                     std::span<const std::uint8_t> frame) {
    if (TakeFrame(header, frame)) {
        ShowTakenFrames();
    }
}

void CWirelarkView::ShowCounts() {
    m_frame.SetFilteredPane(m_counters.filtered);
    m_frame.SetCapturedPane(m_counters.captured);
    m_frame.SetBufferPane(static_cast<int>(m_counters.GetBufferFill()));
}

void CWirelarkView::OnCaptureFailed(const std::string& message) {
    CaptureEnded();
    ShowTakenFrames();           // the capture has ended: its counts are final
    emit CaptureStateChanged();  // Start is available again before the message is read
    m_messages.ShowMessage(message, MessageIcon::Warning);
}

void CWirelarkView::OnRowClicked() {
    // The selection as ranges, so that a million selected rows cost no list of a million.
    const QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty()) {
        return;
    }
    int lowest = selection.front().top();
    for (const QItemSelectionRange& range : selection) {
        lowest = std::min(lowest, range.top());
    }
    ShowPacketNumber(lowest + 1);
}

QModelIndex CWirelarkView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    if (action == MoveHome || action == MoveEnd) {
        modifiers |= Qt::ControlModifier;
    }
    return QTableView::moveCursor(action, modifiers);
}

void CWirelarkView::ShowPacketNumber(int number) {
    std::vector<std::uint8_t> bytes;
    m_doc.FindPacket(number, bytes);
    m_frame.ShowPacket(number, bytes);
}

void CWirelarkView::SelectRows(const std::vector<int>& rows) {
    if (rows.empty() || rows.front() < 0 || rows.back() >= m_model.rowCount()) {
        return;
    }
    // Runs of neighbouring rows as one range each, so that a conversation of a million packets
    // costs a few ranges.
    QItemSelection selection;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= rows.size(); ++i) {
        if (i == rows.size() || rows[i] != rows[i - 1] + 1) {
            selection.select(m_model.index(rows[start], 0),
                             m_model.index(rows[i - 1], kColumnCount - 1));
            start = i;
        }
    }
    const QModelIndex first = m_model.index(rows.front(), 0);
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    scrollTo(first);
    ShowPacketNumber(m_doc.GetPacketList()[static_cast<std::size_t>(rows.front())].GetNumber());
}

void CWirelarkView::ReloadExplorerColors() {
    m_frame.ReloadExplorerColors();
}

void CWirelarkView::OnSetup() {
    CGeneralSetup::RunSetup(this, GetBufferSetting(), *this);
}

void CWirelarkView::OnFilePrint(QPrinter& printer) {
    PrintWithDialog(m_listPrinter, printer, this);
}

int CWirelarkView::OnFilePrintDirect(QPrinter& printer) {
    return PrintWithoutDialog(m_listPrinter, printer);
}

void CWirelarkView::OnFilePrintPreview(QPrinter& printer) {
    PrintPreview(m_listPrinter, printer, this);
}

}  // namespace wirelark
