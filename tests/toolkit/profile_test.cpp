// The per-user profile, isolated in a temporary configuration folder.
#include "toolkit/profile.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

namespace wirelark {
namespace {

TEST(ProfileTest, MissingEntriesGiveTheDefaultAndWrittenOnesReadBack) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    EXPECT_EQ(CProfile::GetProfileInt("Color", "ListViewColor", 0xFFFFFF), 0xFFFFFF);
    CProfile::WriteProfileInt("Color", "ListViewColor", 0x00336699);
    EXPECT_EQ(CProfile::GetProfileInt("Color", "ListViewColor", 0xFFFFFF), 0x00336699);
    EXPECT_EQ(CProfile::GetProfileInt("Color", "ListViewTextColor", 7), 7);
    // Stored where every later start finds it, under the application's own name.
    QSettings file(dir.path() + "/Wirelark/Wirelark  Light.ini", QSettings::IniFormat);
    EXPECT_EQ(file.value("Color/ListViewColor").toInt(), 0x00336699);
}

}  // namespace
}  // namespace wirelark
