// Progress for long file work in the GUI: a progress callback that puts up a modal progress
// dialog once the work has lasted half a second, and cancels the work when Cancel is clicked.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

#include "common/progress.h"

class QWidget;

namespace wirelark {

class CProgressGate {
public:
    static constexpr std::chrono::milliseconds kShowAfter{500};
    // The dialog's bar counts in these steps whatever the work counts in, which may not fit an
    // int (bytes of a large file).
    static constexpr int kSteps = 1000;

    // A callback driving a new gate; the gate and its dialog live as long as the callback and
    // its copies.
    static ProgressCallback Callback(QWidget* parent, const QString& label,
                                     std::chrono::milliseconds showAfter = kShowAfter);
    // Where `done` of `total` lies on the bar, 0 to kSteps.
    static int Steps(std::uint64_t done, std::uint64_t total);

    CProgressGate(QWidget* parent, const QString& label,
                  std::chrono::milliseconds showAfter = kShowAfter);
    ~CProgressGate();
    CProgressGate(const CProgressGate&) = delete;
    CProgressGate& operator=(const CProgressGate&) = delete;

    // Shows how far the work is and lets the dialog paint and take its Cancel click; false
    // once the user has cancelled.
    bool Report(std::uint64_t done, std::uint64_t total);
    bool IsCancelled() const { return m_bCancelled; }
    QProgressDialog& Dialog() { return *m_pDialog; }

private:
    // Owned here, but a child of the parent window, which may go first and take it along.
    QPointer<QProgressDialog> m_pDialog;
    QElapsedTimer m_sincePump;
    bool m_bCancelled = false;
};

}  // namespace wirelark
