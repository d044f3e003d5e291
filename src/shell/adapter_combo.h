// The adapter box: a drop-down list of adapter descriptions, each entry drawn 20 pixels high
// with the adapter picture in a strip at its left.
#pragma once

#include <QComboBox>
#include <QStyledItemDelegate>

namespace wirelark {

class CAdapterCombo final : public QComboBox {
    Q_OBJECT

public:
    static constexpr int kItemWidth = 100;
    static constexpr int kItemHeight = 20;
    static constexpr int kPictureStrip = 20;

    explicit CAdapterCombo(QWidget* parent = nullptr);

    // Draws one entry; `focused` gives the grey fill with white text.
    static void DrawEntry(QPainter& painter, const QRect& rect, const QString& text, bool focused);

protected:
    void paintEvent(QPaintEvent* event) override;
};

class CAdapterItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace wirelark
