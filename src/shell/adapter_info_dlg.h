// "Info": one row per IPv4 address of every adapter the capture library reports, enumerated
// afresh each time the dialog opens.
#pragma once

#include <QDialog>

#include "capture/device_source.h"
#include "common/message_sink.h"

class QTableWidget;

namespace wirelark {

class CAdapterInfoDlg final : public QDialog {
    Q_OBJECT

public:
    CAdapterInfoDlg(IDeviceSource& devices, IMessageSink& messages, QWidget* parent = nullptr);

    QTableWidget* List() const { return m_pList; }

    static const QStringList& ColumnHeadings();

private:
    void OnInitDialog();
    void AddRow(const QString& description, const CDeviceAddress& address);

    IDeviceSource& m_devices;
    IMessageSink& m_messages;
    QTableWidget* m_pList;
};

}  // namespace wirelark
