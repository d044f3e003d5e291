// Checking compiles the text on a dead handle, which takes microseconds, so it runs on every
// keystroke without holding typing up.
#include "shell/capture_filter_box.h"

#include <QHBoxLayout>
#include <QLabel>
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

CCaptureFilterBar::CCaptureFilterBar(QWidget* parent)
    : QWidget(parent), m_pBox(new CCaptureFilterBox(this)) {
    setObjectName(QStringLiteral("captureFilterBar"));
    auto* label = new QLabel(QStringLiteral("Capture filter"), this);
    label->setBuddy(m_pBox);
    // Room for a filter of a few terms, such as "host 10.0.0.5 and not arp".
    m_pBox->setMinimumWidth(m_pBox->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 36);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 2, 0);
    layout->addWidget(label);
    layout->addWidget(m_pBox, 1);
}

}  // namespace wirelark
