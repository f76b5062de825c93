// Keeping a custom-drawn window's standard scrollbars in step with its content: which bars the
// content needs, the ranges and pages to set when the bars themselves take room, and the square
// where the two bars meet.
//
// The decisions are plain arithmetic on sizes and a window that tells its styles and takes new
// bar settings, so tests can drive them without a real window; the HWND side is at the end.
#pragma once

#include "frame/platform.h"

#include <cstdint>

namespace kwill::util {

inline constexpr DWORD kHorizontalBar = WS_HSCROLL;  // 0x100000
inline constexpr DWORD kVerticalBar = WS_VSCROLL;    // 0x200000

// Thickness of a vertical bar (SM_CXVSCROLL) and of a horizontal one (SM_CYHSCROLL).
struct BarMetrics {
    int vertical = 0;
    int horizontal = 0;
};

// The window as the scrollbar code sees it. Bars appear and vanish when their settings change,
// so the styles are asked afresh after every SetBar.
class ScrollbarWindow {
  public:
    virtual ~ScrollbarWindow() = default;
    virtual DWORD Styles() = 0;  // the WS_HSCROLL and WS_VSCROLL bits the window has now
    virtual SIZE ClientSize() = 0;
    // SetScrollInfo with SIF_RANGE | SIF_PAGE, minimum 0. bar is SB_HORZ or SB_VERT.
    virtual void SetBar(int bar, int maximum, int page, bool redraw) = 0;
};

// The client area without the bars the window has now.
SIZE AreaWithoutBars(SIZE client, DWORD styles, const BarMetrics& metrics);

// Which bars content of this size needs in an area without bars, and the page sizes left once
// they are in place. A negative content size counts as 0.
struct AutoPlan {
    DWORD bars = 0;  // kHorizontalBar and/or kVerticalBar
    int pageWidth = 0;
    int pageHeight = 0;
};
AutoPlan PlanAutoScrollbars(SIZE area, int contentWidth, int contentHeight,
                            const BarMetrics& metrics);

// Sets both bars from a content size (vertical first, then horizontal, both redrawn) and returns
// the bars the content needs; the caller applies those styles.
DWORD AutoUpdateScrollbars(ScrollbarWindow& window, int contentWidth, int contentHeight,
                           const BarMetrics& metrics);

// Sets both bars from ranges (one more than the largest position) and page sizes, taking off the
// room each shown bar takes from the other direction. pageX -1 takes both pages from the window.
// A non-zero limit caps how far a range may grow because a bar took room. The ranges are written
// back: the value set, or the caller's own when a bar ended hidden.
void UpdateScrollbars(ScrollbarWindow& window, int* rangeX, int* rangeY, int pageX, int pageY,
                      int limitX, int limitY, const BarMetrics& metrics);

// The square where the bars meet, in window coordinates, for a window of this size; empty unless
// the window has both bars. edge is the border thickness (SM_CXEDGE/SM_CYEDGE) when the window
// has an edge style, else 0.
RECT SliderSquare(SIZE window, DWORD styles, SIZE edge, const BarMetrics& metrics);

// ---- real windows

BarMetrics SystemBarMetrics();

// A window handle with the system's bar metrics. WM_SIZE that the bar changes cause can be
// held back while an update runs (SwallowSizeMessages), so the window does not relayout halfway.
class WindowScrollbars : public ScrollbarWindow {
  public:
    explicit WindowScrollbars(HWND window) : window_(window) {}
    DWORD Styles() override;
    SIZE ClientSize() override;
    void SetBar(int bar, int maximum, int page, bool redraw) override;

  private:
    HWND window_;
};

// Subclasses the window for one scope with a procedure that drops WM_SIZE. Works only on the
// window's own thread; elsewhere (or if subclassing fails) the messages pass.
class SizeMessageGuard {
  public:
    explicit SizeMessageGuard(HWND window);
    ~SizeMessageGuard();
    SizeMessageGuard(const SizeMessageGuard&) = delete;
    SizeMessageGuard& operator=(const SizeMessageGuard&) = delete;
    bool active() const { return active_; }

  private:
    HWND window_;
    bool active_ = false;
};

// Fills the square where the two bars meet with the button face colour, on the window DC.
void RepaintSliderSquare(HWND window);

}  // namespace kwill::util
