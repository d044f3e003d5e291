// The "Colors" page of the setup sheet: four swatches for the background and text colours of
// the packet list and the explorer tree, each written to the profile the moment it is chosen.
#pragma once

#include <QColor>
#include <QWidget>
#include <array>
#include <functional>

class QFrame;
class QPushButton;

namespace wirelark {

enum class SetupColor { ListView, ListViewText, TreeView, TreeViewText };

struct SetupColorEntry {
    SetupColor color;
    const char* entry;  // in section "Color" of the profile, as 0x00BBGGRR
    int defaultRef;
    const char* label;
};

inline constexpr std::array<SetupColorEntry, 4> kSetupColorEntries{{
    {SetupColor::ListView, "ListViewColor", 0xFFFFFF, "ListView Color"},
    {SetupColor::ListViewText, "ListViewTextColor", 0x000000, "ListView Text Color"},
    {SetupColor::TreeView, "WorkSpaceColor", 0xFFFFFF, "TreeView Color"},
    {SetupColor::TreeViewText, "WorkSpaceTextColor", 0x000000, "TreeView Text Color"},
}};
// The hex dump's background, in section "Color" too though the sheet does not offer it.
inline constexpr char kHexBackgroundEntry[] = "OutputBk";

const SetupColorEntry& GetSetupColorEntry(SetupColor color);
// The colour in the profile now, or its default.
QColor ReadSetupColor(SetupColor color);

// Runs a colour chooser starting at the given colour; an invalid colour means cancelled.
using ColorChooser = std::function<QColor(const QColor& initial, QWidget* parent)>;
// The desktop's modal colour dialog.
QColor ChooseColorWithDialog(const QColor& initial, QWidget* parent);

class CSetupColorPage : public QWidget {
    Q_OBJECT

public:
    // Without a chooser the desktop's colour dialog is used.
    explicit CSetupColorPage(ColorChooser chooser = {}, QWidget* parent = nullptr);

    static QString Title() { return QStringLiteral("Colors"); }

    QColor GetSwatchColor(SetupColor color) const;
    QPushButton& ChooseButton(SetupColor color) const;
    // What the "..." button beside a swatch does.
    void ChooseColor(SetupColor color);

private:
    struct Swatch {
        QFrame* frame = nullptr;
        QPushButton* button = nullptr;
    };

    const Swatch& SwatchOf(SetupColor color) const;
    static void Paint(QFrame& swatch, const QColor& color);

    ColorChooser m_chooser;
    std::array<Swatch, kSetupColorEntries.size()> m_swatches;
};

}  // namespace wirelark
