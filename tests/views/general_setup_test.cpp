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
    void ApplyListColors() override { calls += "ApplyListColors;"; }
    void SetBufferSetting(int setting) override {
        calls += "SetBufferSetting " + std::to_string(setting) + ";";
    }
    void ReloadExplorerColors() override { calls += "ReloadExplorerColors;"; }

    std::string calls;
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
        // A sheet that a broken test leaves open is closed, so the test fails instead of hanging.
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
            ASSERT_NE(sheet, nullptr) << "the setup sheet is not the modal window";
            drive(*sheet);
        });
        return CGeneralSetup::RunSetup(nullptr, bufferSetting, m_target, Chooser());
    }

    // A colour chooser that answers m_answer (invalid: cancelled) and records where it started.
    ColorChooser Chooser() {
        return [this](const QColor& initial, QWidget*) {
            m_initials.push_back(initial);
            return m_answer;
        };
    }

    // Ends the sheet with one of its buttons.
    static std::function<void(CGeneralSetup&)> Press(QDialogButtonBox::StandardButton which) {
        return [which](CGeneralSetup& sheet) {
            auto* buttons = sheet.findChild<QDialogButtonBox*>();
            ASSERT_NE(buttons, nullptr);
            ASSERT_NE(buttons->button(which), nullptr);
            buttons->button(which)->click();
        };
    }

    static int ProfileEntry(SetupColor color) {
        return CProfile::GetProfileInt("Color", GetSetupColorEntry(color).entry, -1);
    }

    QTemporaryDir m_dir;
    QTimer m_watchdog;
    CRecordingTarget m_target;
    QColor m_answer;
    std::vector<QColor> m_initials;
};

TEST_F(GeneralSetupTest, OpensOnBufferSizeAtTheViewsSettingOnlyOkAppliesButChosenColoursStay) {
    m_answer = QColor(Qt::red);
    // {how the sheet ends, the setting it opens with and its label, what the target is told}
    using Ending =
        std::tuple<const char*, std::function<void(CGeneralSetup&)>, int, const char*, std::string>;
    const Ending endings[] = {
        {"OK", Press(QDialogButtonBox::Ok), 0, "1 MB",
         "ApplyListColors;SetBufferSetting 99;ReloadExplorerColors;"},
        {"Cancel", Press(QDialogButtonBox::Cancel), 42, "43 MB", ""},
        {"close", [](CGeneralSetup& sheet) { sheet.close(); }, 99, "100 MB", ""},
        {"Escape", [](CGeneralSetup& sheet) { sheet.reject(); }, 7, "8 MB", ""},
    };
    for (const auto& [name, end, setting, label, calls] : endings) {
        SCOPED_TRACE(name);
        m_target.calls.clear();
        const SetupOutcome outcome = RunSetup(setting, [&](CGeneralSetup& sheet) {
            ASSERT_EQ(sheet.Pages().count(), 2);
            EXPECT_EQ((QStringList{sheet.windowTitle(), sheet.Pages().tabText(0),
                                   sheet.Pages().tabText(1)}),
                      (QStringList{"General Setup", "Buffer Size", "Colors"}));
            EXPECT_EQ(sheet.Pages().currentIndex(), 0);
            EXPECT_EQ(sheet.BufferPage().Slider().value(), setting);
            EXPECT_EQ(sheet.BufferPage().SizeLabel().text(), label);
            EXPECT_EQ(LabelTexts(sheet.BufferPage()), (QStringList{"1 MB", "100 MB", label}));
            sheet.BufferPage().Slider().triggerAction(QAbstractSlider::SliderToMaximum);
            // The label follows at once, and an ending right after the move takes it.
            EXPECT_EQ(sheet.BufferPage().SizeLabel().text(), "100 MB");
            sheet.ColorPage().ChooseButton(SetupColor::ListView).click();
            end(sheet);
        });
        EXPECT_EQ(outcome.accepted, !calls.empty());
        EXPECT_EQ(outcome.bufferSetting, calls.empty() ? setting : 99);
        EXPECT_EQ(m_target.calls, calls);
        EXPECT_EQ(ProfileEntry(SetupColor::ListView), 0x000000FF);
        CProfile::WriteProfileInt("Color", "ListViewColor", 0);
    }
}

TEST_F(GeneralSetupTest, SwatchesStartFromTheProfileAndEachButtonStartsAtBlackAndWritesItsEntry) {
    CProfile::WriteProfileInt("Color", "ListViewTextColor", 0x00123456);
    CProfile::WriteProfileInt("Color", "WorkSpaceColor", 0x00AABBCC);
    CSetupColorPage page(Chooser());
    // In the order of kSetupColorEntries: the swatch and the profile entry before any choice.
    const QColor swatches[] = {Qt::white, QColor(0x56, 0x34, 0x12), QColor(0xCC, 0xBB, 0xAA),
                               Qt::black};
    const int entries[] = {-1, 0x00123456, 0x00AABBCC, -1};
    EXPECT_EQ(LabelTexts(page), (QStringList{"ListView Color", "ListView Text Color",
                                             "TreeView Color", "TreeView Text Color"}));
    page.ChooseButton(SetupColor::TreeView).click();  // cancelled: changes nothing checked below
    m_answer = QColor(0x10, 0x20, 0x30);
    for (std::size_t i = 0; i < kSetupColorEntries.size(); ++i) {
        EXPECT_EQ(page.GetSwatchColor(kSetupColorEntries[i].color), swatches[i]) << i;
        page.ChooseButton(kSetupColorEntries[i].color).click();
        EXPECT_EQ(page.GetSwatchColor(kSetupColorEntries[i].color), m_answer);
        for (std::size_t j = 0; j < kSetupColorEntries.size(); ++j) {
            EXPECT_EQ(ProfileEntry(kSetupColorEntries[j].color), j <= i ? 0x00302010 : entries[j])
                << "after button " << i << ", entry " << j;
        }
    }
    EXPECT_EQ(m_initials, std::vector<QColor>(kSetupColorEntries.size() + 1, Qt::black));
}

}  // namespace
}  // namespace wirelark
