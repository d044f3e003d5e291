// The buffer size page; the label is updated from the slider's own signal, so it is never
// empty and never behind the slider.
#include "views/buffer_setup_page.h"

#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "views/setup_page_layout.h"

namespace wirelark {
namespace {

constexpr int kInitialPosition = 10;

}  // namespace

CBufferSetupPage::CBufferSetupPage(QWidget* parent)
    : QWidget(parent), m_pSlider(nullptr), m_pSizeText(nullptr) {
    const CDialogUnits units(font());
    setMinimumSize(units.X(kSetupPageWidth), units.Y(kSetupPageHeight));

    auto* frame = new QGroupBox(this);
    frame->setGeometry(units.Rect(7, 7, 186, 106));

    m_pSlider = new QSlider(Qt::Horizontal, this);
    m_pSlider->setGeometry(units.Rect(19, 45, 165, 22));
    m_pSlider->setRange(0, kMaxPosition);
    m_pSlider->setTickPosition(QSlider::TicksAbove);
    m_pSlider->setTickInterval(1);
    m_pSlider->setPageStep(10);
    m_pSlider->setFocusPolicy(Qt::StrongFocus);
    m_pSlider->setAccessibleName(Title());

    auto* low = new QLabel(QStringLiteral("1 MB"), this);
    low->setGeometry(units.Rect(23, 68, 24, 11));
    auto* high = new QLabel(QStringLiteral("100 MB"), this);
    high->setGeometry(units.Rect(154, 67, 32, 9));
    m_pSizeText = new QLabel(this);
    m_pSizeText->setGeometry(units.Rect(91, 31, 34, 10));

    connect(m_pSlider, &QSlider::valueChanged, this, &CBufferSetupPage::ShowSize);
    m_pSlider->setValue(kInitialPosition);
    ShowSize(m_pSlider->value());
}

int CBufferSetupPage::GetPosition() const {
    return m_pSlider->value();
}

void CBufferSetupPage::SetPosition(int position) {
    m_pSlider->setValue(std::clamp(position, 0, kMaxPosition));
}

void CBufferSetupPage::ShowSize(int position) {
    m_pSizeText->setText(QStringLiteral("%1 MB").arg(position + 1));
}

}  // namespace wirelark
