// The "Capture filter" box on the adapter bar: an editable list of recent filters in libpcap's
// language, whose background says while typing whether the text compiles.
#pragma once

#include <QComboBox>
#include <QStringList>

namespace wirelark {

class CCaptureFilterBox final : public QComboBox {
    Q_OBJECT

public:
    explicit CCaptureFilterBox(QWidget* parent = nullptr);

    // Offers `filters`, most recent first, keeping the text being edited.
    void SetRecentFilters(const QStringList& filters);
    // Whether the text compiles; an empty text means every frame and is valid.
    bool IsValid() const { return m_bValid; }

private:
    void Check(const QString& text);

    bool m_bValid = true;
};

}  // namespace wirelark
