// The profile lives in an INI file in the user's configuration folder, under the organisation
// "Wirelark" and the application "Wirelark  Light".
#include "toolkit/profile.h"

#include <QSettings>

namespace wirelark {
namespace {

QSettings OpenProfile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Wirelark"),
                     QStringLiteral("Wirelark  Light"));
}

}  // namespace

int CProfile::GetProfileInt(const QString& section, const QString& entry, int defaultValue) {
    bool ok = false;
    const int value = OpenProfile().value(section + '/' + entry).toInt(&ok);
    return ok ? value : defaultValue;
}

void CProfile::WriteProfileInt(const QString& section, const QString& entry, int value) {
    QSettings settings = OpenProfile();
    settings.setValue(section + '/' + entry, value);
    settings.sync();
}

QByteArray CProfile::GetProfileBinary(const QString& section, const QString& entry) {
    return OpenProfile().value(section + '/' + entry).toByteArray();
}

void CProfile::WriteProfileBinary(const QString& section,
                                  std::initializer_list<std::pair<QString, QByteArray>> entries) {
    QSettings settings = OpenProfile();
    for (const auto& [entry, value] : entries) {
        settings.setValue(section + '/' + entry, value);
    }
    settings.sync();
}

QStringList CProfile::GetProfileList(const QString& section, const QString& prefix, int maxCount) {
    const QSettings settings = OpenProfile();
    QStringList texts;
    for (int i = 1; i <= maxCount; ++i) {
        const QString text = settings.value(section + '/' + prefix + QString::number(i)).toString();
        if (!text.isEmpty() && !texts.contains(text)) {
            texts.append(text);
        }
    }
    return texts;
}

void CProfile::WriteProfileList(const QString& section, const QString& prefix,
                                const QStringList& texts) {
    QSettings settings = OpenProfile();
    settings.remove(section);
    for (int i = 0; i < texts.size(); ++i) {
        settings.setValue(section + '/' + prefix + QString::number(i + 1), texts[i]);
    }
    settings.sync();
}

QColor CProfile::ColorFromRef(int colorRef) {
    const auto ref = static_cast<unsigned>(colorRef);
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

int CProfile::RefFromColor(const QColor& color) {
    return color.red() | color.green() << 8 | color.blue() << 16;
}

}  // namespace wirelark
