// Paths are kept absolute so that the list means the same after a change of folder.
#include "shell/recent_file_list.h"

#include <QDir>
#include <QFileInfo>

#include "toolkit/profile.h"

namespace wirelark {
namespace {

const QString kSection = QStringLiteral("Recent File List");
const QString kEntry = QStringLiteral("File");

}  // namespace

void CRecentFileList::ReadList() {
    m_files = CProfile::GetProfileList(kSection, kEntry, m_nSize);
}

void CRecentFileList::WriteList() const {
    CProfile::WriteProfileList(kSection, kEntry, m_files);
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
