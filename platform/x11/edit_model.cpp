// The EDIT control's text, row index, limit, selection and view.
#include "platform/x11/edit_model.h"

#include <wctype.h>

#include <algorithm>

namespace {

constexpr size_t kNone = (size_t)-1;

// Whether a CR LF pair ends just before offset, i.e. a logical line starts there.
bool starts_line(const std::wstring& text, size_t offset) {
    return offset == 0 || (offset >= 2 && text[offset - 2] == L'\r' && text[offset - 1] == L'\n');
}

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Width of c drawn at pixel x of its row: tabs run to the next tab stop.
int char_width(wchar_t c, int x, const EditMeasure& measure) {
    if (c == L'\t') {
        int stop = measure.tab_width > 0 ? measure.tab_width : measure.advance(measure.context, L' ');
        if (stop <= 0) stop = 1;
        return (x / stop + 1) * stop - x;
    }
    return measure.advance(measure.context, c);
}

// Appends the start of every soft-wrapped row of the line [start, end) after its first.
// Lines break after the last blank that fits; a word longer than the width breaks between
// characters; blanks at a break hang past the right edge, as in Win32's edit control.
void wrap_line(const std::wstring& text, size_t start, size_t end, int width,
               const EditMeasure& measure, std::vector<size_t>& rows) {
    if (width <= 0) return;
    int x = 0;             // width of the current row so far
    size_t row = start;    // start of the current row
    size_t brk = kNone;    // offset just after the last blank run of this row
    int after_brk = 0;     // width of [brk, i)
    for (size_t i = start; i < end; ++i) {
        const wchar_t c = text[i];
        const int w = char_width(c, x, measure);
        if (is_blank(c)) {
            x += w;
            brk = i + 1;
            after_brk = 0;
            continue;
        }
        while (x + w > width && i > row) {
            if (brk != kNone && brk > row) {
                row = brk;
                x = after_brk;
                brk = kNone;
            } else {
                row = i;
                x = 0;
            }
            rows.push_back(row);
        }
        x += w;
        if (brk != kNone) after_brk += w;
    }
}

// Appends the rows of the text region [start, end), which begins at a logical line start and
// ends at the text's end or at a line start whose rows follow (tail_follows).
void wrap_region(const EditModel& edit, size_t start, size_t end, bool tail_follows,
                 const EditMeasure& measure, std::vector<size_t>& rows) {
    size_t pos = start;
    for (;;) {
        rows.push_back(pos);
        size_t line_break = edit.text.find(L"\r\n", pos);
        if (line_break != std::wstring::npos && line_break + 2 > end) line_break = std::wstring::npos;
        const size_t line_end = line_break == std::wstring::npos ? end : line_break;
        wrap_line(edit.text, pos, line_end, edit.wrap_width, measure, rows);
        if (line_break == std::wstring::npos) break;
        pos = line_break + 2;
        if (pos == end && tail_follows) break;
    }
}

// Replaces [a, b) by insert[0..count) and re-wraps only the logical lines it touches.
void replace_range(EditModel& edit, size_t a, size_t b, const wchar_t* insert, size_t count,
                   const EditMeasure& measure) {
    std::vector<size_t>& rows = edit.rows;
    size_t first = edit_row_of(edit, a);
    while (first > 0 && !starts_line(edit.text, rows[first])) --first;
    // The region ends at a line start whose CR LF lies wholly after b, so that neither the
    // deletion nor the insertion can break or complete that pair.
    size_t next = edit_row_of(edit, b) + 1;
    while (next < rows.size() && !(starts_line(edit.text, rows[next]) && rows[next] - 2 >= b)) ++next;
    const bool tail_follows = next < rows.size();
    const size_t old_end = tail_follows ? rows[next] : edit.text.size();

    edit.text.replace(a, b - a, insert, count);
    const ptrdiff_t delta = (ptrdiff_t)count - (ptrdiff_t)(b - a);

    std::vector<size_t> fresh;
    wrap_region(edit, rows[first], (size_t)((ptrdiff_t)old_end + delta), tail_follows, measure, fresh);
    for (size_t k = next; k < rows.size(); ++k) rows[k] = (size_t)((ptrdiff_t)rows[k] + delta);
    rows.erase(rows.begin() + (ptrdiff_t)first, rows.begin() + (ptrdiff_t)next);
    rows.insert(rows.begin() + (ptrdiff_t)first, fresh.begin(), fresh.end());
}

// End of a row's characters, its CR LF excluded.
size_t row_content_end(const EditModel& edit, size_t row) {
    if (row + 1 >= edit.rows.size()) return edit.text.size();
    const size_t next = edit.rows[row + 1];
    return starts_line(edit.text, next) ? next - 2 : next;
}

// Word characters, blanks, line ends and the rest, for double-click selection.
int char_class(const std::wstring& text, size_t i) {
    const wchar_t c = text[i];
    if (c == L'\r' || c == L'\n') return 0;
    if (is_blank(c)) return 1;
    if (iswalnum((wint_t)c) || c == L'_') return 2;
    // NOTE: a point or comma between two alphanumerics belongs to the word, so a
    // double-click on "56.25" takes the whole number.
    if ((c == L'.' || c == L',') && i > 0 && i + 1 < text.size() && iswalnum((wint_t)text[i - 1]) &&
        iswalnum((wint_t)text[i + 1]))
        return 2;
    return 3;
}

}  // namespace

size_t edit_replace_selection(EditModel& edit, const wchar_t* text, size_t count,
                              const EditMeasure& measure) {
    const size_t a = edit_selection_start(edit);
    const size_t b = edit_selection_end(edit);
    const size_t kept = edit.text.size() - (b - a);
    // NOTE: Win32 inserts only what fits the limit; at the limit nothing goes in.
    const size_t room = edit.limit > kept ? edit.limit - kept : 0;
    const size_t n = count < room ? count : room;
    if (n > 0 || b > a) replace_range(edit, a, b, text, n, measure);
    edit.anchor = edit.caret = a + n;
    return n;
}

void edit_set_text(EditModel& edit, const wchar_t* text, size_t count, const EditMeasure& measure) {
    edit.text.assign(text, count);
    edit.rows.clear();
    wrap_region(edit, 0, edit.text.size(), false, measure, edit.rows);
    edit.anchor = edit.caret = 0;
    edit.first_row = 0;
}

void edit_set_wrap_width(EditModel& edit, int width, const EditMeasure& measure, bool force) {
    if (!force && width == edit.wrap_width) return;
    const size_t top = edit.rows[std::min(edit.first_row, edit.rows.size() - 1)];
    edit.wrap_width = width;
    edit.rows.clear();
    wrap_region(edit, 0, edit.text.size(), false, measure, edit.rows);
    edit.first_row = edit_row_of(edit, top);
}

void edit_set_limit(EditModel& edit, size_t limit) {
    edit.limit = limit == 0 ? EDIT_MULTILINE_MAX_LIMIT : limit;
}

void edit_set_selection(EditModel& edit, long long start, long long end) {
    const size_t length = edit.text.size();
    if (start == -1) {
        edit.anchor = edit.caret;
        return;
    }
    // NOTE: Win32 reads both as unsigned, so other negative values mean "the end".
    edit.anchor = start < 0 || (size_t)start > length ? length : (size_t)start;
    edit.caret = end < 0 || (size_t)end > length ? length : (size_t)end;
}

size_t edit_selection_start(const EditModel& edit) { return std::min(edit.anchor, edit.caret); }
size_t edit_selection_end(const EditModel& edit) { return std::max(edit.anchor, edit.caret); }

void edit_word_at(const EditModel& edit, size_t offset, size_t* start, size_t* end) {
    const size_t row = edit_row_of(edit, offset);
    size_t line_start = edit.rows[row];
    while (!starts_line(edit.text, line_start)) line_start = edit.rows[edit_row_of(edit, line_start - 1)];
    size_t i = std::min(offset, edit.text.size());
    // A click past the end of a line takes the last run of the line.
    if ((i == edit.text.size() || char_class(edit.text, i) == 0) && i > line_start) --i;
    if (i >= edit.text.size() || char_class(edit.text, i) == 0) {
        *start = *end = std::min(offset, edit.text.size());
        return;
    }
    const int cls = char_class(edit.text, i);
    size_t s = i, e = i + 1;
    while (s > line_start && char_class(edit.text, s - 1) == cls) --s;
    while (e < edit.text.size() && char_class(edit.text, e) == cls) ++e;
    *start = s;
    *end = e;
}

size_t edit_row_count(const EditModel& edit) { return edit.rows.size(); }

size_t edit_row_of(const EditModel& edit, size_t offset) {
    const auto it = std::upper_bound(edit.rows.begin(), edit.rows.end(), offset);
    return (size_t)(it - edit.rows.begin()) - 1;
}

void edit_row_span(const EditModel& edit, size_t row, size_t* start, size_t* length) {
    if (row >= edit.rows.size()) row = edit.rows.size() - 1;
    *start = edit.rows[row];
    *length = row_content_end(edit, row) - *start;
}

int edit_x_of(const EditModel& edit, size_t offset, const EditMeasure& measure) {
    const size_t row = edit_row_of(edit, offset);
    const size_t end = std::min(offset, row_content_end(edit, row));
    int x = 0;
    for (size_t i = edit.rows[row]; i < end; ++i) x += char_width(edit.text[i], x, measure);
    return x;
}

size_t edit_offset_at(const EditModel& edit, size_t row, int x, const EditMeasure& measure) {
    if (row >= edit.rows.size()) row = edit.rows.size() - 1;
    const size_t end = row_content_end(edit, row);
    int left = 0;
    for (size_t i = edit.rows[row]; i < end; ++i) {
        const int w = char_width(edit.text[i], left, measure);
        if (x < left + (w + 1) / 2) return i;
        left += w;
    }
    return end;
}

size_t edit_step_left(const EditModel& edit, size_t offset) {
    if (offset == 0) return 0;
    if (offset > edit.text.size()) return edit.text.size();
    return offset >= 2 && starts_line(edit.text, offset) ? offset - 2 : offset - 1;
}

size_t edit_step_right(const EditModel& edit, size_t offset) {
    const size_t length = edit.text.size();
    if (offset >= length) return length;
    if (offset + 1 < length && edit.text[offset] == L'\r' && edit.text[offset + 1] == L'\n') return offset + 2;
    return offset + 1;
}

size_t edit_offset_rows_away(const EditModel& edit, size_t offset, long long rows, int x,
                             const EditMeasure& measure) {
    const long long last = (long long)edit.rows.size() - 1;
    long long target = (long long)edit_row_of(edit, offset) + rows;
    target = target < 0 ? 0 : (target > last ? last : target);
    return edit_offset_at(edit, (size_t)target, x, measure);
}

size_t edit_last_first_row(const EditModel& edit, size_t visible_rows) {
    return edit.rows.size() > visible_rows ? edit.rows.size() - visible_rows : 0;
}

bool edit_scroll_rows(EditModel& edit, long long rows, size_t visible_rows) {
    const long long last = (long long)edit_last_first_row(edit, visible_rows);
    long long target = (long long)edit.first_row + rows;
    target = target < 0 ? 0 : (target > last ? last : target);
    const bool changed = (size_t)target != edit.first_row;
    edit.first_row = (size_t)target;
    return changed;
}

bool edit_scroll_to_caret(EditModel& edit, size_t visible_rows) {
    const size_t visible = visible_rows > 0 ? visible_rows : 1;
    const size_t before = edit.first_row;
    const size_t row = edit_row_of(edit, edit.caret);
    if (edit.first_row > edit_last_first_row(edit, visible)) edit.first_row = edit_last_first_row(edit, visible);
    if (row < edit.first_row) edit.first_row = row;
    if (row >= edit.first_row + visible) edit.first_row = row - visible + 1;
    return edit.first_row != before;
}
