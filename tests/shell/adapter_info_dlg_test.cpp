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

using test::CFakeDeviceSource;
using test::CRecordingMessageSink;
using test::MakeDevice;

CDeviceAddress Ipv4(Ipv4Bytes address, std::optional<Ipv4Bytes> netmask,
                    std::optional<Ipv4Bytes> broadcast) {
    return {AF_INET, address, netmask, broadcast};
}

CDeviceAddress Ipv6() {
    return {AF_INET6, std::nullopt, std::nullopt, std::nullopt};
}

QStringList Row(const QTableWidget* list, int row) {
    QStringList cells;
    for (int column = 0; column < list->columnCount(); ++column) {
        const QTableWidgetItem* item = list->item(row, column);
        cells << (item != nullptr ? item->text() : QString());
    }
    return cells;
}

struct DialogCase {
    const char* name;
    std::vector<CDeviceEntry> devices;
    std::vector<QStringList> rows;
    std::vector<std::string> messages;
    const char* failure = nullptr;  // the enumeration fails with this text
};

std::vector<DialogCase> Cases() {
    CDeviceEntry twoAddresses = MakeDevice("eth0", "Intel Ethernet");
    twoAddresses.addresses = {
        Ipv4({192, 168, 1, 5}, Ipv4Bytes{255, 255, 255, 0}, Ipv4Bytes{192, 168, 1, 255}), Ipv6(),
        Ipv4({10, 0, 0, 7}, Ipv4Bytes{255, 0, 0, 0}, Ipv4Bytes{10, 255, 255, 255})};
    CDeviceEntry ipv6Only = MakeDevice("wlan0", "Wireless");
    ipv6Only.addresses = {Ipv6(), {17, std::nullopt, std::nullopt, std::nullopt}};
    CDeviceEntry noBroadcast = MakeDevice("tun0");  // no description: shown under its name
    noBroadcast.addresses = {Ipv4({172, 16, 0, 1}, Ipv4Bytes{255, 255, 255, 255}, std::nullopt)};
    CDeviceEntry nameless = MakeDevice("");
    nameless.addresses = {Ipv4({1, 2, 3, 4}, std::nullopt, std::nullopt)};

    return {
        {"TwoIpv4AddressesGiveTwoRowsWithTheSameDescription",
         {twoAddresses},
         {{"Intel Ethernet", "192.168.1.5", "255.255.255.0", "192.168.1.255"},
          {"Intel Ethernet", "10.0.0.7", "255.0.0.0", "10.255.255.255"}},
         {}},
        {"Ipv6OnlyAdapterHasNoRow", {ipv6Only}, {}, {}},
        {"AddressWithoutBroadcastLeavesTheLastColumnEmpty",
         {noBroadcast},
         {{"tun0", "172.16.0.1", "255.255.255.255", ""}},
         {}},
        {"AdapterWithoutAnyNameIsReportedAndSkipped",
         {nameless, noBroadcast},
         {{"tun0", "172.16.0.1", "255.255.255.255", ""}},
         {"No Description available"}},
        {"NoAdaptersSaysSo", {}, {}, {"No Interfaces found!"}},
        {"FailedEnumerationShowsTheLibraryText",
         {},
         {},
         {"socket: Operation not permitted"},
         "socket: Operation not permitted"},
    };
}

TEST(AdapterInfoDlgTest, RowsAndMessagesFollowTheDeviceList) {
    for (const DialogCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        CFakeDeviceSource devices;
        devices.devices = c.devices;
        devices.fail = c.failure != nullptr;
        devices.error = c.failure != nullptr ? c.failure : "unused";
        CRecordingMessageSink messages;
        CAdapterInfoDlg dialog(devices, messages);
        const QTableWidget* list = dialog.List();
        ASSERT_EQ(list->rowCount(), static_cast<int>(c.rows.size()));
        for (int row = 0; row < list->rowCount(); ++row) {
            EXPECT_EQ(Row(list, row), c.rows[static_cast<std::size_t>(row)]);
            EXPECT_FALSE(list->item(row, 0)->icon().isNull());
            EXPECT_EQ(list->item(row, 1)->textAlignment(), Qt::AlignCenter);
        }
        EXPECT_EQ(messages.Texts(), c.messages);
    }
}

TEST(AdapterInfoDlgTest, ColumnsCarryTheirHeadingsAndOneAndAHalfTimesTheirWidth) {
    CFakeDeviceSource devices;
    devices.devices = {MakeDevice("lo")};
    CRecordingMessageSink messages;
    CAdapterInfoDlg dialog(devices, messages);
    EXPECT_EQ(dialog.windowTitle(), "Info");
    const QTableWidget* list = dialog.List();
    ASSERT_EQ(list->columnCount(), 4);
    const QStringList headings{"Device Description     ", "Ip Address      ", "Net Mask        ",
                               "Broadaddr       "};
    const QFontMetrics metrics(list->horizontalHeader()->font());
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(list->horizontalHeaderItem(column)->text(), headings[column]);
        EXPECT_EQ(list->columnWidth(column), metrics.horizontalAdvance(headings[column]) * 15 / 10);
    }
    EXPECT_EQ(devices.calls, 1);
    CAdapterInfoDlg again(devices, messages);
    EXPECT_EQ(devices.calls, 2) << "every opening enumerates afresh";
}

}  // namespace
}  // namespace wirelark
