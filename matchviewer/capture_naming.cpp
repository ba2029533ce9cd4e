// Names of the capture files.
#include "matchviewer/capture_naming.h"

#include "matchviewer/wide_text.h"

bool init_capture_path(CapturePath& path, const wchar_t* input_path, wchar_t separator) {
    int prefix_length = 0;
    for (int i = 0; input_path[i]; ++i) {
        if (input_path[i] == separator) prefix_length = i + 1;
    }
    WideText text = wide_text(path.text, kCapturePathCapacity);
    for (int i = 0; i < prefix_length && !text.truncated; ++i) {
        text_put_char(text, input_path[i]);
    }
    text_put(text, L"Twinshot_Capture");
    path.folder_length = text.length;
    text_put_char(text, separator);
    text_put(text, L"Twinshot");
    path.stem_length = text.length;
    if (text.truncated || !set_capture_number(path, 1)) {
        path.text[0] = 0;
        path.folder_length = 0;
        path.stem_length = 0;
        return false;
    }
    path.text[path.stem_length] = 0;
    return true;
}

bool set_capture_number(CapturePath& path, int32_t number) {
    WideText text =
        wide_text(path.text + path.stem_length, kCapturePathCapacity - path.stem_length);
    if (number >= 0) {
        text_put_int(text, number, 4);
        text_put(text, L".bmp");
    }
    if (number < 0 || text.truncated) {
        path.text[path.stem_length] = 0;
        return false;
    }
    return true;
}

bool copy_capture_folder(const CapturePath& path, wchar_t* dest, int capacity) {
    if (path.folder_length + 1 > capacity) return false;
    for (int i = 0; i < path.folder_length; ++i) dest[i] = path.text[i];
    dest[path.folder_length] = 0;
    return true;
}

int32_t choose_capture_name(CapturePath& path, int32_t first, NameTakenFn taken, void* context) {
    for (int32_t number = first;; ++number) {
        if (!set_capture_number(path, number)) return -1;
        if (!taken(path.text, context)) return number;
        if (number == INT32_MAX) break;
    }
    path.text[path.stem_length] = 0;
    return -1;
}
