// The "EDIT" control: a multi-line text box (ES_MULTILINE, ES_AUTOVSCROLL, ES_READONLY,
// WS_VSCROLL) over the text model of edit_model.h.
//
// It keeps its own text (WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH), answers the EM_*
// messages, paints only the visible rows, follows the caret, draws and drives its own
// vertical scroll bar, scrolls with the wheel and the keyboard, selects with the mouse and
// copies to the X selections (Ctrl+C to CLIPBOARD, mouse selections to PRIMARY).
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <unordered_map>

#include "platform/x11/edit_model.h"
#include "platform/x11/x11_gdi.h"

namespace {

constexpr UINT_PTR kBarTimer = 1;     // repeat of a held arrow or track of the bar
constexpr UINT_PTR kSelectTimer = 2;  // scrolling while a selection is dragged past an edge
constexpr UINT kSelectScrollDelay = 50;
constexpr int kMarginLeft = 2;
constexpr int kMarginTop = 1;
constexpr int kWheelRows = 3;  // rows per wheel notch, Win32's default
constexpr DWORD kDoubleClickMs = 500;

struct EditControl {
    EditModel model;
    DWORD style = 0;
    DWORD ex_style = 0;
    HFONT font = nullptr;  // null: the default font
    Display* display = nullptr;
    int line_height = 1;
    int tab_width = 0;
    int advance_cache[256];
    std::unordered_map<wchar_t, int> advance_more;
    RECT client = {0, 0, 0, 0};
    RECT text_area = {0, 0, 0, 0};
    RECT bar_area = {0, 0, 0, 0};  // empty without WS_VSCROLL
    ScrollBarModel bar;
    bool focused = false;
    bool selecting = false;
    bool bar_repeating = false;
    bool bar_first_repeat = false;
    int pointer_x = 0, pointer_y = 0;  // last pointer position while a button is held
    DWORD last_click_time = 0;
    int last_click_x = -100, last_click_y = -100;
    int wheel_rest = 0;
    int goal_x = -1;  // pixel column that Up and Down keep
};

EditControl* control_of(HWND hwnd) { return reinterpret_cast<EditControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

int measure_advance(void* context, wchar_t c) {
    EditControl* edit = static_cast<EditControl*>(context);
    if ((unsigned)c < 256) {
        int& cached = edit->advance_cache[(unsigned)c];
        if (cached < 0) cached = x11_char_advance(edit->font, edit->display, c);
        return cached;
    }
    auto it = edit->advance_more.find(c);
    if (it != edit->advance_more.end()) return it->second;
    const int width = x11_char_advance(edit->font, edit->display, c);
    edit->advance_more.emplace(c, width);
    return width;
}

EditMeasure measure_of(EditControl* edit) { return EditMeasure{measure_advance, edit, edit->tab_width}; }

size_t visible_rows(const EditControl* edit) {
    const int height = edit->text_area.bottom - edit->text_area.top;
    return height > 0 ? (size_t)(height / edit->line_height) : 0;
}

bool wraps(const EditControl* edit) { return !(edit->style & ES_AUTOHSCROLL) && (edit->style & ES_MULTILINE); }

// The bar mirrors the view: rows as the range, the visible rows as the page.
void sync_bar(EditControl* edit) {
    const size_t rows = edit_row_count(edit->model);
    const size_t visible = visible_rows(edit);
    const size_t last = edit_last_first_row(edit->model, visible);
    if (edit->model.first_row > last) edit->model.first_row = last;
    const int top = (int)std::min<size_t>(rows - 1, 0x7FFFFFFE);
    scroll_bar_set_range(edit->bar, 0, top);
    scroll_bar_set_page(edit->bar, (unsigned)std::min<size_t>(visible, 0x7FFFFFFF));
    scroll_bar_set_pos(edit->bar, (int)std::min<size_t>(edit->model.first_row, 0x7FFFFFFE));
}

void redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, FALSE); }

// Places the text area and the bar in the client area, then re-wraps the text if the width
// changed (or always, after a font change).
void layout(EditControl* edit, bool force_wrap) {
    RECT inner = edit->client;
    if (edit->ex_style & WS_EX_CLIENTEDGE) inner = RECT{inner.left + 2, inner.top + 2, inner.right - 2, inner.bottom - 2};
    edit->bar_area = RECT{inner.right, inner.top, inner.right, inner.bottom};
    if (edit->style & WS_VSCROLL) {
        const int width = std::min(GetSystemMetrics(SM_CXVSCROLL), (int)std::max(0, (int)(inner.right - inner.left)));
        edit->bar_area.left = inner.right - width;
        inner.right -= width;
    }
    edit->bar.length = edit->bar_area.bottom - edit->bar_area.top;
    edit->bar.thickness = edit->bar_area.right - edit->bar_area.left;
    edit->text_area = RECT{inner.left + kMarginLeft, inner.top + kMarginTop,
                           inner.right - kMarginLeft, inner.bottom};
    const int width = wraps(edit) ? std::max(1, (int)(edit->text_area.right - edit->text_area.left)) : 0;
    edit_set_wrap_width(edit->model, width, measure_of(edit), force_wrap);
    sync_bar(edit);
}

void set_font(EditControl* edit, HFONT font) {
    edit->font = font;
    for (int& cached : edit->advance_cache) cached = -1;
    edit->advance_more.clear();
    TEXTMETRICW metrics;
    x11_font_metrics(font, edit->display, &metrics);
    edit->line_height = std::max(1, (int)metrics.tmHeight);
    // NOTE: Win32's default tab stops are 32 dialog units, i.e. eight average characters.
    edit->tab_width = std::max(1, (int)metrics.tmAveCharWidth * 8);
    layout(edit, true);
}

// Scrolls so the caret is visible and keeps the bar in step.
void follow_caret(EditControl* edit) {
    edit_scroll_to_caret(edit->model, visible_rows(edit));
    sync_bar(edit);
}

size_t offset_at_point(EditControl* edit, int x, int y) {
    const long long row_in_view = (y - edit->text_area.top) / edit->line_height - (y < edit->text_area.top ? 1 : 0);
    long long row = (long long)edit->model.first_row + row_in_view;
    const long long last = (long long)edit_row_count(edit->model) - 1;
    row = std::max(0LL, std::min(row, last));
    return edit_offset_at(edit->model, (size_t)row, x - edit->text_area.left, measure_of(edit));
}

bool in_rect(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

bool shows_selection(const EditControl* edit) { return edit->focused || (edit->style & ES_NOHIDESEL); }

// --- Painting ------------------------------------------------------------------------------

// Draws one visible row: runs of unselected and selected characters, tabs as gaps.
void paint_row(HDC dc, EditControl* edit, size_t row, int y, size_t sel_start, size_t sel_end) {
    size_t start, length;
    edit_row_span(edit->model, row, &start, &length);
    const std::wstring& text = edit->model.text;
    const EditMeasure measure = measure_of(edit);
    int x = 0;
    size_t i = start;
    const size_t end = start + length;
    while (i < end) {
        const bool selected = i >= sel_start && i < sel_end;
        const int run_x = x;
        size_t j = i;
        // A run: characters of one selection state, up to a tab or control character.
        while (j < end && (j >= sel_start && j < sel_end) == selected && text[j] >= 0x20) {
            x += measure_advance(edit, text[j]);
            ++j;
        }
        if (j > i) {
            SetBkMode(dc, selected ? OPAQUE : TRANSPARENT);
            SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
            TextOutW(dc, edit->text_area.left + run_x, y, text.data() + i, (int)(j - i));
            i = j;
            continue;
        }
        // A tab or a control character: a gap (highlighted when selected).
        const int w = text[i] == L'\t' ? (x / edit->tab_width + 1) * edit->tab_width - x : 0;
        (void)measure;
        if (selected && w > 0) {
            RECT gap = {edit->text_area.left + x, y, edit->text_area.left + x + w, y + edit->line_height};
            FillRect(dc, &gap, GetSysColorBrush(COLOR_HIGHLIGHT));
        }
        x += w;
        ++i;
    }
}

void on_paint(HWND hwnd, EditControl* edit) {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(hwnd, &paint);
    HDC dc = x11_begin_buffered(target, edit->client);
    SelectObject(dc, edit->font ? edit->font : x11_default_font());
    // NOTE: a read-only edit has the dialog face colour behind its text, as on Win32.
    const int background = (edit->style & ES_READONLY) || !IsWindowEnabled(hwnd) ? COLOR_BTNFACE : COLOR_WINDOW;
    RECT inner = edit->client;
    if (edit->ex_style & WS_EX_CLIENTEDGE) inner = RECT{inner.left + 2, inner.top + 2, inner.right - 2, inner.bottom - 2};
    inner.right = edit->bar_area.left;
    FillRect(dc, &inner, GetSysColorBrush(background));
    const size_t sel_start = shows_selection(edit) ? edit_selection_start(edit->model) : 0;
    const size_t sel_end = shows_selection(edit) ? edit_selection_end(edit->model) : 0;
    const size_t rows = edit_row_count(edit->model);
    const size_t last = std::min(rows, edit->model.first_row + visible_rows(edit) + 1);  // + a partial row
    for (size_t row = edit->model.first_row; row < last; ++row) {
        const int y = edit->text_area.top + (int)(row - edit->model.first_row) * edit->line_height;
        paint_row(dc, edit, row, y, sel_start, sel_end);
    }
    if (edit->focused) {
        const size_t caret_row = edit_row_of(edit->model, edit->model.caret);
        if (caret_row >= edit->model.first_row && caret_row < last) {
            const int x = edit->text_area.left + edit_x_of(edit->model, edit->model.caret, measure_of(edit));
            const int y = edit->text_area.top + (int)(caret_row - edit->model.first_row) * edit->line_height;
            RECT caret = {x, y, x + 1, y + edit->line_height};
            FillRect(dc, &caret, GetSysColorBrush(COLOR_WINDOWTEXT));
        }
    }
    if (edit->style & WS_VSCROLL) x11_draw_scroll_bar(dc, edit->bar_area, edit->bar, true, false);
    if (edit->ex_style & WS_EX_CLIENTEDGE) {
        RECT edge = edit->client;
        x11_draw_client_edge(dc, &edge);
    }
    x11_end_buffered(target, dc, edit->client);
    EndPaint(hwnd, &paint);
}

// --- Scrolling -----------------------------------------------------------------------------

void scroll_to_row(HWND hwnd, EditControl* edit, long long row) {
    const long long target = std::max(0LL, row);
    edit_scroll_rows(edit->model, target - (long long)edit->model.first_row, visible_rows(edit));
    sync_bar(edit);
    redraw(hwnd);
}

// A scroll code of the bar (or of a WM_VSCROLL sent to the control).
void apply_scroll(HWND hwnd, EditControl* edit, int code, int pos) {
    const long long first = (long long)edit->model.first_row;
    const long long page = std::max<long long>(1, (long long)visible_rows(edit));
    switch (code) {
    case SB_LINEUP: scroll_to_row(hwnd, edit, first - 1); break;
    case SB_LINEDOWN: scroll_to_row(hwnd, edit, first + 1); break;
    case SB_PAGEUP: scroll_to_row(hwnd, edit, first - page); break;
    case SB_PAGEDOWN: scroll_to_row(hwnd, edit, first + page); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: scroll_to_row(hwnd, edit, pos); break;
    case SB_TOP: scroll_to_row(hwnd, edit, 0); break;
    case SB_BOTTOM: scroll_to_row(hwnd, edit, (long long)edit_row_count(edit->model)); break;
    default: break;
    }
}

LRESULT on_wheel(HWND hwnd, EditControl* edit, WPARAM wparam, LPARAM lparam) {
    if (!scroll_bar_can_scroll(edit->bar)) return DefWindowProcW(hwnd, WM_MOUSEWHEEL, wparam, lparam);
    edit->wheel_rest += GET_WHEEL_DELTA_WPARAM(wparam);
    const int notches = edit->wheel_rest / WHEEL_DELTA;
    edit->wheel_rest -= notches * WHEEL_DELTA;
    if (notches)
        scroll_to_row(hwnd, edit,
                      (long long)edit->model.first_row - (long long)notches * kWheelRows);
    return 0;
}

// --- Selection and clipboard ---------------------------------------------------------------

std::wstring selected_text(const EditControl* edit) {
    const size_t start = edit_selection_start(edit->model);
    return edit->model.text.substr(start, edit_selection_end(edit->model) - start);
}

void publish_primary(const EditControl* edit) {
    if (edit_selection_end(edit->model) == edit_selection_start(edit->model)) return;
    const std::wstring text = selected_text(edit);
    x11_clipboard_set_text(true, text.data(), text.size());
}

void copy_selection(const EditControl* edit) {
    if (edit_selection_end(edit->model) == edit_selection_start(edit->model)) return;
    const std::wstring text = selected_text(edit);
    x11_clipboard_set_text(false, text.data(), text.size());
}

// --- Mouse ----------------------------------------------------------------------------------

void bar_press(HWND hwnd, EditControl* edit, int x, int y) {
    int along, across;
    x11_scroll_bar_point(edit->bar_area, true, x, y, &along, &across);
    const int code = scroll_bar_press(edit->bar, along, across);
    if (edit->bar.pressed == SCROLL_NOWHERE) return;
    SetCapture(hwnd);
    if (scroll_bar_repeats(edit->bar)) {
        edit->bar_repeating = true;
        edit->bar_first_repeat = true;
        SetTimer(hwnd, kBarTimer, X11_SCROLL_FIRST_DELAY, nullptr);
    }
    if (code >= 0) apply_scroll(hwnd, edit, code, 0);
    redraw(hwnd);
}

void bar_release(HWND hwnd, EditControl* edit) {
    if (edit->bar_repeating) KillTimer(hwnd, kBarTimer);
    edit->bar_repeating = false;
    ScrollBarAction actions[2];
    const int count = scroll_bar_release(edit->bar, actions);
    for (int i = 0; i < count; ++i) apply_scroll(hwnd, edit, actions[i].code, actions[i].pos);
    if (count) redraw(hwnd);
}

bool is_double_click(EditControl* edit, int x, int y) {
    const DWORD now = GetTickCount();
    const bool twice = now - edit->last_click_time <= kDoubleClickMs &&
                       std::abs(x - edit->last_click_x) <= 4 &&
                       std::abs(y - edit->last_click_y) <= 4;
    edit->last_click_time = twice ? 0 : now;
    edit->last_click_x = x;
    edit->last_click_y = y;
    return twice;
}

void select_word(HWND hwnd, EditControl* edit, int x, int y) {
    size_t start, end;
    edit_word_at(edit->model, offset_at_point(edit, x, y), &start, &end);
    edit_set_selection(edit->model, (long long)start, (long long)end);
    edit->selecting = false;
    publish_primary(edit);
    redraw(hwnd);
}

void on_button_down(HWND hwnd, EditControl* edit, WPARAM keys, int x, int y, bool double_click) {
    SetFocus(hwnd);
    if (in_rect(edit->bar_area, x, y)) {
        bar_press(hwnd, edit, x, y);
        return;
    }
    // NOTE: the layer may report the second click of a pair as a plain button-down; the
    // control then recognises the pair itself.
    if (double_click || is_double_click(edit, x, y)) {
        select_word(hwnd, edit, x, y);
        return;
    }
    const size_t offset = offset_at_point(edit, x, y);
    if (keys & MK_SHIFT) edit->model.caret = offset;
    else edit->model.anchor = edit->model.caret = offset;
    edit->goal_x = -1;
    edit->selecting = true;
    edit->pointer_x = x;
    edit->pointer_y = y;
    SetCapture(hwnd);
    redraw(hwnd);
}

// Extends a mouse selection to the pointer; past the top or bottom the view scrolls.
void extend_selection(HWND hwnd, EditControl* edit) {
    const int y = edit->pointer_y;
    if (y < edit->text_area.top) scroll_to_row(hwnd, edit, (long long)edit->model.first_row - 1);
    else if (y >= edit->text_area.top + (int)visible_rows(edit) * edit->line_height && visible_rows(edit) > 0)
        scroll_to_row(hwnd, edit, (long long)edit->model.first_row + 1);
    const int clamped_y = std::max((int)edit->text_area.top,
                                   std::min(y, edit->text_area.top + std::max(1, (int)visible_rows(edit)) * edit->line_height - 1));
    edit->model.caret = offset_at_point(edit, edit->pointer_x, clamped_y);
    redraw(hwnd);
}

void on_mouse_move(HWND hwnd, EditControl* edit, int x, int y) {
    edit->pointer_x = x;
    edit->pointer_y = y;
    if (edit->bar.pressed != SCROLL_NOWHERE) {
        int along, across;
        x11_scroll_bar_point(edit->bar_area, true, x, y, &along, &across);
        const bool was_hot = edit->bar.hot;
        ScrollBarAction action;
        if (scroll_bar_motion(edit->bar, along, across, &action)) apply_scroll(hwnd, edit, action.code, action.pos);
        if (was_hot != edit->bar.hot || edit->bar.dragging) redraw(hwnd);
        return;
    }
    if (!edit->selecting) return;
    extend_selection(hwnd, edit);
    const bool outside = y < edit->text_area.top || y >= edit->text_area.bottom;
    if (outside)
        SetTimer(hwnd, kSelectTimer, kSelectScrollDelay, nullptr);
    else
        KillTimer(hwnd, kSelectTimer);
}

void end_mouse(HWND hwnd, EditControl* edit) {
    if (edit->bar.pressed != SCROLL_NOWHERE) bar_release(hwnd, edit);
    if (edit->selecting) {
        edit->selecting = false;
        KillTimer(hwnd, kSelectTimer);
        publish_primary(edit);
    }
    if (GetCapture() == hwnd) ReleaseCapture();
}

void on_timer(HWND hwnd, EditControl* edit, UINT_PTR id) {
    if (id == kSelectTimer && edit->selecting) {
        extend_selection(hwnd, edit);
        return;
    }
    if (id != kBarTimer || !edit->bar_repeating) return;
    if (edit->bar_first_repeat) {
        edit->bar_first_repeat = false;
        SetTimer(hwnd, kBarTimer, X11_SCROLL_REPEAT_DELAY, nullptr);
    }
    int along, across;
    x11_scroll_bar_point(edit->bar_area, true, edit->pointer_x, edit->pointer_y, &along, &across);
    const bool was_hot = edit->bar.hot;
    const int code = scroll_bar_repeat(edit->bar, along, across);
    if (code >= 0) apply_scroll(hwnd, edit, code, 0);
    if (was_hot != edit->bar.hot) redraw(hwnd);
}

// --- Keyboard -------------------------------------------------------------------------------

void move_caret(HWND hwnd, EditControl* edit, size_t offset, bool extend, bool keep_goal) {
    edit->model.caret = offset;
    if (!extend) edit->model.anchor = offset;
    if (!keep_goal) edit->goal_x = -1;
    follow_caret(edit);
    if (extend) publish_primary(edit);
    redraw(hwnd);
}

// A caret move by rows that keeps the pixel column of the first move.
void move_rows(HWND hwnd, EditControl* edit, long long rows, bool extend) {
    const EditMeasure measure = measure_of(edit);
    if (edit->goal_x < 0) edit->goal_x = edit_x_of(edit->model, edit->model.caret, measure);
    move_caret(hwnd, edit, edit_offset_rows_away(edit->model, edit->model.caret, rows, edit->goal_x, measure), extend, true);
}

void delete_at_caret(HWND hwnd, EditControl* edit, bool backwards) {
    if (edit_selection_start(edit->model) == edit_selection_end(edit->model)) {
        const size_t c = edit->model.caret;
        edit->model.anchor = backwards ? edit_step_left(edit->model, c) : edit_step_right(edit->model, c);
    }
    edit_replace_selection(edit->model, L"", 0, measure_of(edit));
    follow_caret(edit);
    redraw(hwnd);
}

LRESULT on_key(HWND hwnd, EditControl* edit, WPARAM key, LPARAM flags) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const size_t caret = edit->model.caret;
    const long long page = std::max<long long>(1, (long long)visible_rows(edit));
    size_t start, length;
    switch (key) {
    case 'A':
        if (!ctrl) break;
        edit_set_selection(edit->model, 0, -1);
        publish_primary(edit);
        redraw(hwnd);
        return 0;
    case 'C':
    case VK_INSERT:
        if (!ctrl) break;
        copy_selection(edit);
        return 0;
    case VK_LEFT: move_caret(hwnd, edit, edit_step_left(edit->model, caret), shift, false); return 0;
    case VK_RIGHT: move_caret(hwnd, edit, edit_step_right(edit->model, caret), shift, false); return 0;
    case VK_UP: move_rows(hwnd, edit, -1, shift); return 0;
    case VK_DOWN: move_rows(hwnd, edit, 1, shift); return 0;
    case VK_PRIOR:
    case VK_NEXT: {
        const long long rows = key == VK_PRIOR ? -page : page;
        edit_scroll_rows(edit->model, rows, visible_rows(edit));
        move_rows(hwnd, edit, rows, shift);
        return 0;
    }
    case VK_HOME:
        edit_row_span(edit->model, edit_row_of(edit->model, caret), &start, &length);
        move_caret(hwnd, edit, ctrl ? 0 : start, shift, false);
        return 0;
    case VK_END:
        edit_row_span(edit->model, edit_row_of(edit->model, caret), &start, &length);
        move_caret(hwnd, edit, ctrl ? edit->model.text.size() : start + length, shift, false);
        return 0;
    case VK_BACK:
    case VK_DELETE:
        if (edit->style & ES_READONLY) return 0;
        if (key == VK_DELETE) delete_at_caret(hwnd, edit, false);
        return 0;  // backspace arrives as WM_CHAR 8
    default: break;
    }
    return DefWindowProcW(hwnd, WM_KEYDOWN, key, flags);
}

// Typed characters of a writable edit: printable ones, Return as CR LF, backspace.
void on_char(HWND hwnd, EditControl* edit, wchar_t c) {
    if (edit->style & ES_READONLY) return;
    if (c == 8) {
        delete_at_caret(hwnd, edit, true);
        return;
    }
    const wchar_t line_break[] = L"\r\n";
    if (c == L'\r' && (edit->style & ES_MULTILINE)) edit_replace_selection(edit->model, line_break, 2, measure_of(edit));
    else if (c >= 0x20 || c == L'\t') edit_replace_selection(edit->model, &c, 1, measure_of(edit));
    else return;
    follow_caret(edit);
    redraw(hwnd);
}

// --- Text messages --------------------------------------------------------------------------

LRESULT get_text(const EditControl* edit, WPARAM capacity, LPARAM buffer) {
    wchar_t* out = reinterpret_cast<wchar_t*>(buffer);
    if (!out || capacity == 0) return 0;
    const size_t n = std::min<size_t>(edit->model.text.size(), capacity - 1);
    memcpy(out, edit->model.text.data(), n * sizeof(wchar_t));
    out[n] = 0;
    return (LRESULT)n;
}

LRESULT set_text(HWND hwnd, EditControl* edit, LPARAM text) {
    const wchar_t* s = reinterpret_cast<const wchar_t*>(text);
    const size_t n = s ? wcslen(s) : 0;
    edit_set_text(edit->model, s ? s : L"", n, measure_of(edit));
    sync_bar(edit);
    redraw(hwnd);
    return TRUE;
}

LRESULT replace_selection(HWND hwnd, EditControl* edit, LPARAM text) {
    const wchar_t* s = reinterpret_cast<const wchar_t*>(text);
    if (!s) return 0;
    edit_replace_selection(edit->model, s, wcslen(s), measure_of(edit));
    // NOTE: Win32 brings the caret into view after a replacement, which is what makes a
    // log that appends at its end follow the newest line.
    follow_caret(edit);
    redraw(hwnd);
    return 0;
}

LRESULT get_selection(const EditControl* edit, WPARAM start_out, LPARAM end_out) {
    const size_t start = edit_selection_start(edit->model), end = edit_selection_end(edit->model);
    if (start_out) *reinterpret_cast<DWORD*>(start_out) = (DWORD)start;
    if (end_out) *reinterpret_cast<DWORD*>(end_out) = (DWORD)end;
    // NOTE: the packed result only holds 16-bit offsets; beyond that Win32 returns -1.
    if (start > 0xFFFF || end > 0xFFFF) return -1;
    return MAKELONG(start, end);
}

LRESULT scroll_message(HWND hwnd, EditControl* edit, WPARAM code) {
    const size_t before = edit->model.first_row;
    apply_scroll(hwnd, edit, (int)code, 0);
    const long long moved = (long long)edit->model.first_row - (long long)before;
    return (LRESULT)MAKELONG((WORD)(short)moved, TRUE);
}

LRESULT on_create(HWND hwnd, const CREATESTRUCTW* create) {
    EditControl* edit = new EditControl();
    edit->style = (DWORD)create->style;
    edit->ex_style = create->dwExStyle;
    edit->display = x11_thread_display();
    edit->bar.disable_no_scroll = true;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, (LONG_PTR)edit);
    GetClientRect(hwnd, &edit->client);
    set_font(edit, nullptr);
    if (create->lpszName && create->lpszName[0]) set_text(hwnd, edit, (LPARAM)create->lpszName);
    return 0;
}

void on_size(HWND hwnd, EditControl* edit, int width, int height) {
    edit->client = RECT{0, 0, width, height};
    layout(edit, false);
    redraw(hwnd);
}

void on_destroy(HWND hwnd, EditControl* edit) {
    KillTimer(hwnd, kBarTimer);
    KillTimer(hwnd, kSelectTimer);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    delete edit;
}

// EM_* messages and the window text.
LRESULT on_edit_message(HWND hwnd, EditControl* edit, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SETTEXT: return set_text(hwnd, edit, lparam);
    case WM_GETTEXT: return get_text(edit, wparam, lparam);
    case WM_GETTEXTLENGTH: return (LRESULT)edit->model.text.size();
    case EM_GETSEL: return get_selection(edit, wparam, lparam);
    case EM_SETSEL:
        edit_set_selection(edit->model, (int)wparam, (int)lparam);
        redraw(hwnd);
        return 0;
    case EM_REPLACESEL: return replace_selection(hwnd, edit, lparam);
    case EM_LIMITTEXT: edit_set_limit(edit->model, (size_t)(UINT)wparam); return 0;
    case EM_GETLIMITTEXT: return (LRESULT)edit->model.limit;
    case EM_GETLINECOUNT: return (LRESULT)edit_row_count(edit->model);
    case EM_GETFIRSTVISIBLELINE: return (LRESULT)edit->model.first_row;
    case EM_LINESCROLL: scroll_to_row(hwnd, edit, (long long)edit->model.first_row + (long long)(int)lparam); return TRUE;
    case EM_SCROLLCARET: follow_caret(edit); redraw(hwnd); return TRUE;
    case EM_SCROLL: return scroll_message(hwnd, edit, wparam);
    default: return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

}  // namespace

LRESULT CALLBACK x11_edit_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CREATE) return on_create(hwnd, reinterpret_cast<const CREATESTRUCTW*>(lparam));
    EditControl* edit = control_of(hwnd);
    if (!edit) return DefWindowProcW(hwnd, message, wparam, lparam);
    switch (message) {
    case WM_NCDESTROY: on_destroy(hwnd, edit); return 0;
    case WM_SIZE: on_size(hwnd, edit, LOWORD(lparam), HIWORD(lparam)); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: on_paint(hwnd, edit); return 0;
    case WM_SETFONT:
        set_font(edit, reinterpret_cast<HFONT>(wparam));
        if (LOWORD(lparam)) redraw(hwnd);
        return 0;
    case WM_GETFONT: return (LRESULT)edit->font;
    case WM_SETFOCUS: edit->focused = true; redraw(hwnd); return 0;
    case WM_KILLFOCUS: edit->focused = false; redraw(hwnd); return 0;
    case WM_ENABLE: redraw(hwnd); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        on_button_down(hwnd, edit, wparam, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), message == WM_LBUTTONDBLCLK);
        return 0;
    case WM_MOUSEMOVE: on_mouse_move(hwnd, edit, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)); return 0;
    case WM_LBUTTONUP: end_mouse(hwnd, edit); return 0;
    case WM_CAPTURECHANGED:
        if ((HWND)lparam != hwnd) end_mouse(hwnd, edit);
        return 0;
    case WM_TIMER: on_timer(hwnd, edit, wparam); return 0;
    case WM_MOUSEWHEEL: return on_wheel(hwnd, edit, wparam, lparam);
    case WM_VSCROLL: apply_scroll(hwnd, edit, LOWORD(wparam), (short)HIWORD(wparam)); return 0;
    case WM_KEYDOWN: return on_key(hwnd, edit, wparam, lparam);
    case WM_CHAR: on_char(hwnd, edit, (wchar_t)wparam); return 0;
    case WM_COPY: copy_selection(edit); return 0;
    default: return on_edit_message(hwnd, edit, message, wparam, lparam);
    }
}
