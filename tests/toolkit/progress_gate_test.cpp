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
    constexpr std::uint64_t kSixGigabytes = 6'000'000'000ull;
    const struct {
        std::uint64_t done;
        std::uint64_t total;
        int steps;
    } cases[] = {
        {0, 100, 0},
        {50, 100, 500},
        {100, 100, 1000},
        {150, 100, 1000},  // never past the end
        {0, 0, 1000},      // nothing to do is done
        {kSixGigabytes / 2, kSixGigabytes, 500},
        {kSixGigabytes - 1, kSixGigabytes, 999},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CProgressGate::Steps(c.done, c.total), c.steps) << c.done << " of " << c.total;
    }
}

TEST(ProgressGate, QuickWorkShowsNoDialog) {
    QWidget window;
    CProgressGate gate(&window, "Opening quick.pcap...");
    for (std::uint64_t done = 0; done <= 1000; done += 100) {
        EXPECT_TRUE(gate.Report(done, 1000));
    }
    EXPECT_FALSE(gate.Dialog().isVisible());
    EXPECT_FALSE(gate.IsCancelled());
}

TEST(ProgressGate, SlowWorkShowsAModalDialogWhoseCancelStopsIt) {
    QWidget window;
    CProgressGate gate(&window, "Saving slow.pcap...");
    ASSERT_TRUE(gate.Report(0, 1000));
    QThread::msleep(static_cast<unsigned long>(CProgressGate::kShowAfter.count()) + 50);
    ASSERT_TRUE(gate.Report(100, 1000));
    QProgressDialog& dialog = gate.Dialog();
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.labelText(), "Saving slow.pcap...");
    EXPECT_EQ(dialog.windowTitle(), "Wirelark  Light");
    EXPECT_EQ(dialog.value(), 100);

    QPushButton* cancel = dialog.findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
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
