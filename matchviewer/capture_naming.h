// Names of the capture files: <input folder>Twinshot_Capture<sep>Twinshot0001.bmp and on.
#pragma once

#include <stdint.h>
#include <wchar.h>

// Room of a capture path, terminator included. Paths that do not fit are refused, never
// truncated.
const int kCapturePathCapacity = 260;

// The path of the capture file being written. text holds the folder, the separator and
// "Twinshot" (stem_length characters), then the number and ".bmp".
struct CapturePath {
    wchar_t text[kCapturePathCapacity];
    int folder_length;  // characters of the folder: prefix + "Twinshot_Capture"
    int stem_length;    // characters before the number
};

// Tells whether a file or folder of that name exists; context is the caller's.
typedef bool (*NameTakenFn)(const wchar_t* name, void* context);

// Builds the stem from the input path: its folder part up to and including the last
// separator (empty when it has none), "Twinshot_Capture", separator, "Twinshot". The
// separator is '\\' on Windows and '/' on Linux; only it separates folders. Returns false,
// with an empty text, when even the name with number 1 would not fit.
bool init_capture_path(CapturePath& path, const wchar_t* input_path, wchar_t separator);

// Writes number (zeros in front up to four digits) and ".bmp" behind the stem. Returns
// false, leaving the stem alone in text, when the name does not fit or number < 0.
bool set_capture_number(CapturePath& path, int32_t number);

// Copies the capture folder (without a trailing separator) into dest; false when it does
// not fit capacity.
bool copy_capture_folder(const CapturePath& path, wchar_t* dest, int capacity);

// Chooses the first number from first upward whose name is not taken, and leaves that
// name in text. Returns the number, or -1 when a name does not fit or the numbers run out.
int32_t choose_capture_name(CapturePath& path, int32_t first, NameTakenFn taken, void* context);
