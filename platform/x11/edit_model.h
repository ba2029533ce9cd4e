// The text of a multi-line EDIT control with no window behind it: the characters, the
// index of visual rows (lines ended by CR LF, word-wrapped to a pixel width), the text
// limit, the selection and the first visible row.
//
// Appending at the end costs O(appended text + the last line): the rows of earlier lines
// are neither measured nor moved. Replacing text in the middle shifts the later row starts
// (O(rows after it)), as any gap-free buffer must.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

// Pixel width of one character in the control's font; control characters (a lone CR or
// LF) should measure 0. Tabs are handled by the model.
struct EditMeasure {
    int (*advance)(void* context, wchar_t c);
    void* context;
    int tab_width;  // distance between tab stops in pixels; 0 makes a tab one blank wide
};

// Win32's limits: 30000 characters until EM_LIMITTEXT is sent, and 0x7FFFFFFE for a
// multi-line control whose limit is set to 0 ("the control's maximum").
constexpr size_t EDIT_DEFAULT_LIMIT = 30000;
constexpr size_t EDIT_MULTILINE_MAX_LIMIT = 0x7FFFFFFE;

struct EditModel {
    std::wstring text;
    std::vector<size_t> rows{0};  // start offset of every visual row; never empty
    size_t limit = EDIT_DEFAULT_LIMIT;
    size_t anchor = 0;            // the fixed end of the selection
    size_t caret = 0;             // the moving end; the caret stands here
    size_t first_row = 0;         // first visible row
    int wrap_width = 0;           // pixels; 0 or less: no word wrap
};

// --- Text ------------------------------------------------------------------------------

// Replaces the selection by text[0..count), cut to what fits the limit; the caret ends
// after the inserted text with an empty selection. Returns how many characters went in.
size_t edit_replace_selection(EditModel& edit, const wchar_t* text, size_t count,
                              const EditMeasure& measure);
// Replaces the whole text (WM_SETTEXT: not bound by the limit); caret and view at the start.
void edit_set_text(EditModel& edit, const wchar_t* text, size_t count, const EditMeasure& measure);
// Sets the wrap width and re-wraps every line when it changed (or when forced, e.g. after a
// font change). Keeps the first visible row on the same text.
void edit_set_wrap_width(EditModel& edit, int width, const EditMeasure& measure, bool force);
// EM_LIMITTEXT: 0 means the multi-line maximum. Text already longer stays.
void edit_set_limit(EditModel& edit, size_t limit);

// --- Selection ---------------------------------------------------------------------------

// EM_SETSEL with Win32's rules: a start of -1 removes the selection and keeps the caret;
// values beyond the text (such as -1 as an end) mean its end; the caret goes to `end`.
void edit_set_selection(EditModel& edit, long long start, long long end);
size_t edit_selection_start(const EditModel& edit);
size_t edit_selection_end(const EditModel& edit);
// The run of word characters, of blanks, or of other characters around offset (a
// double-click); an offset at a line end selects nothing.
void edit_word_at(const EditModel& edit, size_t offset, size_t* start, size_t* end);

// --- Rows --------------------------------------------------------------------------------

size_t edit_row_count(const EditModel& edit);
// The visual row that holds offset (an offset at a soft wrap belongs to the next row).
size_t edit_row_of(const EditModel& edit, size_t offset);
// Start and length of a row's characters, its CR LF excluded.
void edit_row_span(const EditModel& edit, size_t row, size_t* start, size_t* length);
// The pixel x of offset within its row (tabs expanded).
int edit_x_of(const EditModel& edit, size_t offset, const EditMeasure& measure);
// The offset in row nearest to pixel x (the character boundary closest to x).
size_t edit_offset_at(const EditModel& edit, size_t row, int x, const EditMeasure& measure);

// --- Caret movement (keyboard) -----------------------------------------------------------

// One character left or right; a CR LF pair counts as one step.
size_t edit_step_left(const EditModel& edit, size_t offset);
size_t edit_step_right(const EditModel& edit, size_t offset);
// The offset `rows` rows above (negative) or below, nearest to pixel x.
size_t edit_offset_rows_away(const EditModel& edit, size_t offset, long long rows, int x,
                             const EditMeasure& measure);

// --- View --------------------------------------------------------------------------------

// The largest first row that still fills the view: rows - visible_rows, or 0.
size_t edit_last_first_row(const EditModel& edit, size_t visible_rows);
// Scrolls by rows (EM_LINESCROLL), clamped; returns whether the first row changed.
bool edit_scroll_rows(EditModel& edit, long long rows, size_t visible_rows);
// Scrolls so that the caret's row is visible (EM_SCROLLCARET); returns whether it moved.
bool edit_scroll_to_caret(EditModel& edit, size_t visible_rows);
