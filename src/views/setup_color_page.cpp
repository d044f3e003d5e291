// The colours page: swatches painted from the profile, chosen colours written back at once.
#include "views/setup_color_page.h"

#include <QColorDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "toolkit/profile.h"
#include "views/setup_page_layout.h"

namespace wirelark {
namespace {

const QString kColorSection = QStringLiteral("Color");

struct SwatchPlace {
    SetupColor color;
    QRect label;
    QRect swatch;
    QRect button;
};

// In dialog units.
const std::array<SwatchPlace, 4> kPlaces{{
    {SetupColor::ListView, {20, 20, 50, 8}, {19, 28, 34, 10}, {55, 28, 10, 10}},
    {SetupColor::ListViewText, {20, 64, 69, 8}, {20, 72, 34, 10}, {56, 72, 10, 10}},
    {SetupColor::TreeView, {121, 20, 50, 8}, {121, 28, 34, 10}, {157, 28, 10, 10}},
    {SetupColor::TreeViewText, {120, 63, 66, 8}, {122, 72, 34, 10}, {160, 72, 10, 10}},
}};

std::size_t IndexOf(SetupColor color) {
    return static_cast<std::size_t>(color);
}

QRect ToPixels(const CDialogUnits& units, const QRect& rect) {
    return units.Rect(rect.x(), rect.y(), rect.width(), rect.height());
}

}  // namespace

const SetupColorEntry& GetSetupColorEntry(SetupColor color) {
    return kSetupColorEntries[IndexOf(color)];
}

QColor ReadSetupColor(SetupColor color) {
    const SetupColorEntry& entry = GetSetupColorEntry(color);
    return CProfile::GetProfileColor(QString::fromLatin1(entry.entry), entry.defaultRef);
}

QColor ChooseColorWithDialog(const QColor& initial, QWidget* parent) {
    return QColorDialog::getColor(initial, parent);
}

CSetupColorPage::CSetupColorPage(ColorChooser chooser, QWidget* parent)
    : QWidget(parent), m_chooser(chooser ? std::move(chooser) : ChooseColorWithDialog) {
    const CDialogUnits units(font());
    setMinimumSize(units.X(kSetupPageWidth), units.Y(kSetupPageHeight));

    auto* frame = new QGroupBox(this);
    frame->setGeometry(units.Rect(7, 7, 186, 106));

    for (const SwatchPlace& place : kPlaces) {
        const SetupColorEntry& entry = GetSetupColorEntry(place.color);
        auto* label = new QLabel(QString::fromLatin1(entry.label), this);
        label->setGeometry(ToPixels(units, place.label));

        Swatch& swatch = m_swatches[IndexOf(place.color)];
        swatch.frame = new QFrame(this);
        swatch.frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        swatch.frame->setFocusPolicy(Qt::TabFocus);
        swatch.frame->setAutoFillBackground(true);
        swatch.frame->setGeometry(ToPixels(units, place.swatch));
        swatch.frame->setAccessibleName(label->text());
        Paint(*swatch.frame, ReadSetupColor(place.color));

        swatch.button = new QPushButton(QStringLiteral("..."), this);
        swatch.button->setGeometry(ToPixels(units, place.button));
        swatch.button->setAutoDefault(false);
        swatch.button->setAccessibleName(label->text());
        connect(swatch.button, &QPushButton::clicked, this,
                [this, color = place.color] { ChooseColor(color); });
    }
}

QColor CSetupColorPage::GetSwatchColor(SetupColor color) const {
    return SwatchOf(color).frame->palette().color(QPalette::Window);
}

QPushButton& CSetupColorPage::ChooseButton(SetupColor color) const {
    return *SwatchOf(color).button;
}

void CSetupColorPage::ChooseColor(SetupColor color) {
    // The chooser starts at black rather than at the swatch's colour: nothing is preselected.
    const QColor chosen = m_chooser(CProfile::ColorFromRef(0), this);
    if (!chosen.isValid()) {
        return;
    }
    const QColor opaque(chosen.red(), chosen.green(), chosen.blue());
    Paint(*SwatchOf(color).frame, opaque);
    CProfile::WriteProfileInt(kColorSection, QString::fromLatin1(GetSetupColorEntry(color).entry),
                              CProfile::RefFromColor(opaque));
}

const CSetupColorPage::Swatch& CSetupColorPage::SwatchOf(SetupColor color) const {
    return m_swatches[IndexOf(color)];
}

void CSetupColorPage::Paint(QFrame& swatch, const QColor& color) {
    QPalette palette = swatch.palette();
    palette.setColor(QPalette::Window, color);
    swatch.setPalette(palette);
    swatch.update();
}

}  // namespace wirelark
