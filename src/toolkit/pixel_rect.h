// A rectangle in whole device pixels for the layout code that works in plain numbers (the hex
// dump, the printed list), free of any painting.
#pragma once

namespace wirelark {

// Left and top inclusive; right and bottom lie just outside the rectangle.
struct CPixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const CPixelRect&) const = default;
};

}  // namespace wirelark
