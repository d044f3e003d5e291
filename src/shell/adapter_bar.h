// The strip below the toolbar: the adapter box and the "Packet Filter", "Ports" and "Wirelark"
// buttons. The main frame gives the buttons their menus and commands.
#pragma once

#include <QToolButton>
#include <QWidget>

namespace wirelark {

class CAdapterCombo;

class CAdapterBar final : public QWidget {
    Q_OBJECT

public:
    explicit CAdapterBar(QWidget* parent = nullptr);

    CAdapterCombo* AdapterBox() const { return m_pAdapterBox; }
    QToolButton* FilterButton() const { return m_pFilterButton; }
    QToolButton* PortsButton() const { return m_pPortsButton; }
    QToolButton* ProductButton() const { return m_pProductButton; }

    // Dialog units of the bar's layout in pixels of the bar's font.
    int DialogUnitsX(int units) const;
    int DialogUnitsY(int units) const;

private:
    QToolButton* AddButton(const QString& text, int x, int width);

    CAdapterCombo* m_pAdapterBox;
    QToolButton* m_pFilterButton;
    QToolButton* m_pPortsButton;
    QToolButton* m_pProductButton;
};

}  // namespace wirelark
