// Kernel calls of the layer without a display: code pages, files, threads, MulDiv, and the
// exit with a message when a program's first window call finds no display.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/win32.h"

namespace {

std::wstring to_wide(const char* text, int bytes = -1) {
    int count = MultiByteToWideChar(CP_UTF8, 0, text, bytes, nullptr, 0);
    std::wstring out((size_t)count, L'\0');
    EXPECT_EQ(count, MultiByteToWideChar(CP_UTF8, 0, text, bytes, &out[0], count));
    return out;
}

// A fresh folder per test, removed with its files afterwards.
class KernelFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/layer-kernel-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(name));
        folder_ = name;
    }
    void TearDown() override { run_rm(); }
    void run_rm() { ASSERT_EQ(0, system(("rm -rf '" + folder_ + "'").c_str())); }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    std::wstring wide(const std::string& name) const { return to_wide(path(name).c_str()); }
    void write(const std::string& name, const std::string& content) {
        FILE* file = fopen(path(name).c_str(), "wb");
        ASSERT_NE(nullptr, file);
        fwrite(content.data(), 1, content.size(), file);
        fclose(file);
    }
    std::string read(const std::string& name) {
        FILE* file = fopen(path(name).c_str(), "rb");
        if (!file) return "<missing>";
        std::string content;
        int c;
        while ((c = fgetc(file)) != EOF) content += (char)c;
        fclose(file);
        return content;
    }
    std::string folder_;
};

}  // namespace

TEST(KernelCodePages, Utf8RoundTripCountsTerminatorOnlyForMinusOne) {
    const char* text =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9D\x84\x9E";  // Grüße € 𝄞
    std::wstring wide = to_wide(text);
    EXPECT_EQ(std::wstring(L"Gr\u00FC\u00DFe \u20AC \U0001D11E") + L'\0', wide);
    EXPECT_EQ(6, MultiByteToWideChar(CP_ACP, 0, "abcdef", 6, nullptr, 0));

    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ((int)strlen(text) + 1, bytes);
    std::string back((size_t)bytes, '\0');
    EXPECT_EQ(bytes,
              WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &back[0], bytes, nullptr, nullptr));
    EXPECT_STREQ(text, back.c_str());
}

TEST(KernelCodePages, ErrorsFollowWin32) {
    wchar_t small[3];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, small, 3));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    char narrow[2];
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"\u20AC", 1, narrow, 2, nullptr, nullptr));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", 0, small, 3));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "abc", 3, small, 3));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    BOOL used = TRUE;
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"a", 1, narrow, 2, nullptr, &used));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(1, WideCharToMultiByte(CP_ACP, 0, L"a", 1, narrow, 2, nullptr, &used));
    EXPECT_FALSE(used);
}

TEST(KernelCodePages, IllFormedUtf8BecomesReplacementCharacters) {
    // A lone lead byte, an overlong form, an encoded surrogate, a truncated sequence.
    EXPECT_EQ(std::wstring(L"\uFFFD(") + L'\0', to_wide("\xC3("));
    EXPECT_EQ(std::wstring(L"\uFFFD\uFFFD") + L'\0', to_wide("\xC0\xAF"));
    EXPECT_EQ(std::wstring(L"\uFFFD\uFFFD\uFFFD") + L'\0', to_wide("\xED\xA0\x80"));
    EXPECT_EQ(std::wstring(L"a\uFFFD"), to_wide("a\xE2\x82", 3));
    EXPECT_EQ(std::wstring(L"\uFFFD\uFFFD\uFFFD\uFFFD") + L'\0', to_wide("\xF4\x90\x80\x80"));
    // Wide text: a UTF-16 pair is joined, a lone surrogate becomes U+FFFD.
    const wchar_t pair[] = {0xD834, 0xDD1E, 0xDC00, 0};
    char out[16] = {};
    EXPECT_EQ(7, WideCharToMultiByte(CP_UTF8, 0, pair, 3, out, 16, nullptr, nullptr));
    EXPECT_EQ(std::string("\xF0\x9D\x84\x9E\xEF\xBF\xBD"), std::string(out, 7));
}

TEST_F(KernelFiles, FoldersAndAttributes) {
    EXPECT_TRUE(CreateDirectoryW(wide("sub").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryW(wide("sub").c_str(), nullptr));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_FALSE(CreateDirectoryW(wide("missing/sub").c_str(), nullptr));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());

    write("plain.txt", "x");
    write("locked.txt", "x");
    chmod(path("locked.txt").c_str(), 0444);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(wide("sub").c_str()));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_NORMAL, GetFileAttributesW(wide("plain.txt").c_str()));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, GetFileAttributesW(wide("locked.txt").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide("nothing").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST_F(KernelFiles, DeleteAndMove) {
    write("a.txt", "first");
    write("b.txt", "second");
    // Without MOVEFILE_REPLACE_EXISTING an existing target is kept, and so is the source.
    EXPECT_FALSE(MoveFileExW(wide("a.txt").c_str(), wide("b.txt").c_str(), 0));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ("first", read("a.txt"));
    EXPECT_EQ("second", read("b.txt"));
    EXPECT_TRUE(MoveFileExW(wide("a.txt").c_str(), wide("b.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ("first", read("b.txt"));
    EXPECT_EQ("<missing>", read("a.txt"));
    EXPECT_TRUE(MoveFileExW(wide("b.txt").c_str(), wide("\xC3\xBC.txt").c_str(), 0));
    EXPECT_EQ("first", read("\xC3\xBC.txt"));
    EXPECT_FALSE(
        MoveFileExW(wide("gone.txt").c_str(), wide("x.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());

    EXPECT_TRUE(DeleteFileW(wide("\xC3\xBC.txt").c_str()));
    EXPECT_EQ("<missing>", read("\xC3\xBC.txt"));
    EXPECT_FALSE(DeleteFileW(wide("\xC3\xBC.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    ASSERT_TRUE(CreateDirectoryW(wide("folder").c_str(), nullptr));
    EXPECT_FALSE(DeleteFileW(wide("folder").c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(wide("folder").c_str()));
}

TEST(KernelMisc, MulDivRoundsHalfAwayFromZero) {
    EXPECT_EQ(8, MulDiv(10, 3, 4));
    EXPECT_EQ(-8, MulDiv(-10, 3, 4));
    EXPECT_EQ(-8, MulDiv(10, 3, -4));
    EXPECT_EQ(1, MulDiv(1, 1, 2));
    EXPECT_EQ(-1, MulDiv(-1, 1, 2));
    EXPECT_EQ(2, MulDiv(5, 1, 3));
    EXPECT_EQ(INT_MAX, MulDiv(INT_MAX, INT_MAX, INT_MAX));
    EXPECT_EQ(-1, MulDiv(7, 3, 0));
    EXPECT_EQ(-1, MulDiv(INT_MAX, 2, 1));
}

struct ThreadProbe {
    DWORD seen_id = 0;
    DWORD seen_error = 0;
    std::atomic<bool> done{false};  // orders the two fields before it for the reader
};

static DWORD WINAPI probe_thread(LPVOID param) {
    auto* probe = static_cast<ThreadProbe*>(param);
    SetLastError(7);
    probe->seen_id = GetCurrentThreadId();
    probe->seen_error = GetLastError();
    probe->done = true;
    return 0;
}

TEST(KernelMisc, ThreadsHandlesAndLastError) {
    ThreadProbe probe;
    SetLastError(5);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, probe_thread, &probe, 0, &id);
    ASSERT_NE(nullptr, thread);
    DWORD start = GetTickCount();
    while (!probe.done && GetTickCount() - start < 5000) Sleep(1);
    ASSERT_TRUE(probe.done);
    EXPECT_EQ(id, probe.seen_id);
    EXPECT_NE(GetCurrentThreadId(), id);
    EXPECT_EQ(7u, probe.seen_error);
    EXPECT_EQ(5u, GetLastError());
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());

    start = GetTickCount();
    Sleep(60);
    EXPECT_GE(GetTickCount() - start, 55u);
    EXPECT_NE(nullptr, GetModuleHandleW(nullptr));
    HICON icon = LoadIconW(nullptr, IDI_WINLOGO);
    EXPECT_NE(nullptr, icon);
    EXPECT_NE(nullptr, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_NE((void*)icon, (void*)LoadIconW(nullptr, IDI_APPLICATION));
    EXPECT_EQ(nullptr, LoadIconW(nullptr, MAKEINTRESOURCEW(1234)));
}

static LRESULT CALLBACK plain_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST(KernelMisc, FirstWindowCallWithoutDisplayExitsWithMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            WNDCLASSEXW wc = {};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = plain_proc;
            wc.lpszClassName = L"NoDisplay";
            RegisterClassExW(&wc);
            CreateWindowExW(0, L"NoDisplay", L"x", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                            nullptr, nullptr, nullptr);
            exit(0);
        },
        ::testing::ExitedWithCode(1), "X11: cannot open display");
}
