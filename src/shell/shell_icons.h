// The shell's pictures, drawn anew with QPainter at 16 by 16 pixels (the toolbar's buttons, the
// adapter bar's buttons and adapter picture, and the program icon).
#pragma once

#include <QIcon>
#include <QPixmap>

namespace wirelark {

class CShellIcons {
public:
    enum class Id {
        Start,
        Stop,
        New,
        Open,
        Save,
        Print,
        Adapters,
        About,
        Filter,
        Ports,
        Product,
        Adapter,
    };

    static QPixmap Picture(Id id);
    static QIcon Icon(Id id) { return QIcon(Picture(id)); }
    // The program's icon, at several sizes.
    static QIcon ProgramIcon();
};

}  // namespace wirelark
