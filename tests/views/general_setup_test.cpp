// The setup sheet driven offscreen: the modal sheet is worked from a zero-time timer and the
// colour chooser is a stand-in, so nothing waits for a user.
#include "views/general_setup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/packet_intake.h"
#include "toolkit/profile.h"

namespace wirelark {
namespace {

// Stands in for the packet list view: keeps the intake's counters and records what OK applies,
// with the colours the profile holds at that moment.
class CRecordingTarget final : public ISetupTarget {
public:
    void ApplyListColors() override {
        calls.push_back("ApplyListColors");
        listBackground = ReadSetupColor(SetupColor::ListView);
    }
    void SetBufferSetting(int setting) override {
        calls.push_back("SetBufferSetting");
        counters.bufferSetting = setting;
    }
    void ReloadExplorerColors() override {
        calls.push_back("ReloadExplorerColors");
        treeBackground = ReadSetupColor(SetupColor::TreeView);
    }

    std::vector<std::string> calls;
    CIntakeCounters counters;
    QColor listBackground;
    QColor treeBackground;
};

// A colour chooser that answers with a fixed colour (invalid: cancelled) and remembers what it
// was started with.
struct CFakeChooser {
    QColor answer;
    std::vector<QColor> initials;

    ColorChooser Get() {
        return [this](const QColor& initial, QWidget*) {
            initials.push_back(initial);
            return answer;
        };
    }
};

// An ARP frame, which the default filters keep.
std::vector<std::uint8_t> KeptFrame() {
    std::vector<std::uint8_t> frame(60, 0);
    frame[12] = 0x08;
    frame[13] = 0x06;
    return frame;
}

class GeneralSetupTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
        // Whatever a failed drive leaves open is closed, so a broken test fails instead of
        // hanging.
        m_watchdog.setSingleShot(true);
        m_watchdog.setInterval(10000);
        QObject::connect(&m_watchdog, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "a modal window was left open";
                modal->close();
            }
        });
        m_watchdog.start();
    }

    // Runs the Setup command from bufferSetting; drive works the open sheet and ends it.
    SetupOutcome RunSetup(int bufferSetting, const std::function<void(CGeneralSetup&)>& drive) {
        QTimer::singleShot(0, [drive] {
            auto* sheet = qobject_cast<CGeneralSetup*>(QApplication::activeModalWidget());
            if (sheet == nullptr) {
                ADD_FAILURE() << "the setup sheet is not the modal window";
                return;
            }
            drive(*sheet);
        });
        return CGeneralSetup::RunSetup(nullptr, bufferSetting, m_target, m_chooser.Get());
    }

    static void Press(CGeneralSetup& sheet, QDialogButtonBox::StandardButton which) {
        auto* buttons = sheet.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        ASSERT_NE(buttons->button(which), nullptr);
        buttons->button(which)->click();
    }

    static int ProfileEntry(SetupColor color, int missing) {
        return CProfile::GetProfileInt("Color", GetSetupColorEntry(color).entry, missing);
    }

    QTemporaryDir m_dir;
    QTimer m_watchdog;
    CRecordingTarget m_target;
    CFakeChooser m_chooser;
};

TEST_F(GeneralSetupTest, OpensOnBufferSizeWithTheSliderAtTheViewsSetting) {
    const struct {
        int setting;
        const char* label;
    } cases[] = {{0, "1 MB"}, {42, "43 MB"}, {99, "100 MB"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        RunSetup(c.setting, [&](CGeneralSetup& sheet) {
            EXPECT_EQ(sheet.windowTitle(), "General Setup");
            ASSERT_EQ(sheet.Pages().count(), 2);
            EXPECT_EQ(sheet.Pages().tabText(0), "Buffer Size");
            EXPECT_EQ(sheet.Pages().tabText(1), "Colors");
            EXPECT_EQ(sheet.Pages().currentIndex(), 0);
            const QSlider& slider = sheet.BufferPage().Slider();
            EXPECT_EQ(slider.minimum(), 0);
            EXPECT_EQ(slider.maximum(), 99);
            EXPECT_EQ(slider.value(), c.setting);
            EXPECT_EQ(sheet.BufferPage().SizeLabel().text(), c.label);
            QStringList labels;
            for (const QLabel* label : sheet.BufferPage().findChildren<QLabel*>()) {
                labels << label->text();
            }
            EXPECT_TRUE(labels.contains("1 MB") && labels.contains("100 MB"));
            sheet.reject();
        });
    }
}

TEST_F(GeneralSetupTest, OkAtTheRightEndGivesSetting99AndAHundredMillionByteLimit) {
    const SetupOutcome outcome = RunSetup(0, [](CGeneralSetup& sheet) {
        sheet.BufferPage().Slider().triggerAction(QAbstractSlider::SliderToMaximum);
        // The label follows at once, and OK right after the move takes it.
        EXPECT_EQ(sheet.BufferPage().SizeLabel().text(), "100 MB");
        Press(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_TRUE(outcome.accepted);
    EXPECT_EQ(outcome.bufferSetting, 99);
    EXPECT_EQ(m_target.calls, (std::vector<std::string>{"ApplyListColors", "SetBufferSetting",
                                                        "ReloadExplorerColors"}));
    EXPECT_EQ(m_target.counters.bufferSetting, 99);
}

TEST_F(GeneralSetupTest, EndingOtherwiseThanOkKeepsTheOldSetting) {
    const struct {
        const char* name;
        std::function<void(CGeneralSetup&)> end;
    } endings[] = {
        {"Cancel", [](CGeneralSetup& sheet) { Press(sheet, QDialogButtonBox::Cancel); }},
        {"close", [](CGeneralSetup& sheet) { sheet.close(); }},
        {"Escape", [](CGeneralSetup& sheet) { sheet.reject(); }},
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        m_target = CRecordingTarget{};
        m_target.counters.bufferSetting = 7;
        const SetupOutcome outcome = RunSetup(7, [&](CGeneralSetup& sheet) {
            sheet.BufferPage().Slider().triggerAction(QAbstractSlider::SliderToMaximum);
            ending.end(sheet);
        });
        EXPECT_FALSE(outcome.accepted);
        EXPECT_EQ(outcome.bufferSetting, 7);
        EXPECT_TRUE(m_target.calls.empty());
        EXPECT_EQ(m_target.counters.bufferSetting, 7);
        // The next sheet starts where the view still stands.
        RunSetup(m_target.counters.bufferSetting, [](CGeneralSetup& sheet) {
            EXPECT_EQ(sheet.BufferPage().GetPosition(), 7);
            sheet.reject();
        });
    }
}

TEST_F(GeneralSetupTest, LoweringTheBufferBelowWhatIsStoredMakesTheNextFrameMeetAFullBuffer) {
    m_target.counters.bufferSetting = 9;
    m_target.counters.byteTotal = 5'000'000;
    const std::vector<std::uint8_t> frame = KeptFrame();
    EXPECT_EQ(JudgeCapturedFrame(m_target.counters, CFilterFlags{}, frame),
              IntakeVerdict::Accepted);
    RunSetup(9, [](CGeneralSetup& sheet) {
        sheet.BufferPage().SetPosition(2);
        Press(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(m_target.counters.bufferSetting, 2);
    EXPECT_EQ(m_target.counters.byteTotal, 5'000'000U);
    EXPECT_EQ(JudgeCapturedFrame(m_target.counters, CFilterFlags{}, frame),
              IntakeVerdict::BufferFull);
}

TEST_F(GeneralSetupTest, SwatchesStartFromTheProfileOrTheDefaultsAndACancelledChooserKeepsThem) {
    CProfile::WriteProfileInt("Color", "ListViewTextColor", 0x00123456);
    CProfile::WriteProfileInt("Color", "WorkSpaceColor", 0x00AABBCC);
    m_chooser.answer = QColor();
    CSetupColorPage page(m_chooser.Get());
    EXPECT_EQ(page.GetSwatchColor(SetupColor::ListView), QColor(Qt::white));
    EXPECT_EQ(page.GetSwatchColor(SetupColor::ListViewText), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(page.GetSwatchColor(SetupColor::TreeView), QColor(0xCC, 0xBB, 0xAA));
    EXPECT_EQ(page.GetSwatchColor(SetupColor::TreeViewText), QColor(Qt::black));
    QStringList labels;
    for (const QLabel* label : page.findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const SetupColorEntry& entry : kSetupColorEntries) {
        EXPECT_TRUE(labels.contains(entry.label)) << entry.label;
    }

    page.ChooseButton(SetupColor::TreeView).click();
    EXPECT_EQ(m_chooser.initials.size(), 1U);
    EXPECT_EQ(page.GetSwatchColor(SetupColor::TreeView), QColor(0xCC, 0xBB, 0xAA));
    EXPECT_EQ(ProfileEntry(SetupColor::TreeView, -1), 0x00AABBCC);
}

TEST_F(GeneralSetupTest, EachButtonWritesOnlyItsOwnEntryAtOnce) {
    const QColor chosen(0x10, 0x20, 0x30);
    for (const SetupColorEntry& entry : kSetupColorEntries) {
        SCOPED_TRACE(entry.entry);
        QTemporaryDir dir;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        m_chooser = CFakeChooser{chosen, {}};
        CSetupColorPage page(m_chooser.Get());
        page.ChooseButton(entry.color).click();

        ASSERT_EQ(m_chooser.initials.size(), 1U);
        EXPECT_EQ(m_chooser.initials[0], QColor(Qt::black));
        EXPECT_EQ(page.GetSwatchColor(entry.color), chosen);
        for (const SetupColorEntry& other : kSetupColorEntries) {
            EXPECT_EQ(ProfileEntry(other.color, -1), other.color == entry.color ? 0x00302010 : -1)
                << other.entry;
        }
    }
}

TEST_F(GeneralSetupTest, ChosenColoursAreStoredAtOnceButAppliedOnlyAtOk) {
    m_chooser.answer = QColor(Qt::red);
    RunSetup(0, [](CGeneralSetup& sheet) {
        sheet.Pages().setCurrentIndex(1);
        sheet.ColorPage().ChooseButton(SetupColor::ListView).click();
        Press(sheet, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(ProfileEntry(SetupColor::ListView, -1), 0x000000FF);
    EXPECT_TRUE(m_target.calls.empty());

    RunSetup(0, [](CGeneralSetup& sheet) {
        EXPECT_EQ(sheet.ColorPage().GetSwatchColor(SetupColor::ListView), QColor(Qt::red));
        Press(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(m_target.listBackground, QColor(Qt::red));

    // The tree view's colour is reloaded on OK too, and the buffer setting stays.
    m_chooser.answer = QColor(0, 128, 0);
    RunSetup(3, [](CGeneralSetup& sheet) {
        sheet.ColorPage().ChooseColor(SetupColor::TreeView);
        Press(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(m_target.treeBackground, QColor(0, 128, 0));
    EXPECT_EQ(m_target.counters.bufferSetting, 3);
}

}  // namespace
}  // namespace wirelark
