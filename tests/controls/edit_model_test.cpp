// The EDIT text model: appends, the limit, selection, the row index and word wrap.
#include "platform/x11/edit_model.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every printable character is 10 pixels wide; line-end characters take no room.
int ten_pixels(void*, wchar_t c) { return c == L'\r' || c == L'\n' ? 0 : 10; }
const EditMeasure kMeasure = {ten_pixels, nullptr, 80};

size_t append(EditModel& edit, const std::wstring& text) {
    edit_set_selection(edit, (long long)edit.text.size(), (long long)edit.text.size());
    return edit_replace_selection(edit, text.data(), text.size(), kMeasure);
}

std::wstring row_text(const EditModel& edit, size_t row) {
    size_t start, length;
    edit_row_span(edit, row, &start, &length);
    return edit.text.substr(start, length);
}

// Rows rebuilt from scratch must equal the incrementally maintained ones.
void expect_rows_as_fresh(const EditModel& edit) {
    EditModel fresh;
    fresh.wrap_width = edit.wrap_width;
    edit_set_text(fresh, edit.text.data(), edit.text.size(), kMeasure);
    EXPECT_EQ(fresh.rows, edit.rows);
}

TEST(EditModel, AppendsGoToTheEndWithTheCaretAfterThem) {
    EditModel edit;
    edit_set_limit(edit, 0);
    EXPECT_EQ(append(edit, L"57 frames\r\n"), 11u);
    EXPECT_EQ(append(edit, L"Frame No 1: 3 world points\r\n"), 28u);
    EXPECT_EQ(edit.text, L"57 frames\r\nFrame No 1: 3 world points\r\n");
    EXPECT_EQ(edit.caret, edit.text.size());
    EXPECT_EQ(edit.anchor, edit.caret);
    // Two lines ended by CR LF and the empty line after the last one, as Win32 counts them.
    ASSERT_EQ(edit_row_count(edit), 3u);
    EXPECT_EQ(row_text(edit, 0), L"57 frames");
    EXPECT_EQ(row_text(edit, 1), L"Frame No 1: 3 world points");
    EXPECT_EQ(row_text(edit, 2), L"");
    EXPECT_EQ(edit.rows[2], edit.text.size());
}

TEST(EditModel, LimitCutsAnAppendToWhatFitsAndRefusesOneAtTheLimit) {
    EditModel edit;
    EXPECT_EQ(edit.limit, 30000u);
    edit_set_limit(edit, 10);
    EXPECT_EQ(append(edit, L"abcdef"), 6u);
    EXPECT_EQ(append(edit, L"ghijkl"), 4u);  // cut to the 4 that fit
    EXPECT_EQ(edit.text, L"abcdefghij");
    EXPECT_EQ(edit.caret, 10u);
    EXPECT_EQ(append(edit, L"x"), 0u);  // at the limit: nothing goes in
    EXPECT_EQ(edit.text, L"abcdefghij");
    // Replacing a selection frees its room first.
    edit_set_selection(edit, 2, 5);
    EXPECT_EQ(edit_replace_selection(edit, L"12345", 5, kMeasure), 3u);
    EXPECT_EQ(edit.text, L"ab123fghij");
    EXPECT_EQ(edit.caret, 5u);
    // Zero lifts the limit to the multi-line maximum.
    edit_set_limit(edit, 0);
    EXPECT_EQ(edit.limit, 0x7FFFFFFEu);
}

TEST(EditModel, SetTextIgnoresTheLimitAndResetsCaretAndView) {
    EditModel edit;
    edit_set_limit(edit, 3);
    edit.first_row = 5;
    const std::wstring text = L"one\r\ntwo\r\nthree";
    edit_set_text(edit, text.data(), text.size(), kMeasure);
    EXPECT_EQ(edit.text, text);
    EXPECT_EQ(edit.caret, 0u);
    EXPECT_EQ(edit.first_row, 0u);
    EXPECT_EQ(edit_row_count(edit), 3u);
}

TEST(EditModel, SelectionFollowsWin32Rules) {
    EditModel edit;
    const std::wstring text = L"hello world";
    edit_set_text(edit, text.data(), text.size(), kMeasure);
    edit_set_selection(edit, 0, -1);  // all
    EXPECT_EQ(edit_selection_start(edit), 0u);
    EXPECT_EQ(edit_selection_end(edit), 11u);
    edit_set_selection(edit, 8, 3);  // reversed: caret at 3
    EXPECT_EQ(edit_selection_start(edit), 3u);
    EXPECT_EQ(edit_selection_end(edit), 8u);
    EXPECT_EQ(edit.caret, 3u);
    edit_set_selection(edit, -1, 0);  // deselect, caret stays
    EXPECT_EQ(edit.caret, 3u);
    EXPECT_EQ(edit_selection_start(edit), edit_selection_end(edit));
    edit_set_selection(edit, 100, 200);  // beyond the end: the end
    EXPECT_EQ(edit.caret, 11u);
    EXPECT_EQ(edit.anchor, 11u);
}

TEST(EditModel, InsertionsAndDeletionsKeepTheRowIndexExact) {
    EditModel edit;
    edit.wrap_width = 100;
    edit_set_limit(edit, 0);
    append(edit, L"alpha\r\nbeta\r\ngamma\r\n");
    expect_rows_as_fresh(edit);
    // Join two lines by deleting a CR LF, and by deleting only its CR or only its LF.
    EditModel joined = edit;
    edit_set_selection(joined, 5, 7);
    edit_replace_selection(joined, L"", 0, kMeasure);
    EXPECT_EQ(joined.text, L"alphabeta\r\ngamma\r\n");
    expect_rows_as_fresh(joined);
    EditModel no_cr = edit;
    edit_set_selection(no_cr, 5, 6);
    edit_replace_selection(no_cr, L"", 0, kMeasure);
    expect_rows_as_fresh(no_cr);
    EXPECT_EQ(edit_row_count(no_cr), 3u);
    EditModel no_lf = edit;
    edit_set_selection(no_lf, 6, 7);
    edit_replace_selection(no_lf, L"", 0, kMeasure);
    expect_rows_as_fresh(no_lf);
    // Complete a pair: a lone CR at the end followed by an appended LF.
    EditModel pair;
    append(pair, L"x\r");
    EXPECT_EQ(edit_row_count(pair), 1u);
    append(pair, L"\ny");
    EXPECT_EQ(edit_row_count(pair), 2u);
    expect_rows_as_fresh(pair);
    // Insert several lines in the middle, then replace across lines.
    edit_set_selection(edit, 9, 9);
    edit_replace_selection(edit, L"X\r\nY\r\nZ", 7, kMeasure);
    EXPECT_EQ(edit.text, L"alpha\r\nbeX\r\nY\r\nZta\r\ngamma\r\n");
    expect_rows_as_fresh(edit);
    edit_set_selection(edit, 3, 20);
    edit_replace_selection(edit, L"a very long replacement text", 28, kMeasure);
    expect_rows_as_fresh(edit);
}

TEST(EditModel, WrapsAtBlanksAndBreaksLongWords) {
    EditModel edit;
    edit.wrap_width = 100;  // ten characters
    const std::wstring text = L"the quick brown fox\r\nabcdefghijklmnopqrstuvwxy";
    edit_set_text(edit, text.data(), text.size(), kMeasure);
    ASSERT_EQ(edit_row_count(edit), 5u);
    EXPECT_EQ(row_text(edit, 0), L"the quick ");  // the blank hangs at the break
    EXPECT_EQ(row_text(edit, 1), L"brown fox");
    EXPECT_EQ(row_text(edit, 2), L"abcdefghij");
    EXPECT_EQ(row_text(edit, 3), L"klmnopqrst");
    EXPECT_EQ(row_text(edit, 4), L"uvwxy");
    // A wider box re-wraps and keeps the first visible row on the same text.
    edit.first_row = 3;  // "klmnopqrst", inside the second line
    edit_set_wrap_width(edit, 1000, kMeasure, false);
    EXPECT_EQ(edit_row_count(edit), 2u);
    EXPECT_EQ(edit.first_row, 1u);
    // Appending to a wrapped last line re-wraps only that line.
    edit_set_wrap_width(edit, 100, kMeasure, false);
    append(edit, L"z and more words");
    expect_rows_as_fresh(edit);
}

TEST(EditModel, TabsRunToTheNextStop) {
    EditModel edit;
    const std::wstring text = L"a\tb";
    edit_set_text(edit, text.data(), text.size(), kMeasure);
    EXPECT_EQ(edit_x_of(edit, 1, kMeasure), 10);
    EXPECT_EQ(edit_x_of(edit, 2, kMeasure), 80);
    EXPECT_EQ(edit_x_of(edit, 3, kMeasure), 90);
}

TEST(EditModel, PixelPositionsMapToCharacterBoundaries) {
    EditModel edit;
    const std::wstring text = L"abcd\r\nef";
    edit_set_text(edit, text.data(), text.size(), kMeasure);
    EXPECT_EQ(edit_offset_at(edit, 0, 0, kMeasure), 0u);
    EXPECT_EQ(edit_offset_at(edit, 0, 4, kMeasure), 0u);
    EXPECT_EQ(edit_offset_at(edit, 0, 6, kMeasure), 1u);
    EXPECT_EQ(edit_offset_at(edit, 0, 500, kMeasure), 4u);  // past the end: before CR LF
    EXPECT_EQ(edit_offset_at(edit, 1, 15, kMeasure), 8u);
    EXPECT_EQ(edit_row_of(edit, 4), 0u);
    EXPECT_EQ(edit_row_of(edit, 6), 1u);
    // Caret steps treat CR LF as one character; rows keep the pixel column.
    EXPECT_EQ(edit_step_right(edit, 4), 6u);
    EXPECT_EQ(edit_step_left(edit, 6), 4u);
    EXPECT_EQ(edit_step_left(edit, 0), 0u);
    EXPECT_EQ(edit_step_right(edit, 8), 8u);
    EXPECT_EQ(edit_offset_rows_away(edit, 2, 1, 20, kMeasure), 8u);
    EXPECT_EQ(edit_offset_rows_away(edit, 7, -5, 10, kMeasure), 1u);
}

TEST(EditModel, DoubleClickWordsIncludeDecimalNumbers) {
    EditModel edit;
    const std::wstring text = L"points (56.25%)  - to world\r\nnext";
    edit_set_text(edit, text.data(), text.size(), kMeasure);
    size_t s, e;
    edit_word_at(edit, 10, &s, &e);
    EXPECT_EQ(text.substr(s, e - s), L"56.25");
    edit_word_at(edit, 2, &s, &e);
    EXPECT_EQ(text.substr(s, e - s), L"points");
    edit_word_at(edit, 16, &s, &e);
    EXPECT_EQ(text.substr(s, e - s), L"  ");
    edit_word_at(edit, 27, &s, &e);  // just past "world": the word before the line end
    EXPECT_EQ(text.substr(s, e - s), L"world");
    edit_word_at(edit, 31, &s, &e);  // stays inside its own line
    EXPECT_EQ(text.substr(s, e - s), L"next");
}

TEST(EditModel, ViewScrollsToTheCaretAndClampsLineScrolls) {
    EditModel edit;
    edit_set_limit(edit, 0);
    for (int i = 0; i < 20; ++i) append(edit, L"line\r\n");
    EXPECT_EQ(edit_row_count(edit), 21u);
    EXPECT_TRUE(edit_scroll_to_caret(edit, 5));
    EXPECT_EQ(edit.first_row, 16u);  // the caret's empty last row is the bottom row
    EXPECT_FALSE(edit_scroll_rows(edit, 3, 5));  // already at the last full page
    EXPECT_TRUE(edit_scroll_rows(edit, -100, 5));
    EXPECT_EQ(edit.first_row, 0u);
    EXPECT_EQ(edit_last_first_row(edit, 30), 0u);
    edit_set_selection(edit, 0, 0);
    edit.first_row = 10;
    EXPECT_TRUE(edit_scroll_to_caret(edit, 5));
    EXPECT_EQ(edit.first_row, 0u);
}

}  // namespace
