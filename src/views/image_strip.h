// The program's small image strips, drawn anew: the five 16 by 15 images that the packet list
// (image 2 on every row) and the adapter information dialog (image 3) show.
#pragma once

#include <QPixmap>

namespace wirelark {

class CImageStrip {
public:
    static constexpr int kListImageCount = 5;
    static constexpr int kPacketImage = 2;
    static constexpr int kAdapterImage = 3;

    // Image `index` (0 to 4) of the list strip; an empty pixmap for any other index.
    static QPixmap ListImage(int index);
};

}  // namespace wirelark
