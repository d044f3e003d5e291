// The progress dialog of long file work: hidden for quick work, shown after half a second,
// Cancel stops the work, and the dialog goes with the callback.
#include "toolkit/progress_gate.h"

#include <gtest/gtest.h>

#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QWidget>

namespace wirelark {
namespace {

TEST(ProgressGate, WorkMapsOntoTheBarWhateverItCountsIn) {
    constexpr std::uint64_t kBig = 6'000'000'000ull;  // more bytes than an int counts
    // Never past the end; nothing to do is done.
    const struct {
        std::uint64_t done;
        std::uint64_t total;
        int steps;
    } cases[] = {{0, 100, 0},  {50, 100, 500},        {100, 100, 1000},     {150, 100, 1000},
                 {0, 0, 1000}, {kBig / 2, kBig, 500}, {kBig - 1, kBig, 999}};
    for (const auto& c : cases) {
        EXPECT_EQ(CProgressGate::Steps(c.done, c.total), c.steps) << c.done << " of " << c.total;
    }
}

TEST(ProgressGate, ModalDialogShowsOnlyAfterHalfASecondAndItsCancelStopsTheWork) {
    QWidget window;
    CProgressGate gate(&window, "Saving slow.pcap...");
    QProgressDialog& dialog = gate.Dialog();
    for (std::uint64_t done = 0; done <= 100; done += 10) {
        ASSERT_TRUE(gate.Report(done, 1000));
    }
    EXPECT_FALSE(dialog.isVisible()) << "quick work shows no dialog";
    QThread::msleep(static_cast<unsigned long>(CProgressGate::kShowAfter.count()) + 50);
    ASSERT_TRUE(gate.Report(100, 1000));
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.labelText(), "Saving slow.pcap...");
    EXPECT_EQ(dialog.windowTitle(), "Wirelark  Light");
    EXPECT_EQ(dialog.value(), 100);

    QPushButton* cancel = dialog.findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_FALSE(gate.IsCancelled());
    cancel->click();
    EXPECT_FALSE(gate.Report(200, 1000));
    EXPECT_FALSE(gate.Report(1000, 1000)) << "a cancelled gate stays cancelled";
    EXPECT_TRUE(gate.IsCancelled());
}

TEST(ProgressGate, DialogLivesAsLongAsTheCallback) {
    QWidget window;
    ProgressCallback callback = CProgressGate::Callback(&window, "Opening big.cap...");
    ASSERT_NE(window.findChild<QProgressDialog*>(), nullptr);
    ProgressCallback copy = callback;
    EXPECT_TRUE(copy(0, 10));
    callback = {};
    EXPECT_NE(window.findChild<QProgressDialog*>(), nullptr) << "a copy still uses it";
    copy = {};
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

}  // namespace
}  // namespace wirelark
