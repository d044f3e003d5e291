// Controls are placed at their dialog-unit positions converted with the bar's font.
#include "shell/adapter_bar.h"

#include <QFontMetrics>

#include "shell/adapter_combo.h"

namespace wirelark {
namespace {

int AverageCharWidth(const QFontMetrics& metrics) {
    static const QString sample =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return (metrics.horizontalAdvance(sample) / 26 + 1) / 2;
}

}  // namespace

CAdapterBar::CAdapterBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("adapterBar"));
    m_pAdapterBox = new CAdapterCombo(this);
    m_pAdapterBox->setGeometry(0, 1, DialogUnitsX(162), CAdapterCombo::kItemHeight + 4);
    m_pFilterButton = AddButton(QStringLiteral("Packet Filter"), 166, 58);
    m_pPortsButton = AddButton(QStringLiteral("Ports"), 227, 58);
    m_pProductButton = AddButton(QStringLiteral("Wirelark"), 287, 59);
    const int height = m_pAdapterBox->height() + 2;
    for (QToolButton* button : {m_pFilterButton, m_pPortsButton, m_pProductButton}) {
        button->setFixedHeight(height - 2);
    }
    setFixedSize(DialogUnitsX(349), height);
}

QToolButton* CAdapterBar::AddButton(const QString& text, int x, int width) {
    auto* button = new QToolButton(this);
    button->setText(text);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIconSize(QSize(16, 16));
    button->move(DialogUnitsX(x), 1);
    button->setFixedWidth(DialogUnitsX(width));
    return button;
}

int CAdapterBar::DialogUnitsX(int units) const {
    return units * AverageCharWidth(fontMetrics()) / 4;
}

int CAdapterBar::DialogUnitsY(int units) const {
    return units * fontMetrics().height() / 8;
}

}  // namespace wirelark
