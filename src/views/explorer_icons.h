// The explorer tree's image strip, drawn in code: 15 pictures of 16 by 15 pixels side by side,
// at the indices the tree's nodes refer to.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <array>

namespace wirelark {

class CExplorerIcons {
public:
    static constexpr int kCount = 15;
    static constexpr int kWidth = 16;
    static constexpr int kHeight = 15;

    static QSize IconSize() { return {kWidth, kHeight}; }
    // 240 by 15 pixels; pixels outside the pictures are transparent.
    static QPixmap Strip();
    // The strip cut into its pictures, in strip order.
    static std::array<QIcon, kCount> Icons();
};

}  // namespace wirelark
