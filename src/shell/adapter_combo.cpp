// Entries are painted here rather than by the style, so the dropped list and the selection field
// look alike.
#include "shell/adapter_combo.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "shell/shell_icons.h"

namespace wirelark {

CAdapterCombo::CAdapterCombo(QWidget* parent) : QComboBox(parent) {
    setObjectName(QStringLiteral("adapterBox"));
    setEditable(false);
    setItemDelegate(new CAdapterItemDelegate(this));
    view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

void CAdapterCombo::DrawEntry(QPainter& painter, const QRect& rect, const QString& text,
                              bool focused) {
    QRect textRect = rect.adjusted(kPictureStrip, 0, 0, 0);
    painter.fillRect(textRect, focused ? QColor(100, 100, 100) : QColor(Qt::white));
    painter.setPen(focused ? Qt::white : Qt::black);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
    const QPoint at = rect.height() == 16 ? rect.topLeft() : rect.topLeft() + QPoint(4, 1);
    painter.drawPixmap(at, CShellIcons::Picture(CShellIcons::Id::Adapter));
}

void CAdapterCombo::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0) {
        return;
    }
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    // The field is white like the dropped list, strip included.
    painter.fillRect(field, Qt::white);
    DrawEntry(painter, field, currentText(), hasFocus());
}

void CAdapterItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    if (!index.isValid()) {
        return;
    }
    const bool focused = (option.state & (QStyle::State_Selected | QStyle::State_HasFocus)) != 0;
    painter->save();
    CAdapterCombo::DrawEntry(*painter, option.rect, index.data(Qt::DisplayRole).toString(),
                             focused);
    painter->restore();
}

QSize CAdapterItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return {CAdapterCombo::kItemWidth, CAdapterCombo::kItemHeight};
}

}  // namespace wirelark
