// Frame selection arithmetic of the scrollbar and the arrow keys.
#pragma once

#include <stdint.h>

// The page step of the frame scrollbar: frame_count / 20, or 1 when that is 0.
int32_t scroll_page_size(int32_t frame_count);

// The scrollbar position after a WM_HSCROLL code (low word of wParam), from the current
// position. thumb is the thumb position for SB_THUMBPOSITION and SB_THUMBTRACK: the 32-bit
// track position of GetScrollInfo (SIF_TRACKPOS), which stays exact beyond 65535 frames,
// or the high word of wParam. Line and page steps and SB_RIGHT are clamped to
// 1..frame_count (lower bound first); the thumb codes and SB_LEFT are not, so load_frame
// clamps what it loads (clamp_frame_number). Unknown codes and SB_ENDSCROLL keep current.
int32_t scroll_target(int code, int32_t current, int32_t thumb, int32_t frame_count);

// The frame position after a key: VK_LEFT one back, VK_RIGHT one on, clamped to
// 1..frame_count (lower bound first); any other key keeps current.
int32_t key_step_target(int key, int32_t current, int32_t frame_count);

// The frame number load_frame shows for a request n: below 1 gives 1, above frame_count
// gives frame_count. Returns 0 when there are no frames (nothing may then be read).
int32_t clamp_frame_number(int32_t n, int32_t frame_count);
