// The message sink the program uses: modal boxes captioned "Wirelark  Light".
#include "toolkit/message_box_sink.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <future>
#include <string>
#include <utility>

namespace wirelark {
namespace {

using namespace std::chrono_literals;

// Closes the next modal box as soon as it is shown, remembering its caption, text and icon.
void CloseNextBox(std::string& seen) {
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            CloseNextBox(seen);  // not shown yet: look again at the next turn of the loop
            return;
        }
        seen = (box->windowTitle() + '|' + box->text() + '|' + QString::number(box->icon()))
                   .toStdString();
        box->accept();
    });
}

TEST(MessageBoxSink, ShowsAModalBoxWithTheCaptionTextAndIconFromAnyThread) {
    const std::pair<MessageIcon, QMessageBox::Icon> icons[] = {
        {MessageIcon::None, QMessageBox::NoIcon},
        {MessageIcon::Information, QMessageBox::Information},
        {MessageIcon::Warning, QMessageBox::Warning},
        {MessageIcon::Error, QMessageBox::Critical}};
    CMessageBoxSink sink;
    for (const auto& [icon, expected] : icons) {
        SCOPED_TRACE(expected);
        std::string seen;
        CloseNextBox(seen);
        // A warning comes from a worker thread: the box is shown on the GUI thread and the
        // worker waits for it to close.
        const auto policy =
            icon == MessageIcon::Warning ? std::launch::async : std::launch::deferred;
        std::future<bool> closed = std::async(policy, [&, icon = icon] {
            sink.ShowMessage("eth9: No such device exists", icon);
            return !seen.empty();
        });
        for (int i = 0; i < 500 && closed.wait_for(0s) == std::future_status::timeout; ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        EXPECT_TRUE(closed.get());
        EXPECT_EQ(seen, "Wirelark  Light|eth9: No such device exists|" + std::to_string(expected));
    }
}

}  // namespace
}  // namespace wirelark
