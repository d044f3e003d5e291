// Paths are kept absolute so that the list means the same after a change of folder.
#include "shell/recent_file_list.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace wirelark {
namespace {

const QString kSection = QStringLiteral("Recent File List");

QSettings OpenProfile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Wirelark"),
                     QStringLiteral("Wirelark  Light"));
}

}  // namespace

void CRecentFileList::ReadList() {
    m_files.clear();
    QSettings settings = OpenProfile();
    for (int i = 1; i <= m_nSize; ++i) {
        const QString path = settings.value(kSection + QStringLiteral("/File%1").arg(i)).toString();
        if (!path.isEmpty() && !m_files.contains(path)) {
            m_files.append(path);
        }
    }
}

void CRecentFileList::WriteList() const {
    QSettings settings = OpenProfile();
    settings.remove(kSection);
    for (int i = 0; i < m_files.size(); ++i) {
        settings.setValue(kSection + QStringLiteral("/File%1").arg(i + 1), m_files[i]);
    }
    settings.sync();
}

void CRecentFileList::Add(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(absolute);
    m_files.prepend(absolute);
    while (m_files.size() > m_nSize) {
        m_files.removeLast();
    }
}

void CRecentFileList::Remove(int index) {
    if (index >= 0 && index < m_files.size()) {
        m_files.removeAt(index);
    }
}

QString CRecentFileList::MenuText(int index) const {
    QString path = QDir::toNativeSeparators(m_files.value(index));
    path.replace('&', QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(path);
}

}  // namespace wirelark
