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
#include <functional>
#include <string>
#include <vector>

#include "toolkit/profile.h"

namespace wirelark {
namespace {

// Stands in for the packet list view: records what OK applies.
class CRecordingTarget final : public ISetupTarget {
public:
    void ApplyListColors() override { calls.push_back("ApplyListColors"); }
    void SetBufferSetting(int setting) override {
        calls.push_back("SetBufferSetting " + std::to_string(setting));
    }
    void ReloadExplorerColors() override { calls.push_back("ReloadExplorerColors"); }

    std::vector<std::string> calls;
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

QStringList LabelTexts(const QWidget& page) {
    QStringList texts;
    for (const QLabel* label : page.findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}

class GeneralSetupTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
        // Whatever a failed drive leaves open is closed, so a broken test fails instead of
        // hanging.
        m_watchdog.setSingleShot(true);
        QObject::connect(&m_watchdog, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "a modal window was left open";
                modal->close();
            }
        });
        m_watchdog.start(10000);
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

    static int ProfileEntry(SetupColor color) {
        return CProfile::GetProfileInt("Color", GetSetupColorEntry(color).entry, -1);
    }

    QTemporaryDir m_dir;
    QTimer m_watchdog;
    CRecordingTarget m_target;
    CFakeChooser m_chooser;
};

TEST_F(GeneralSetupTest, OpensOnBufferSizeWithTheSliderAtTheViewsSetting) {
    for (const auto& [setting, label] : {std::pair{0, "1 MB"}, {42, "43 MB"}, {99, "100 MB"}}) {
        SCOPED_TRACE(setting);
        RunSetup(setting, [&](CGeneralSetup& sheet) {
            EXPECT_EQ(sheet.windowTitle(), "General Setup");
            ASSERT_EQ(sheet.Pages().count(), 2);
            EXPECT_EQ(sheet.Pages().tabText(0), "Buffer Size");
            EXPECT_EQ(sheet.Pages().tabText(1), "Colors");
            EXPECT_EQ(sheet.Pages().currentIndex(), 0);
            EXPECT_EQ(sheet.BufferPage().Slider().value(), setting);
            EXPECT_EQ(sheet.BufferPage().SizeLabel().text(), label);
            const QStringList labels = LabelTexts(sheet.BufferPage());
            EXPECT_TRUE(labels.contains("1 MB") && labels.contains("100 MB"));
            sheet.reject();
        });
    }
}

TEST_F(GeneralSetupTest, OkAtTheRightEndGivesSetting99AndAppliesEverythingInOrder) {
    const SetupOutcome outcome = RunSetup(0, [](CGeneralSetup& sheet) {
        sheet.BufferPage().Slider().triggerAction(QAbstractSlider::SliderToMaximum);
        // The label follows at once, and OK right after the move takes it.
        EXPECT_EQ(sheet.BufferPage().SizeLabel().text(), "100 MB");
        Press(sheet, QDialogButtonBox::Ok);
    });
    EXPECT_TRUE(outcome.accepted);
    EXPECT_EQ(outcome.bufferSetting, 99);
    EXPECT_EQ(m_target.calls, (std::vector<std::string>{"ApplyListColors", "SetBufferSetting 99",
                                                        "ReloadExplorerColors"}));
}

TEST_F(GeneralSetupTest, EndingOtherwiseThanOkAppliesNothingButKeepsChosenColours) {
    m_chooser.answer = QColor(Qt::red);
    const std::pair<const char*, std::function<void(CGeneralSetup&)>> endings[] = {
        {"Cancel", [](CGeneralSetup& sheet) { Press(sheet, QDialogButtonBox::Cancel); }},
        {"close", [](CGeneralSetup& sheet) { sheet.close(); }},
        {"Escape", [](CGeneralSetup& sheet) { sheet.reject(); }},
    };
    for (const auto& [name, end] : endings) {
        SCOPED_TRACE(name);
        const SetupOutcome outcome = RunSetup(7, [&](CGeneralSetup& sheet) {
            sheet.BufferPage().Slider().triggerAction(QAbstractSlider::SliderToMaximum);
            sheet.ColorPage().ChooseButton(SetupColor::ListView).click();
            end(sheet);
        });
        EXPECT_FALSE(outcome.accepted);
        EXPECT_EQ(outcome.bufferSetting, 7);
        EXPECT_TRUE(m_target.calls.empty());
        EXPECT_EQ(ProfileEntry(SetupColor::ListView), 0x000000FF);
        CProfile::WriteProfileInt("Color", "ListViewColor", 0);
    }
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
    const QStringList labels = LabelTexts(page);
    for (const SetupColorEntry& entry : kSetupColorEntries) {
        EXPECT_TRUE(labels.contains(entry.label)) << entry.label;
    }

    page.ChooseButton(SetupColor::TreeView).click();
    EXPECT_EQ(m_chooser.initials.size(), 1U);
    EXPECT_EQ(page.GetSwatchColor(SetupColor::TreeView), QColor(0xCC, 0xBB, 0xAA));
    EXPECT_EQ(ProfileEntry(SetupColor::TreeView), 0x00AABBCC);
}

TEST_F(GeneralSetupTest, EachButtonStartsTheChooserAtBlackAndWritesOnlyItsOwnEntryAtOnce) {
    m_chooser.answer = QColor(0x10, 0x20, 0x30);
    CSetupColorPage page(m_chooser.Get());
    for (std::size_t i = 0; i < kSetupColorEntries.size(); ++i) {
        page.ChooseButton(kSetupColorEntries[i].color).click();
        EXPECT_EQ(page.GetSwatchColor(kSetupColorEntries[i].color), m_chooser.answer);
        for (std::size_t j = 0; j < kSetupColorEntries.size(); ++j) {
            EXPECT_EQ(ProfileEntry(kSetupColorEntries[j].color), j <= i ? 0x00302010 : -1)
                << "after button " << i << ", entry " << j;
        }
    }
    EXPECT_EQ(m_chooser.initials, std::vector<QColor>(kSetupColorEntries.size(), Qt::black));
}

}  // namespace
}  // namespace wirelark
