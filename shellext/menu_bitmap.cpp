#include "shellext/menu_bitmap.h"

#include "frame/context.h"

#include <uxtheme.h>

namespace kwill::shellext {
namespace {

constexpr WORD kLibraryIcon = 104;

}  // namespace

HBITMAP MakeMenuBitmap() {
    int cx = ::GetSystemMetrics(SM_CXSMICON);
    int cy = ::GetSystemMetrics(SM_CYSMICON);
    HICON icon = static_cast<HICON>(
        ::LoadImageW(Context().module, MAKEINTRESOURCEW(kLibraryIcon), IMAGE_ICON, cx, cy, 0));
    if (!icon) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = -cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HDC dc = ::CreateCompatibleDC(screen);
        HGDIOBJ old = ::SelectObject(dc, bitmap);
        ::DrawIconEx(dc, 0, 0, icon, cx, cy, 0, nullptr, DI_NORMAL);
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
    }
    ::ReleaseDC(nullptr, screen);
    ::DestroyIcon(icon);
    return bitmap;
}

bool MenuBitmapsThemed() {
    return ::IsThemeActive() && ::IsAppThemed() &&
           (::GetThemeAppProperties() & STAP_ALLOW_CONTROLS);
}

}  // namespace kwill::shellext
