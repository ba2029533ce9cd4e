// GDI objects, memory DCs, DIB sections and BitBlt.
#include "platform/x11/x11_shared.h"

#include <stdlib.h>

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc || !object) return nullptr;
    X11GdiKind kind = *static_cast<X11GdiKind*>(object);
    if (kind == X11_GDI_BRUSH) {
        HBRUSH old = dc->brush;
        dc->brush = static_cast<HBRUSH>(object);
        return old;
    }
    return nullptr;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (!object) return FALSE;
    X11GdiKind kind = *static_cast<X11GdiKind*>(object);
    if (kind == X11_GDI_BRUSH) {
        HBRUSH brush = static_cast<HBRUSH>(object);
        if (!brush->stock) free(brush);
        return TRUE;
    }
    return FALSE;
}

void x11_release_dc_text(HDC) {}
