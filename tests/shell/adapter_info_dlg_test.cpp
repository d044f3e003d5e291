// The adapter information dialog over a made-up device list.
#include "shell/adapter_info_dlg.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QHeaderView>
#include <QTableWidget>

#include "qt_printers.h"
#include "support/capture_fakes.h"

namespace wirelark {
namespace {

TEST(AdapterInfoDlgTest, RowsAndMessagesFollowTheDeviceListUnderHeadingsOneAndAHalfTimesWide) {
    const auto ipv4 = [](Ipv4Bytes address, std::optional<Ipv4Bytes> mask,
                         std::optional<Ipv4Bytes> broadcast) -> CDeviceAddress {
        return {AF_INET, address, mask, broadcast};
    };
    // Two IPv4 addresses give two rows; an adapter with none has no row; one without any name is
    // reported and skipped; one without description shows its name; no broadcast address leaves
    // the last column empty.
    const struct {
        std::vector<CDeviceEntry> devices;
        std::vector<QStringList> rows;
        std::vector<std::string> messages;
        const char* failure = nullptr;  // the enumeration fails with this text
    } cases[] = {
        {{{"eth0",
           "Intel Ethernet",
           {ipv4({192, 168, 1, 5}, {{255, 255, 255, 0}}, {{192, 168, 1, 255}}),
            {AF_INET6, {}, {}, {}},
            ipv4({10, 0, 0, 7}, {{255, 0, 0, 0}}, {{10, 255, 255, 255}})}},
          {"wlan0", "Wireless", {{AF_INET6, {}, {}, {}}, {AF_PACKET, {}, {}, {}}}},
          {"", std::nullopt, {ipv4({1, 2, 3, 4}, {}, {})}},
          {"tun0", std::nullopt, {ipv4({172, 16, 0, 1}, {{255, 255, 255, 255}}, {})}}},
         {{"Intel Ethernet", "192.168.1.5", "255.255.255.0", "192.168.1.255"},
          {"Intel Ethernet", "10.0.0.7", "255.0.0.0", "10.255.255.255"},
          {"tun0", "172.16.0.1", "255.255.255.255", ""}},
         {"No Description available"}},
        {{}, {}, {"No Interfaces found!"}},
        {{}, {}, {"socket: Operation not permitted"}, "socket: Operation not permitted"},
    };
    const QStringList headings{"Device Description     ", "Ip Address      ", "Net Mask        ",
                               "Broadaddr       "};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.messages.back());
        test::CFakeDeviceSource devices;
        devices.devices = c.devices;
        devices.fail = c.failure != nullptr;
        devices.error = c.failure != nullptr ? c.failure : "unused";
        test::CRecordingMessageSink messages;
        CAdapterInfoDlg dialog(devices, messages);
        EXPECT_EQ(dialog.windowTitle(), "Info");
        const QTableWidget* list = dialog.List();
        ASSERT_EQ(list->columnCount(), 4);
        const QFontMetrics metrics(list->horizontalHeader()->font());
        ASSERT_EQ(list->rowCount(), static_cast<int>(c.rows.size()));
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(list->horizontalHeaderItem(column)->text(), headings[column]);
            EXPECT_EQ(list->columnWidth(column),
                      metrics.horizontalAdvance(headings[column]) * 15 / 10);
            for (int row = 0; row < list->rowCount(); ++row) {
                const QTableWidgetItem* item = list->item(row, column);
                EXPECT_EQ(item->text(), c.rows[row][column]) << row;
                // The adapter picture before the description, the addresses centred.
                EXPECT_EQ(item->icon().isNull(), column > 0) << row << " " << column;
                EXPECT_EQ(item->textAlignment() == Qt::AlignCenter, column > 0) << row;
            }
        }
        EXPECT_EQ(messages.Texts(), c.messages);
        CAdapterInfoDlg again(devices, messages);
        EXPECT_EQ(devices.calls, 2) << "every opening enumerates afresh";
    }
}

}  // namespace
}  // namespace wirelark
