// The progress dialog of long file work, fed from the core's progress callback.
#include "toolkit/progress_gate.h"

#include <QCoreApplication>

#include "toolkit/message_box_sink.h"

namespace wirelark {
namespace {

// The core reports up to 512 times per operation; looking at the event queue more often than
// this would only slow the work down.
constexpr qint64 kPumpIntervalMs = 40;

}  // namespace

ProgressCallback CProgressGate::Callback(QWidget* parent, const QString& label,
                                         std::chrono::milliseconds showAfter) {
    auto gate = std::make_shared<CProgressGate>(parent, label, showAfter);
    return [gate](std::uint64_t done, std::uint64_t total) { return gate->Report(done, total); };
}

int CProgressGate::Steps(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || done >= total) {
        return kSteps;
    }
    return static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * kSteps);
}

CProgressGate::CProgressGate(QWidget* parent, const QString& label,
                             std::chrono::milliseconds showAfter)
    : m_pDialog(new QProgressDialog(label, QStringLiteral("Cancel"), 0, kSteps, parent)) {
    m_pDialog->setWindowTitle(CMessageBoxSink::Caption());
    // Modal, so that nothing else can be started while the work goes on.
    m_pDialog->setWindowModality(Qt::ApplicationModal);
    m_pDialog->setMinimumDuration(static_cast<int>(showAfter.count()));
    m_pDialog->setAutoReset(false);
    m_pDialog->setAutoClose(false);
    QObject::connect(m_pDialog.data(), &QProgressDialog::canceled, [this] { m_bCancelled = true; });
}

CProgressGate::~CProgressGate() {
    delete m_pDialog.data();
}

bool CProgressGate::Report(std::uint64_t done, std::uint64_t total) {
    if (m_bCancelled || m_pDialog.isNull()) {
        return !m_bCancelled;
    }
    if (m_sincePump.isValid() && m_sincePump.elapsed() < kPumpIntervalMs && done < total) {
        return true;
    }
    m_sincePump.start();
    m_pDialog->setValue(Steps(done, total));
    // Until the dialog is up and blocks the other windows, the user's clicks and keys wait.
    QCoreApplication::processEvents(m_pDialog->isVisible() ? QEventLoop::AllEvents
                                                           : QEventLoop::ExcludeUserInputEvents);
    return !m_bCancelled;
}

}  // namespace wirelark
