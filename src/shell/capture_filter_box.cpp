// Checking compiles the text on a dead handle, which takes microseconds, so it runs on every
// keystroke without holding typing up.
#include "shell/capture_filter_box.h"

#include <QLineEdit>
#include <QPalette>

#include "capture/capture_filter.h"

namespace wirelark {

CCaptureFilterBox::CCaptureFilterBox(QWidget* parent) : QComboBox(parent) {
    setObjectName(QStringLiteral("captureFilterBox"));
    setEditable(true);
    // The list holds filters that started a capture, not whatever Enter was pressed on.
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->setPlaceholderText(QStringLiteral("every frame"));
    lineEdit()->setClearButtonEnabled(true);
    connect(this, &QComboBox::editTextChanged, this, &CCaptureFilterBox::Check);
}

void CCaptureFilterBox::SetRecentFilters(const QStringList& filters) {
    const QString text = currentText();
    const QSignalBlocker blocker(this);
    clear();
    addItems(filters);
    setEditText(text);
}

void CCaptureFilterBox::Check(const QString& text) {
    const std::string error = CheckCaptureFilter(text.toStdString());
    m_bValid = error.empty();
    QPalette colors;  // the window's own colours while the box is empty
    if (!text.trimmed().isEmpty()) {
        colors.setColor(QPalette::Base,
                        m_bValid ? QColor(0xD8, 0xF5, 0xD0) : QColor(0xF8, 0xD0, 0xD0));
        colors.setColor(QPalette::Text, Qt::black);
    }
    lineEdit()->setPalette(colors);
    lineEdit()->setToolTip(m_bValid ? QString() : QString::fromStdString(error));
}

}  // namespace wirelark
