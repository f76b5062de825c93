// Scrollbar helpers for the host's custom-drawn windows. They work on the standard WS_HSCROLL and
// WS_VSCROLL bars of the window they are given; sizes are in pixels. A null or destroyed window
// is left alone.
#include "exports/export.h"
#include "util/scrollbars.h"

namespace util = kwill::util;

// Sets both bars for content of the given size (vertical: maximum contentHeight; horizontal:
// maximum contentWidth; each page what the client area leaves once the needed bars are in) and
// returns the bars the content needs: 0, WS_HSCROLL, WS_VSCROLL or both. The caller applies
// those styles. WM_SIZE messages that showing or hiding a bar would send are dropped while the
// bars change, so the window does not lay itself out halfway through. 0 for a bad window.
KWILL_EXPORT DWORD AutoUpdateWindowScrollbars(HWND window, int contentWidth, int contentHeight) {
    if (!window || !::IsWindow(window)) return 0;
    util::SizeMessageGuard guard(window);
    util::WindowScrollbars bars(window);
    return util::AutoUpdateScrollbars(bars, contentWidth, contentHeight, util::SystemBarMetrics());
}

// Sets both bars from ranges and pages, allowing for the room each shown bar takes from the
// other direction. rangeX and rangeY (in/out) are one more than the largest scroll position;
// on return they hold what was set, or the caller's values for a bar that ended hidden. pageX
// -1 takes both pages from the window's client area (with room for its bars). A page height of
// at most a horizontal bar's thickness plus 1 hides both bars. A non-zero limitX or limitY caps
// a range that grew because a bar took room. Nothing happens without both range pointers or
// without a window. The bars are not redrawn.
KWILL_EXPORT void UpdateWindowScrollbars(HWND window, int* rangeX, int* rangeY, int pageX,
                                         int pageY, int limitX, int limitY) {
    if (!window || !rangeX || !rangeY || !::IsWindow(window)) return;
    util::WindowScrollbars bars(window);
    util::UpdateScrollbars(bars, rangeX, rangeY, pageX, pageY, limitX, limitY,
                           util::SystemBarMetrics());
}

// Paints the square where a window's two bars meet in the button face colour (the bars leave it
// unpainted). Nothing unless the window has both bars.
KWILL_EXPORT void RepaintSliderSquare(HWND window) {
    if (!window || !::IsWindow(window)) return;
    util::RepaintSliderSquare(window);
}
