// The "Buffer Size" page of the setup sheet: a slider of 100 positions for 1 to 100 megabytes
// with a value label that follows it.
#pragma once

#include <QWidget>

class QLabel;
class QSlider;

namespace wirelark {

class CBufferSetupPage : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxPosition = 99;

    explicit CBufferSetupPage(QWidget* parent = nullptr);

    static QString Title() { return QStringLiteral("Buffer Size"); }

    // The buffer size in megabytes minus one, as the slider stands now.
    int GetPosition() const;
    // Clamped to 0 to 99.
    void SetPosition(int position);

    QSlider& Slider() const { return *m_pSlider; }
    QLabel& SizeLabel() const { return *m_pSizeText; }

private:
    void ShowSize(int position);

    QSlider* m_pSlider;
    QLabel* m_pSizeText;
};

}  // namespace wirelark
