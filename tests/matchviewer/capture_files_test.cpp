// Capture file names and the bitmap files themselves.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "matchviewer/bmp_file.h"
#include "matchviewer/capture_naming.h"

namespace {

// Names taken so far, as a set the predicate looks into.
bool in_set(const wchar_t* name, void* context) {
    return ((std::set<std::wstring>*)context)->count(name) != 0;
}

// The name chosen for frame n, which then counts as taken.
std::wstring capture_into(CapturePath& path, std::set<std::wstring>& taken, int32_t n) {
    if (choose_capture_name(path, n, in_set, &taken) < 0) return L"";
    taken.insert(path.text);
    return path.text;
}

CapturePath path_for(const wchar_t* input, wchar_t separator) {
    CapturePath path;
    EXPECT_TRUE(init_capture_path(path, input, separator));
    return path;
}

std::wstring name_for(const wchar_t* input, wchar_t separator, int32_t number) {
    CapturePath path = path_for(input, separator);
    EXPECT_TRUE(set_capture_number(path, number));
    return path.text;
}

std::vector<uint8_t> read_whole(const std::string& name) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(name.c_str(), "rb");
    if (!file) return bytes;
    int c;
    while ((c = fgetc(file)) != EOF) bytes.push_back((uint8_t)c);
    fclose(file);
    return bytes;
}

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

}  // namespace

TEST(CaptureNaming, FolderOfTheInputAndFourDigitNumbers) {
    EXPECT_EQ(name_for(L"D:\\scans\\MatchInfo.dat", L'\\', 7),
              L"D:\\scans\\Twinshot_Capture\\Twinshot0007.bmp");
    EXPECT_EQ(name_for(L"MatchInfo.dat", L'\\', 1234), L"Twinshot_Capture\\Twinshot1234.bmp");
    EXPECT_EQ(name_for(L"/home/ann/run 2/m.dat", L'/', 1),
              L"/home/ann/run 2/Twinshot_Capture/Twinshot0001.bmp");
    // Only the given separator divides folders.
    EXPECT_EQ(name_for(L"a\\b/c.dat", L'/', 42), L"a\\b/Twinshot_Capture/Twinshot0042.bmp");
    EXPECT_EQ(name_for(L"a\\b/c.dat", L'\\', 42), L"a\\Twinshot_Capture\\Twinshot0042.bmp");
    EXPECT_EQ(name_for(L"/m.dat", L'/', 999), L"/Twinshot_Capture/Twinshot0999.bmp");
    EXPECT_EQ(name_for(L"x/", L'/', 1000), L"x/Twinshot_Capture/Twinshot1000.bmp");
    EXPECT_EQ(name_for(L"", L'/', 10000), L"Twinshot_Capture/Twinshot10000.bmp");
    EXPECT_EQ(name_for(L"", L'/', 0), L"Twinshot_Capture/Twinshot0000.bmp");

    CapturePath path = path_for(L"D:\\scans\\MatchInfo.dat", L'\\');
    wchar_t folder[kCapturePathCapacity];
    ASSERT_TRUE(copy_capture_folder(path, folder, kCapturePathCapacity));
    EXPECT_EQ(std::wstring(folder), L"D:\\scans\\Twinshot_Capture");
    EXPECT_FALSE(copy_capture_folder(path, folder, 10));
}

TEST(CaptureNaming, TakenNamesAreSkipped) {
    // Only 0002 is taken: three frames write 0001, 0003, 0004.
    CapturePath path = path_for(L"/data/m.dat", L'/');
    std::set<std::wstring> taken = {L"/data/Twinshot_Capture/Twinshot0002.bmp"};
    EXPECT_EQ(capture_into(path, taken, 1), L"/data/Twinshot_Capture/Twinshot0001.bmp");
    EXPECT_EQ(capture_into(path, taken, 2), L"/data/Twinshot_Capture/Twinshot0003.bmp");
    EXPECT_EQ(capture_into(path, taken, 3), L"/data/Twinshot_Capture/Twinshot0004.bmp");

    // A second capture of N frames continues at N + 1 .. 2N.
    const int32_t n = 12;
    std::set<std::wstring> folder;
    for (int32_t f = 1; f <= n; ++f) capture_into(path, folder, f);
    std::vector<int32_t> numbers;
    for (int32_t f = 1; f <= n; ++f) {
        numbers.push_back(choose_capture_name(path, f, in_set, &folder));
        folder.insert(path.text);
    }
    for (int32_t f = 1; f <= n; ++f) EXPECT_EQ(numbers[f - 1], n + f);
    EXPECT_EQ(std::wstring(path.text), L"/data/Twinshot_Capture/Twinshot0024.bmp");
}

TEST(CaptureNaming, RealFilesAndFoldersCountAsTaken) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("twinshot_names_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "Twinshot_Capture" / "Twinshot0001.bmp");
    fclose(fopen((dir / "Twinshot_Capture" / "Twinshot0002.bmp").c_str(), "wb"));
    const std::wstring input = (dir / "MatchInfo.dat").wstring();
    CapturePath path = path_for(input.c_str(), L'/');
    auto exists = [](const wchar_t* name, void*) {
        struct stat st;
        return stat(std::filesystem::path(name).c_str(), &st) == 0;
    };
    EXPECT_EQ(choose_capture_name(path, 1, exists, nullptr), 3);
    EXPECT_EQ(std::filesystem::path(path.text), dir / "Twinshot_Capture" / "Twinshot0003.bmp");
    std::filesystem::remove_all(dir);
}

TEST(CaptureNaming, PathsThatDoNotFitAreRefused) {
    // A name is prefix + "Twinshot_Capture/Twinshot" + 4 digits + ".bmp": prefix + 33
    // characters, and 259 fit. A prefix of 226 (225 letters and the separator) just fits.
    std::wstring input = std::wstring(225, L'f') + L"/in.dat";
    CapturePath path;
    ASSERT_TRUE(init_capture_path(path, input.c_str(), L'/'));
    ASSERT_TRUE(set_capture_number(path, 9999));
    EXPECT_EQ(wcslen(path.text), 259u);
    const std::wstring stem(path.text, path.stem_length);
    // 10000 needs one character more: refused, the text is left at the stem.
    EXPECT_FALSE(set_capture_number(path, 10000));
    EXPECT_EQ(std::wstring(path.text), stem);
    EXPECT_FALSE(set_capture_number(path, -1));
    std::set<std::wstring> taken;
    for (int i = 9990; i <= 9999; ++i) {
        set_capture_number(path, i);
        taken.insert(path.text);
    }
    EXPECT_EQ(choose_capture_name(path, 9990, in_set, &taken), -1);
    EXPECT_EQ(std::wstring(path.text), stem);

    // One character more in the folder: even number 1 does not fit.
    input = L"g" + input;
    EXPECT_FALSE(init_capture_path(path, input.c_str(), L'/'));
    EXPECT_EQ(path.text[0], 0);
    EXPECT_FALSE(init_capture_path(path, std::wstring(400, L'h').append(L"/x").c_str(), L'/'));
}

TEST(BmpFile, RowAndFileSizes) {
    EXPECT_EQ(bmp_row_size(100), 300);
    EXPECT_EQ(bmp_row_size(101), 304);
    EXPECT_EQ(bmp_row_size(1), 4);
    EXPECT_EQ(bmp_row_size(2), 8);
    EXPECT_EQ(bmp_row_size(3), 12);
    EXPECT_EQ(bmp_row_size(0), 0);
    EXPECT_EQ(bmp_row_size(-5), 0);
    EXPECT_EQ(bmp_image_size(101, 7), 304 * 7);
    EXPECT_EQ(bmp_file_size(101, 7), 58 + 304 * 7);
    EXPECT_EQ(bmp_file_size(0, 459), 58);
    EXPECT_EQ(bmp_file_size(792, 0), 58);
    EXPECT_EQ(bmp_file_size(100000, 100000), -1);  // beyond the 32-bit size field
}

TEST(BmpFile, HeaderBytes) {
    uint8_t header[kBmpHeaderSize];
    write_bmp_header(header, 101, 2);
    const uint8_t expected[kBmpHeaderSize] = {
        'B', 'M', 0x9A, 0x02, 0, 0,  // bfSize 58 + 608 = 666
        0, 0, 0, 0,                  // reserved
        58, 0, 0, 0,                 // bfOffBits
        40, 0, 0, 0,                 // biSize
        101, 0, 0, 0,                // biWidth
        2, 0, 0, 0,                  // biHeight, bottom row first
        1, 0, 24, 0,                 // planes, bits
        0, 0, 0, 0,                  // no compression
        0x60, 0x02, 0, 0,            // biSizeImage 608
        0, 0, 0, 0, 0, 0, 0, 0,      // resolution
        0, 0, 0, 0, 0, 0, 0, 0,      // colours
        0, 0, 0, 0};                 // the four zero bytes before the pixels
    EXPECT_EQ(0, memcmp(header, expected, kBmpHeaderSize));
}

TEST(BmpFile, SectionRowsBecomePaddedBgrRowsInMemoryOrder) {
    // 3 x 2 pixels; each section byte says where it is: row, column, channel.
    const int32_t w = 3, h = 2;
    std::vector<uint8_t> section(w * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 4; ++c) section[(y * w + x) * 4 + c] = (uint8_t)(100 * y + 10 * x + c + 1);
        }
    }
    std::vector<uint8_t> file((size_t)bmp_file_size(w, h), 0xEE);
    ASSERT_TRUE(fill_bmp_file(file.data(), section.data(), w, h));
    ASSERT_EQ(file.size(), 58u + 12 * 2);
    EXPECT_EQ(u32_at(file, 2), file.size());
    EXPECT_EQ(u32_at(file, 22), 2u);
    const uint8_t rows[] = {1, 2, 3, 11, 12, 13, 21, 22, 23, 0, 0, 0,
                            101, 102, 103, 111, 112, 113, 121, 122, 123, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 58, file.end()),
              std::vector<uint8_t>(rows, rows + sizeof rows));

    // Width 100: no padding at all.
    std::vector<uint8_t> wide(100 * 4, 7), wide_file((size_t)bmp_file_size(100, 1));
    fill_bmp_file(wide_file.data(), wide.data(), 100, 1);
    EXPECT_EQ(wide_file.size(), 358u);
    EXPECT_EQ(std::vector<uint8_t>(wide_file.begin() + 58, wide_file.end()),
              std::vector<uint8_t>(300, 7));
}

TEST(BmpFile, WrittenFilesAndWriteFailures) {
    const std::string name = (std::filesystem::temp_directory_path() /
                              ("twinshot_bmp_" + std::to_string(getpid()) + ".bmp")).string();
    // An empty view: the two headers alone.
    std::vector<uint8_t> empty((size_t)bmp_file_size(0, 180));
    ASSERT_TRUE(fill_bmp_file(empty.data(), nullptr, 0, 180));
    FILE* file = fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(write_and_close(file, empty.data(), empty.size()));
    std::vector<uint8_t> back = read_whole(name);
    ASSERT_EQ(back.size(), 58u);
    EXPECT_EQ(u32_at(back, 2), 58u);
    EXPECT_EQ(u32_at(back, 18), 0u);
    EXPECT_EQ(u32_at(back, 22), 180u);
    EXPECT_EQ(u32_at(back, 34), 0u);

    std::vector<uint8_t> section(101 * 3 * 4, 0x5A), bytes((size_t)bmp_file_size(101, 3));
    fill_bmp_file(bytes.data(), section.data(), 101, 3);
    file = fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(write_and_close(file, bytes.data(), bytes.size()));
    EXPECT_EQ(read_whole(name), bytes);
    remove(name.c_str());

    // A device that is always full: the failure is reported, not swallowed.
    file = fopen("/dev/full", "wb");
    if (!file) GTEST_SKIP() << "no full device on this system";
    EXPECT_FALSE(write_and_close(file, bytes.data(), bytes.size()));
}
