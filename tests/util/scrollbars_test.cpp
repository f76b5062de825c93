// The scrollbar helpers on real hidden windows (SetScrollInfo shows and hides bars, resizes the
// client area and sends WM_SIZE even without a display), plus the sizing arithmetic as a table.
#include "tests/common/test_support.h"
#include "util/scrollbars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace kwill {
namespace {

using test::Named;
using util::kHorizontalBar;
using util::kVerticalBar;

using AutoFn = DWORD (*)(HWND, int, int);
using UpdateFn = void (*)(HWND, int*, int*, int, int, int, int);
using RepaintFn = void (*)(HWND);

const int kBoth = kHorizontalBar | kVerticalBar;

int VBar() {
    return ::GetSystemMetrics(SM_CXVSCROLL);
}
int HBar() {
    return ::GetSystemMetrics(SM_CYHSCROLL);
}

// A top-level window without a frame (hidden unless WS_VISIBLE is given) that counts the WM_SIZE
// messages it receives.
class TestWindow {
  public:
    TestWindow(int clientWidth, int clientHeight, DWORD styles = 0, DWORD exStyles = 0) {
        static ATOM atom = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = Proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"kwilltest.scrollbars";
            return ::RegisterClassW(&wc);
        }();
        EXPECT_NE(atom, 0);
        // Shown without activation, so that no other test's foreground window changes.
        const bool show = (styles & WS_VISIBLE) != 0;
        styles &= ~WS_VISIBLE;
        RECT r = {0, 0, clientWidth, clientHeight};
        ::AdjustWindowRectEx(&r, WS_POPUP | styles, FALSE, exStyles);
        hwnd_ = ::CreateWindowExW(exStyles, L"kwilltest.scrollbars", L"", WS_POPUP | styles, 0, 0,
                                  r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(hwnd_, nullptr);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        if (show) ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    }
    ~TestWindow() {
        if (hwnd_) ::DestroyWindow(hwnd_);
    }
    HWND hwnd() const { return hwnd_; }
    int sizeMessages = 0;

    DWORD Bars() const { return static_cast<DWORD>(::GetWindowLongW(hwnd_, GWL_STYLE)) & kBoth; }
    SIZE Client() const {
        RECT r;
        ::GetClientRect(hwnd_, &r);
        return {r.right, r.bottom};
    }
    SCROLLINFO Info(int bar) const {
        SCROLLINFO info = {};
        info.cbSize = sizeof(info);
        info.fMask = SIF_ALL;
        ::GetScrollInfo(hwnd_, bar, &info);
        return info;
    }
    void Destroy() {
        ::DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_SIZE && self) ++self->sizeMessages;
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    HWND hwnd_ = nullptr;
};

TEST(Scrollbars, PlanTable) {
    const util::BarMetrics m = {16, 14};
    struct Row {
        const char* name;
        int width, height;  // content
        DWORD bars;
        int pageWidth, pageHeight;
    };
    const Row rows[] = {
        {"fits exactly", 200, 100, 0, 200, 100},
        {"one pixel taller", 100, 101, kVerticalBar, 184, 100},
        {"one pixel taller, then too narrow", 200, 101, kBoth, 184, 86},
        {"taller, and the vertical bar leaves it too narrow", 190, 101, kBoth, 184, 86},
        {"one pixel wider", 201, 100, kBoth, 184, 86},
        {"wider, fits the height left", 201, 86, kHorizontalBar, 200, 86},
        {"both", 1000, 1000, kBoth, 184, 86},
        {"empty", 0, 0, 0, 200, 100},
        {"negative counts as empty", -5, INT_MIN, 0, 200, 100},
        {"largest", INT_MAX, INT_MAX, kBoth, 184, 86},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        util::AutoPlan plan = util::PlanAutoScrollbars({200, 100}, row.width, row.height, m);
        EXPECT_EQ(plan.bars, row.bars);
        EXPECT_EQ(plan.pageWidth, row.pageWidth);
        EXPECT_EQ(plan.pageHeight, row.pageHeight);
    }
}

// The window's own behaviour that the tests below rely on.
TEST(Scrollbars, WindowsShowBarsAndSendSize) {
    TestWindow w(200, 100);
    SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE, 0, 500, 100, 0, 0};
    ::SetScrollInfo(w.hwnd(), SB_VERT, &info, TRUE);
    EXPECT_EQ(w.Bars(), static_cast<DWORD>(kVerticalBar));
    EXPECT_EQ(w.Client().cx, 200 - VBar());
    EXPECT_GT(w.sizeMessages, 0);
}

TEST(Scrollbars, AutoUpdateOnRealWindows) {
    AutoFn update = Named<AutoFn>("AutoUpdateWindowScrollbars");
    ASSERT_NE(update, nullptr);
    const int v = VBar(), h = HBar();
    struct Row {
        const char* name;
        DWORD startBars;  // bars the window has before the call
        int width, height;
        DWORD bars;
        int pageWidth, pageHeight;
    };
    const Row rows[] = {
        {"fits", 0, 200, 100, 0, 200, 100},
        {"fits once the bars the window has are gone", kBoth, 200, 100, 0, 200, 100},
        {"one pixel taller", 0, 100, 101, kVerticalBar, 200 - v, 100},
        {"taller, then the horizontal follows", 0, 200 - v + 1, 101, kBoth, 200 - v, 100 - h},
        {"wider, then the vertical follows", 0, 201, 100 - h + 1, kBoth, 200 - v, 100 - h},
        {"wider only", kVerticalBar, 201, 100 - h, kHorizontalBar, 200, 100 - h},
        {"both, largest sizes", 0, INT_MAX, INT_MAX, kBoth, 200 - v, 100 - h},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestWindow w(200, 100);
        if (row.startBars) {
            ::ShowScrollBar(w.hwnd(), SB_HORZ, (row.startBars & kHorizontalBar) != 0);
            ::ShowScrollBar(w.hwnd(), SB_VERT, (row.startBars & kVerticalBar) != 0);
            ASSERT_EQ(w.Bars(), row.startBars);
        }
        w.sizeMessages = 0;
        EXPECT_EQ(update(w.hwnd(), row.width, row.height), row.bars);
        EXPECT_EQ(w.sizeMessages, 0) << "WM_SIZE reached the window during the call";
        SCROLLINFO vert = w.Info(SB_VERT), horz = w.Info(SB_HORZ);
        EXPECT_EQ(vert.nMin, 0);
        EXPECT_EQ(vert.nMax, row.height);
        EXPECT_EQ(horz.nMax, row.width);
        // The system caps a page at the range (and at INT_MAX + 1 goes its own way).
        if (row.height < INT_MAX) {
            EXPECT_EQ(vert.nPage, static_cast<UINT>(std::min(row.pageHeight, row.height + 1)));
            EXPECT_EQ(horz.nPage, static_cast<UINT>(std::min(row.pageWidth, row.width + 1)));
        }
        // The subclass is gone: a size message reaches the window again.
        ::SendMessageW(w.hwnd(), WM_SIZE, 0, 0);
        EXPECT_EQ(w.sizeMessages, 1);
    }
}

TEST(Scrollbars, UpdateOnRealWindows) {
    UpdateFn update = Named<UpdateFn>("UpdateWindowScrollbars");
    ASSERT_NE(update, nullptr);
    const int v = VBar(), h = HBar();
    struct Row {
        const char* name;
        DWORD startBars;
        int rangeX, rangeY, pageX, pageY, limitX, limitY;
        int outX, outY;  // ranges written back
        DWORD bars;      // bars shown after the call
        int maxX, maxY;  // GetScrollInfo maxima, for a bar that is shown
        int barPageX, barPageY;
    };
    // Client area 200 x 100 at the start.
    const Row rows[] = {
        {"nothing needed", 0, 100, 50, 200, 100, 0, 0, 100, 50, 0, 0, 0, 0, 0},
        {"taller", 0, 100, 300, 200, 100, 0, 0, 100, 300, kVerticalBar, 0, 299, 0, 100},
        {"both", 0, 250, 300, 200, 100, 0, 0, 250, 300, kBoth, 249, 299, 200 - v, 100 - h},
        {"the vertical bar makes the width too small", 0, 190, 300, 200, 100, 0, 0, 190, 300, kBoth,
         189, 299, 200 - v, 100 - h},
        {"pages from the window (-1)", 0, 250, 300, -1, 0, 0, 0, 250, 300, kBoth, 249, 299, 200 - v,
         100 - h},
        {"pages from a window that has its bars", kBoth, 250, 300, -1, 0, 0, 0, 250, 300, kBoth,
         249, 299, 200 - v, 100 - h},
        {"page height one above a bar", 0, 500, 500, 200, h + 2, 0, 0, 500, 500, kBoth, 499, 499,
         200 - v, 2},
        {"page height of a bar and one: no bars, ranges kept", 0, 500, 500, 200, h + 1, 0, 0, 500,
         500, 0, 0, 0, 0, 0},
        {"page height below it", 0, 500, 500, 200, 3, 0, 0, 500, 500, 0, 0, 0, 0, 0},
        {"limit stops the growth and takes the bar back", 0, 190, 300, 200, 100, 180, 0, 181, 300,
         kVerticalBar, 0, 299, 0, 100},
        {"limit above the range does nothing", 0, 190, 300, 200, 100, 1000, 0, 190, 300, kBoth, 189,
         299, 200 - v, 100 - h},
        {"range INT_MIN does not wrap", 0, INT_MIN, 50, 200, 100, 0, 0, INT_MIN, 50, 0, 0, 0, 0, 0},
        {"range INT_MAX", 0, INT_MAX, 50, 200, 100, 0, 0, INT_MAX, 50, kHorizontalBar, INT_MAX - 1,
         0, 200, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestWindow w(200, 100);
        if (row.startBars) {
            ::ShowScrollBar(w.hwnd(), SB_BOTH, TRUE);
            ASSERT_EQ(w.Bars(), row.startBars);
        }
        int x = row.rangeX, y = row.rangeY;
        update(w.hwnd(), &x, &y, row.pageX, row.pageY, row.limitX, row.limitY);
        EXPECT_EQ(x, row.outX);
        EXPECT_EQ(y, row.outY);
        EXPECT_EQ(w.Bars(), row.bars);
        if (row.bars & kHorizontalBar) {
            SCROLLINFO info = w.Info(SB_HORZ);
            EXPECT_EQ(info.nMax, row.maxX);
            EXPECT_EQ(info.nPage, static_cast<UINT>(row.barPageX));
        }
        if (row.bars & kVerticalBar) {
            SCROLLINFO info = w.Info(SB_VERT);
            EXPECT_EQ(info.nMax, row.maxY);
            EXPECT_EQ(info.nPage, static_cast<UINT>(row.barPageY));
        }
    }
}

TEST(Scrollbars, BadWindowsAndPointers) {
    AutoFn autoUpdate = Named<AutoFn>("AutoUpdateWindowScrollbars");
    UpdateFn update = Named<UpdateFn>("UpdateWindowScrollbars");
    RepaintFn repaint = Named<RepaintFn>("RepaintSliderSquare");
    TestWindow gone(200, 100);
    HWND stale = gone.hwnd();
    gone.Destroy();
    for (HWND bad : {HWND(nullptr), stale}) {
        EXPECT_EQ(autoUpdate(bad, 1000, 1000), 0u);
        int x = 500, y = 500;
        update(bad, &x, &y, 100, 100, 0, 0);
        EXPECT_EQ(x, 500);
        EXPECT_EQ(y, 500);
        repaint(bad);
    }
    TestWindow w(200, 100);
    int x = 500;
    update(w.hwnd(), &x, nullptr, 100, 100, 0, 0);
    update(w.hwnd(), nullptr, &x, 100, 100, 0, 0);
    EXPECT_EQ(x, 500);
    EXPECT_EQ(w.Bars(), 0u);
}

COLORREF PixelAt(HWND hwnd, int x, int y) {
    HDC dc = ::GetWindowDC(hwnd);
    COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(hwnd, dc);
    return c;
}

TEST(Scrollbars, SliderSquareFilledExactly) {
    RepaintFn repaint = Named<RepaintFn>("RepaintSliderSquare");
    ASSERT_NE(repaint, nullptr);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE) & 0xFFFFFF;
    const COLORREF black = RGB(0, 0, 0);
    ASSERT_NE(face, black);
    struct Row {
        const char* name;
        DWORD styles, exStyles;
        bool painted;
    };
    const Row rows[] = {
        {"no edge", kBoth, 0, true},
        {"client edge", kBoth, WS_EX_CLIENTEDGE, true},
        {"window edge (kept with a dialog frame)", kBoth | WS_DLGFRAME, WS_EX_WINDOWEDGE, true},
        {"static edge", kBoth, WS_EX_STATICEDGE, true},
        {"vertical bar only", kVerticalBar, WS_EX_CLIENTEDGE, false},
        {"horizontal bar only", kHorizontalBar, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Shown: a hidden window's DC clips everything away.
        TestWindow w(120, 80, row.styles | WS_VISIBLE, row.exStyles);
        RECT bounds;
        ::GetWindowRect(w.hwnd(), &bounds);
        const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
        ASSERT_EQ(::GetWindowLongW(w.hwnd(), GWL_EXSTYLE) & row.exStyles, LONG(row.exStyles));
        HDC dc = ::GetWindowDC(w.hwnd());
        RECT all = {0, 0, width, height};
        ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::ReleaseDC(w.hwnd(), dc);
        ASSERT_EQ(PixelAt(w.hwnd(), width / 2, height / 2), black);

        repaint(w.hwnd());
        const int ex = row.exStyles ? ::GetSystemMetrics(SM_CXEDGE) : 0;
        const int ey = row.exStyles ? ::GetSystemMetrics(SM_CYEDGE) : 0;
        const int right = width - ex, left = right - VBar();
        const int bottom = height - ey, top = bottom - HBar();
        const COLORREF inside = row.painted ? face : black;
        EXPECT_EQ(PixelAt(w.hwnd(), left, top), inside);
        EXPECT_EQ(PixelAt(w.hwnd(), right - 1, bottom - 1), inside);
        EXPECT_EQ(PixelAt(w.hwnd(), left, bottom - 1), inside);
        EXPECT_EQ(PixelAt(w.hwnd(), right - 1, top), inside);
        EXPECT_EQ(PixelAt(w.hwnd(), left - 1, top), black);
        EXPECT_EQ(PixelAt(w.hwnd(), left, top - 1), black);
        if (ex) {
            EXPECT_EQ(PixelAt(w.hwnd(), right, bottom - 1), black);
            EXPECT_EQ(PixelAt(w.hwnd(), left, bottom), black);
        }
    }
}

}  // namespace
}  // namespace kwill
