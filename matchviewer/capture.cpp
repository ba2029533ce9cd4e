// Key C: every frame of the file, painted by the view and grabbed from the screen, written
// as a numbered 24-bit BMP file in the folder Twinshot_Capture beside the input.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "matchviewer/capture.h"

#include "matchviewer/bmp_file.h"
#include "matchviewer/capture_naming.h"
#include "platform/crt.h"

namespace {

bool name_taken(const wchar_t* name, void*) {
    return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES;
}

void show_capture_error(const MatchApp* app, const std::wstring& text) {
    MessageBoxW(app->main_window, text.c_str(), kAppCaption, MB_ICONERROR);
}

// Creates the capture folder; true when it exists afterwards.
bool make_capture_folder(const CapturePath& path) {
    wchar_t folder[kCapturePathCapacity];
    if (!copy_capture_folder(path, folder, kCapturePathCapacity)) return false;
    CreateDirectoryW(folder, nullptr);
    const DWORD attributes = GetFileAttributesW(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Puts every file written into the capture folder on the disk, so that a power cut leaves no
// empty bitmap behind that a later capture would count as taken. False with a reason.
bool sync_capture_folder(const CapturePath& path, std::wstring* reason) {
    wchar_t folder[kCapturePathCapacity];
    char narrow[MAX_PATH * 4];
    if (!copy_capture_folder(path, folder, kCapturePathCapacity) ||
        WideCharToMultiByte(CP_ACP, 0, folder, -1, narrow, (int)sizeof(narrow), nullptr, nullptr) ==
            0) {
        *reason = L"The capture folder's path cannot be used to put the files on the disk.";
        return false;
    }
    if (crt_sync_batch_end(narrow) != 0) {
        const char* why = strerror(errno);
        *reason = L"The capture files could not be put on the disk (" +
                  std::wstring(why, why + strlen(why)) + L")\n" + std::wstring(folder);
        return false;
    }
    return true;
}

// Opens a capture file by its wide name for writing bytes.
FILE* open_capture_file(const wchar_t* name) {
    char narrow[MAX_PATH * 4];
    if (WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, (int)sizeof(narrow), nullptr,
                            nullptr) == 0)
        return nullptr;
    return fopen(narrow, "wb");
}

// The grab objects of one capture: the screen, a memory DC and a 32-bit DIB section.
struct Grab {
    HDC screen;
    HDC memory;
    HBITMAP section;
    HGDIOBJ previous;
    uint8_t* bits;
    RECT rect;
    int width, height;
};

void open_grab(const MatchApp* app, Grab& grab) {
    grab.screen = GetDC(nullptr);
    GetWindowRect(app->view.view_window, &grab.rect);
    grab.width = grab.rect.right - grab.rect.left;
    grab.height = grab.rect.bottom - grab.rect.top;
    if (grab.width < 0) grab.width = 0;
    if (grab.height < 0) grab.height = 0;
    grab.memory = CreateCompatibleDC(grab.screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = grab.width;
    info.bmiHeader.biHeight = grab.height;  // positive: bottom row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    grab.section = CreateDIBSection(grab.screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    grab.bits = static_cast<uint8_t*>(bits);
    grab.previous = grab.section ? SelectObject(grab.memory, grab.section) : nullptr;
}

void close_grab(Grab& grab) {
    if (grab.previous) SelectObject(grab.memory, grab.previous);
    ReleaseDC(nullptr, grab.screen);
    DeleteDC(grab.memory);
    if (grab.section) DeleteObject(grab.section);
}

// Grabs the view's rectangle into the section and writes it as one file. False with a
// reason when the file could not be written.
bool write_frame(Grab& grab, const wchar_t* name, uint8_t* file_bytes, int64_t file_size,
                 std::wstring* reason) {
    if (grab.bits && grab.width > 0 && grab.height > 0) {
        BitBlt(grab.memory, 0, 0, grab.width, grab.height, grab.screen, grab.rect.left,
               grab.rect.top, SRCCOPY);
        GdiFlush();
    }
    fill_bmp_file(file_bytes, grab.bits, grab.width, grab.height);
    FILE* file = open_capture_file(name);
    if (!file) {
        *reason = L"Cannot create the capture file\n" + std::wstring(name);
        return false;
    }
    if (!write_and_close(file, file_bytes, (size_t)file_size)) {
        // NOTE: a cut-off bitmap is no capture; removing it leaves only complete files.
        DeleteFileW(name);
        *reason = L"Cannot write the capture file (is the disk full?)\n" + std::wstring(name);
        return false;
    }
    return true;
}

}  // namespace

void capture_frames(MatchApp* app) {
    wchar_t input[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, app->input_path, -1, input, MAX_PATH) == 0) {
        show_capture_error(app, L"The path of the match file cannot be used for the capture.");
        return;
    }
    CapturePath path;
    if (!init_capture_path(path, input, crt_folder_separator)) {
        show_capture_error(app, L"The capture path would be longer than 259 characters.");
        return;
    }
    if (!make_capture_folder(path)) {
        wchar_t folder[kCapturePathCapacity];
        copy_capture_folder(path, folder, kCapturePathCapacity);
        show_capture_error(app, L"Cannot create the capture folder\n" + std::wstring(folder));
        return;
    }

    Grab grab = {};
    open_grab(app, grab);
    const int64_t file_size = bmp_file_size(grab.width, grab.height);
    uint8_t* file_bytes = file_size > 0 ? static_cast<uint8_t*>(malloc((size_t)file_size)) : nullptr;
    if (!file_bytes || (grab.width > 0 && grab.height > 0 && !grab.bits)) {
        show_capture_error(app, L"Not enough memory to capture the view.");
        free(file_bytes);
        close_grab(grab);
        return;
    }
    std::wstring reason;
    int32_t written = 0;
    for (int32_t n = 1; n <= app->frame_count; ++n) {
        load_frame(app, n);
        if (choose_capture_name(path, n, name_taken, nullptr) < 0) {
            show_capture_error(app, L"No free capture file name fits the path buffer.");
            break;
        }
        if (!write_frame(grab, path.text, file_bytes, file_size, &reason)) {
            show_capture_error(app, reason + L"\nThe capture stops here.");
            break;
        }
        ++written;
    }
    free(file_bytes);
    close_grab(grab);
    // NOTE: also after a capture that stopped early: the files written so far are kept.
    if (written > 0 && !sync_capture_folder(path, &reason)) show_capture_error(app, reason);
}
