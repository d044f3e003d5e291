// Start from the adapter box: the device opened is exactly the one chosen, whatever bytes its
// name is made of.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include "shell/adapter_bar.h"
#include "shell/adapter_combo.h"
#include "shell/main_frame.h"
#include "shell/wirelark_app.h"
#include "support/capture_fakes.h"
#include "views/wirelark_view.h"

namespace wirelark {
namespace {

TEST(AdapterStartTest, StartOpensTheChosenDeviceByItsExactBytesEvenWhenTheyAreNotUtf8) {
    QTemporaryDir profile;
    ASSERT_TRUE(profile.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());
    // Two names that differ only in bytes that are not UTF-8, and one whose description is not.
    const std::string names[] = {"eth0\xff", "eth0\xfe", "wlan0"};
    test::CFakeDeviceSource devices;
    devices.devices = {test::MakeDevice(names[0]), test::MakeDevice(names[1]),
                       test::MakeDevice(names[2], "Caf\xe9 adapter")};
    test::CRecordingMessageSink messages;
    CWirelarkApp::Seams seams;
    seams.messages = &messages;
    seams.devices = &devices;
    CWirelarkApp app(seams);
    ASSERT_TRUE(app.InitInstance({}));
    CAdapterCombo* box = app.GetMainFrame()->AdapterBar()->AdapterBox();
    ASSERT_EQ(box->count(), 3);
    CWirelarkView& view = *app.GetView();
    for (int index : {1, 0, 2}) {
        box->setCurrentIndex(index);
        const std::size_t before = devices.Opened().size();
        view.OnCaptureStart();
        QElapsedTimer timer;
        timer.start();
        while ((devices.Opened().size() == before || !view.IsStartEnabled()) &&
               timer.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        ASSERT_EQ(devices.Opened().size(), before + 1) << "Start did nothing for entry " << index;
        EXPECT_EQ(devices.Opened().back(), names[index]);
    }
}

}  // namespace
}  // namespace wirelark
