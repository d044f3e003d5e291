// The message sink the program uses: modal boxes captioned "Wirelark  Light".
#include "toolkit/message_box_sink.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <thread>

namespace wirelark {
namespace {

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modal = false;
};

// Closes the next modal box as soon as it is shown, remembering what it said.
void CloseNextBox(SeenBox& seen) {
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            CloseNextBox(seen);  // not shown yet: look again at the next turn of the loop
            return;
        }
        seen = {box->windowTitle(), box->text(), box->icon(), box->isModal()};
        box->accept();
    });
}

TEST(MessageBoxSink, ShowsAModalBoxWithTheCaptionTextAndIcon) {
    const struct {
        MessageIcon icon;
        QMessageBox::Icon expected;
    } cases[] = {{MessageIcon::None, QMessageBox::NoIcon},
                 {MessageIcon::Information, QMessageBox::Information},
                 {MessageIcon::Warning, QMessageBox::Warning},
                 {MessageIcon::Error, QMessageBox::Critical}};
    CMessageBoxSink sink;
    for (const auto& c : cases) {
        SeenBox seen;
        CloseNextBox(seen);
        sink.ShowMessage("Space in memory is Full!", c.icon);
        EXPECT_EQ(seen.caption, QStringLiteral("Wirelark  Light"));
        EXPECT_EQ(seen.text, QStringLiteral("Space in memory is Full!"));
        EXPECT_EQ(seen.icon, c.expected);
        EXPECT_TRUE(seen.modal);
    }
}

TEST(MessageBoxSink, AMessageFromAnotherThreadIsShownOnTheGuiThreadAndWaitsForIt) {
    CMessageBoxSink sink;
    SeenBox seen;
    std::atomic<bool> returned{false};
    bool boxClosedBeforeReturn = false;
    CloseNextBox(seen);
    std::thread worker([&] {
        sink.ShowMessage("eth9: No such device exists", MessageIcon::Warning);
        boxClosedBeforeReturn = !seen.text.isEmpty();
        returned = true;
    });
    for (int i = 0; i < 500 && !returned.load(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    worker.join();
    EXPECT_TRUE(boxClosedBeforeReturn);
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(seen.caption, QStringLiteral("Wirelark  Light"));
    EXPECT_EQ(seen.text, QStringLiteral("eth9: No such device exists"));
}

}  // namespace
}  // namespace wirelark
