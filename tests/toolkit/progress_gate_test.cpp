// The progress dialog of long file work: hidden for quick work, shown after half a second,
// Cancel stops the work, and the dialog goes with the callback.
#include "toolkit/progress_gate.h"

#include <gtest/gtest.h>

#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QWidget>
#include <tuple>

namespace wirelark {
namespace {

TEST(ProgressGate, WorkMapsOntoTheBarWhateverItCountsIn) {
    constexpr std::uint64_t kBig = 6'000'000'000ull;  // more bytes than an int counts
    // Never past the end; nothing to do is done.
    const std::tuple<std::uint64_t, std::uint64_t, int> cases[] = {
        {0, 100, 0},  {50, 100, 500},        {100, 100, 1000},     {150, 100, 1000},
        {0, 0, 1000}, {kBig / 2, kBig, 500}, {kBig - 1, kBig, 999}};
    for (const auto& [done, total, steps] : cases) {
        EXPECT_EQ(CProgressGate::Steps(done, total), steps) << done << " of " << total;
    }
}

TEST(ProgressGate, DialogShowsAfterHalfASecondItsCancelStopsTheWorkAndItGoesWithTheCallback) {
    QWidget window;
    ProgressCallback report = CProgressGate::Callback(&window, "Saving slow.pcap...");
    auto* dialog = window.findChild<QProgressDialog*>();
    ASSERT_NE(dialog, nullptr);
    for (std::uint64_t done = 0; done <= 100; done += 10) {
        ASSERT_TRUE(report(done, 1000));
    }
    EXPECT_FALSE(dialog->isVisible()) << "quick work shows no dialog";
    QThread::msleep(static_cast<unsigned long>(CProgressGate::kShowAfter.count()) + 50);
    ASSERT_TRUE(report(100, 1000));
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->labelText(), "Saving slow.pcap...");
    EXPECT_EQ(dialog->windowTitle(), "Wirelark  Light");
    EXPECT_EQ(dialog->value(), 100);

    QPushButton* cancel = dialog->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
    EXPECT_FALSE(report(200, 1000));
    ProgressCallback copy = report;
    report = {};
    EXPECT_FALSE(copy(1000, 1000)) << "a cancelled gate stays cancelled";
    EXPECT_EQ(window.findChild<QProgressDialog*>(), dialog) << "a copy still uses it";
    copy = {};
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

}  // namespace
}  // namespace wirelark
