#include "util/scrollbars.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

namespace kwill::util {
namespace {

// Ranges, pages and limits come from the caller as any 32-bit value; the arithmetic runs in 64
// bits so that a range of INT_MIN or a page of INT_MAX less a bar cannot wrap.
int ToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

// One direction's values while UpdateScrollbars works on them.
struct Axis {
    int64_t maximum;  // largest position; 0 means "no bar"
    int64_t saved;    // the caller's maximum, or where a limit capped it
    int64_t page;
    int64_t limit;
};

// The bar running the other way has appeared and takes `thickness` off this direction's page.
void MakeRoomForBar(Axis& axis, int thickness) {
    axis.page -= thickness;
    if (axis.maximum == 0 && axis.page < axis.saved) axis.maximum = axis.saved;
    if (axis.limit != 0 && axis.maximum > axis.limit) {
        axis.maximum = std::max(axis.maximum - thickness, axis.limit);
        axis.saved = axis.maximum;
    }
    if (axis.maximum <= axis.page) axis.maximum = 0;
}

void Set(ScrollbarWindow& window, int bar, const Axis& axis) {
    window.SetBar(bar, ToInt(axis.maximum), ToInt(axis.page), false);
}

}  // namespace

SIZE AreaWithoutBars(SIZE client, DWORD styles, const BarMetrics& metrics) {
    if (styles & kVerticalBar) client.cx += metrics.vertical;
    if (styles & kHorizontalBar) client.cy += metrics.horizontal;
    return client;
}

AutoPlan PlanAutoScrollbars(SIZE area, int contentWidth, int contentHeight,
                            const BarMetrics& metrics) {
    contentWidth = std::max(contentWidth, 0);
    contentHeight = std::max(contentHeight, 0);
    AutoPlan plan;
    int64_t width = area.cx;
    int64_t height = area.cy;
    if (contentHeight > height) {
        plan.bars |= kVerticalBar;
        width -= metrics.vertical;
    }
    if (contentWidth > width) {
        plan.bars |= kHorizontalBar;
        height -= metrics.horizontal;
        // The horizontal bar took room from the height: now the vertical may be needed too.
        if (!(plan.bars & kVerticalBar) && contentHeight > height) {
            plan.bars |= kVerticalBar;
            width -= metrics.vertical;
        }
    }
    plan.pageWidth = ToInt(width);
    plan.pageHeight = ToInt(height);
    return plan;
}

DWORD AutoUpdateScrollbars(ScrollbarWindow& window, int contentWidth, int contentHeight,
                           const BarMetrics& metrics) {
    SIZE area = AreaWithoutBars(window.ClientSize(), window.Styles(), metrics);
    AutoPlan plan = PlanAutoScrollbars(area, contentWidth, contentHeight, metrics);
    window.SetBar(SB_VERT, std::max(contentHeight, 0), plan.pageHeight, true);
    window.SetBar(SB_HORZ, std::max(contentWidth, 0), plan.pageWidth, true);
    return plan.bars;
}

void UpdateScrollbars(ScrollbarWindow& window, int* rangeX, int* rangeY, int pageX, int pageY,
                      int limitX, int limitY, const BarMetrics& metrics) {
    if (!rangeX || !rangeY) return;
    if (pageX == -1) {
        SIZE area = AreaWithoutBars(window.ClientSize(), window.Styles(), metrics);
        pageX = area.cx;
        pageY = area.cy;
    }
    Axis x = {int64_t{*rangeX} - 1, int64_t{*rangeX} - 1, pageX, limitX};
    Axis y = {int64_t{*rangeY} - 1, int64_t{*rangeY} - 1, pageY, limitY};

    // Too short for even a horizontal bar and a little content: no bars at all.
    if (y.page <= int64_t{metrics.horizontal} + 1) {
        x.maximum = 0;
        y.maximum = 0;
    } else {
        if (x.maximum <= x.page) x.maximum = 0;
        if (y.maximum <= y.page) y.maximum = 0;
    }
    Set(window, SB_HORZ, x);

    bool verticalAdjusted = false;
    if (window.Styles() & kHorizontalBar) {
        MakeRoomForBar(y, metrics.horizontal);
        verticalAdjusted = true;
    }
    Set(window, SB_VERT, y);

    if (window.Styles() & kVerticalBar) {
        MakeRoomForBar(x, metrics.vertical);
        Set(window, SB_HORZ, x);
        // The horizontal bar may have appeared only now.
        if (!verticalAdjusted && (window.Styles() & kHorizontalBar)) {
            MakeRoomForBar(y, metrics.horizontal);
            Set(window, SB_VERT, y);
        }
    }

    // A hidden bar hands the caller's range back unchanged.
    if (x.maximum == 0) x.maximum = x.saved;
    if (y.maximum == 0) y.maximum = y.saved;
    *rangeX = ToInt(x.maximum + 1);
    *rangeY = ToInt(y.maximum + 1);
}

RECT SliderSquare(SIZE window, DWORD styles, SIZE edge, const BarMetrics& metrics) {
    RECT square = {0, 0, 0, 0};
    if ((styles & (kHorizontalBar | kVerticalBar)) != (kHorizontalBar | kVerticalBar)) {
        return square;
    }
    square.right = window.cx - edge.cx;
    square.left = square.right - metrics.vertical;
    square.bottom = window.cy - edge.cy;
    square.top = square.bottom - metrics.horizontal;
    return square;
}

// ---- real windows

BarMetrics SystemBarMetrics() {
    return {::GetSystemMetrics(SM_CXVSCROLL), ::GetSystemMetrics(SM_CYHSCROLL)};
}

DWORD WindowScrollbars::Styles() {
    return static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE)) &
           (kHorizontalBar | kVerticalBar);
}

SIZE WindowScrollbars::ClientSize() {
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(window_, &client);
    return {client.right - client.left, client.bottom - client.top};
}

void WindowScrollbars::SetBar(int bar, int maximum, int page, bool redraw) {
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE;
    info.nMin = 0;
    info.nMax = maximum;
    // A page that went negative (no room left) reads as a huge page, which hides the bar.
    info.nPage = static_cast<UINT>(page);
    ::SetScrollInfo(window_, bar, &info, redraw);
}

namespace {

LRESULT CALLBACK DropSizeMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR) {
    if (message == WM_SIZE) return 0;
    return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

// Each guard uses its own address as the subclass id, so a nested update on the same window
// removes only its own subclass.
SizeMessageGuard::SizeMessageGuard(HWND window) : window_(window) {
    active_ = ::SetWindowSubclass(window_, DropSizeMessages, reinterpret_cast<UINT_PTR>(this), 0);
}

SizeMessageGuard::~SizeMessageGuard() {
    if (active_) {
        ::RemoveWindowSubclass(window_, DropSizeMessages, reinterpret_cast<UINT_PTR>(this));
    }
}

void RepaintSliderSquare(HWND window) {
    DWORD styles = static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE));
    if ((styles & (kHorizontalBar | kVerticalBar)) != (kHorizontalBar | kVerticalBar)) return;
    RECT bounds;
    if (!::GetWindowRect(window, &bounds)) return;
    constexpr DWORD kEdgeStyles = WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_STATICEDGE;
    SIZE edge = {0, 0};
    if (static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)) & kEdgeStyles) {
        edge = {::GetSystemMetrics(SM_CXEDGE), ::GetSystemMetrics(SM_CYEDGE)};
    }
    RECT square = SliderSquare({bounds.right - bounds.left, bounds.bottom - bounds.top}, styles,
                               edge, SystemBarMetrics());
    HDC dc = ::GetWindowDC(window);
    if (!dc) return;
    ::FillRect(dc, &square, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
    ::ReleaseDC(window, dc);
}

}  // namespace kwill::util
