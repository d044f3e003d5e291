// The "Capture filter" box after the adapter bar: an editable list of recent filters in
// libpcap's language, whose background says while typing whether the text compiles.
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

// The box with its "Capture filter" label, for the adapter toolbar: a toolbar item of its own
// after the adapter bar, so that a narrow window moves it into the toolbar's overflow menu
// instead of growing wider than the screen.
class CCaptureFilterBar final : public QWidget {
    Q_OBJECT

public:
    explicit CCaptureFilterBar(QWidget* parent = nullptr);

    CCaptureFilterBox* Box() const { return m_pBox; }

private:
    CCaptureFilterBox* m_pBox;
};

}  // namespace wirelark
