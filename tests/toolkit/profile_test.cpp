// The per-user profile, isolated in a temporary configuration folder.
#include "toolkit/profile.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace wirelark {
namespace {

class ProfileTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }
    QTemporaryDir m_dir;
};

TEST_F(ProfileTest, MissingEntriesGiveTheDefaultAndWrittenOnesReadBack) {
    EXPECT_EQ(CProfile::GetProfileInt("Color", "ListViewColor", 0xFFFFFF), 0xFFFFFF);
    CProfile::WriteProfileInt("Color", "ListViewColor", 0x00336699);
    EXPECT_EQ(CProfile::GetProfileInt("Color", "ListViewColor", 0xFFFFFF), 0x00336699);
    EXPECT_EQ(CProfile::GetProfileInt("Color", "ListViewTextColor", 7), 7);
    // Stored where every later start finds it, under the application's own name.
    QSettings file(m_dir.path() + "/Wirelark/Wirelark  Light.ini", QSettings::IniFormat);
    EXPECT_EQ(file.value("Color/ListViewColor").toInt(), 0x00336699);
}

TEST_F(ProfileTest, ColourReferencesKeepRedInTheLowByte) {
    const QColor color = CProfile::ColorFromRef(0x00302010);
    EXPECT_EQ(color, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(CProfile::RefFromColor(QColor(0x10, 0x20, 0x30)), 0x00302010);
    EXPECT_EQ(CProfile::RefFromColor(CProfile::ColorFromRef(0x00FFFFFF)), 0x00FFFFFF);
}

}  // namespace
}  // namespace wirelark
