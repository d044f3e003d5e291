// The dialog asks the device source itself and keeps nothing once closed.
#include "shell/adapter_info_dlg.h"

#include <sys/socket.h>

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "decode/protocol_names.h"
#include "views/image_strip.h"

namespace wirelark {
namespace {

QString DottedQuad(const std::optional<Ipv4Bytes>& bytes) {
    if (!bytes) {
        return {};
    }
    return QString::fromStdString(FormatDottedQuad(*bytes));
}

}  // namespace

const QStringList& CAdapterInfoDlg::ColumnHeadings() {
    static const QStringList headings{
        QStringLiteral("Device Description     "), QStringLiteral("Ip Address      "),
        QStringLiteral("Net Mask        "), QStringLiteral("Broadaddr       ")};
    return headings;
}

CAdapterInfoDlg::CAdapterInfoDlg(IDeviceSource& devices, IMessageSink& messages, QWidget* parent)
    : QDialog(parent), m_devices(devices), m_messages(messages) {
    setWindowTitle(QStringLiteral("Info"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(this);
    auto* groupLayout = new QVBoxLayout(group);
    m_pList = new QTableWidget(0, 4, group);
    m_pList->setObjectName(QStringLiteral("adapterList"));
    groupLayout->addWidget(m_pList);
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    OnInitDialog();
    // Wide enough to show the four columns whole in the desktop's font.
    int columns = 0;
    for (int column = 0; column < m_pList->columnCount(); ++column) {
        columns += m_pList->columnWidth(column);
    }
    resize(std::max(408, columns + 2 * m_pList->frameWidth() + 60), 300);
}

void CAdapterInfoDlg::OnInitDialog() {
    m_pList->setRowCount(0);
    m_pList->setShowGrid(true);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->verticalHeader()->hide();
    m_pList->setIconSize(QSize(16, 15));
    const QFontMetrics metrics(m_pList->horizontalHeader()->font());
    for (int column = 0; column < ColumnHeadings().size(); ++column) {
        auto* heading = new QTableWidgetItem(ColumnHeadings()[column]);
        heading->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
        m_pList->setHorizontalHeaderItem(column, heading);
        m_pList->setColumnWidth(column,
                                metrics.horizontalAdvance(ColumnHeadings()[column]) * 15 / 10);
    }

    std::vector<CDeviceEntry> devices;
    std::string error;
    if (!m_devices.FindAllDevices(devices, error)) {
        m_messages.ShowMessage(error);
        return;
    }
    for (const CDeviceEntry& device : devices) {
        const std::string description = AdapterDescription(device);
        if (description.empty()) {
            m_messages.ShowMessage("No Description available");
            continue;
        }
        for (const CDeviceAddress& address : device.addresses) {
            if (address.family == AF_INET) {
                AddRow(QString::fromStdString(description), address);
            }
        }
    }
    if (devices.empty()) {
        m_messages.ShowMessage("No Interfaces found!");
    }
}

void CAdapterInfoDlg::AddRow(const QString& description, const CDeviceAddress& address) {
    const int row = m_pList->rowCount();
    m_pList->insertRow(row);
    auto* first = new QTableWidgetItem(QIcon(CImageStrip::ListImage(CImageStrip::kAdapterImage)),
                                       description);
    m_pList->setItem(row, 0, first);
    const QString texts[] = {DottedQuad(address.address), DottedQuad(address.netmask),
                             DottedQuad(address.broadcast)};
    for (int column = 1; column <= 3; ++column) {
        auto* item = new QTableWidgetItem(texts[column - 1]);
        item->setTextAlignment(Qt::AlignCenter);
        m_pList->setItem(row, column, item);
    }
}

}  // namespace wirelark
