// Capture file names and the bitmap files themselves.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "matchviewer/bmp_file.h"
#include "matchviewer/capture_naming.h"

namespace {

bool in_set(const wchar_t* name, void* context) {
    return ((std::set<std::wstring>*)context)->count(name) != 0;
}

std::wstring name_for(const wchar_t* input, wchar_t separator, int32_t number) {
    CapturePath path;
    EXPECT_TRUE(init_capture_path(path, input, separator));
    EXPECT_TRUE(set_capture_number(path, number));
    return path.text;
}

// The numbers a capture of frames 1..frames writes into a folder holding taken.
std::vector<int32_t> capture_numbers(CapturePath& path, std::set<std::wstring>& taken,
                                     int32_t frames) {
    std::vector<int32_t> numbers;
    for (int32_t n = 1; n <= frames; ++n) {
        numbers.push_back(choose_capture_name(path, n, in_set, &taken));
        taken.insert(path.text);
    }
    return numbers;
}

std::vector<uint8_t> read_whole(const std::string& name) {
    std::vector<uint8_t> bytes;
    if (FILE* file = fopen(name.c_str(), "rb")) {
        for (int c; (c = fgetc(file)) != EOF;) bytes.push_back((uint8_t)c);
        fclose(file);
    }
    return bytes;
}

}  // namespace

TEST(CaptureNaming, FolderOfTheInputAndFourDigitNumbers) {
    EXPECT_EQ(name_for(L"D:\\scans\\MatchInfo.dat", L'\\', 7),
              L"D:\\scans\\Twinshot_Capture\\Twinshot0007.bmp");
    EXPECT_EQ(name_for(L"MatchInfo.dat", L'\\', 1234), L"Twinshot_Capture\\Twinshot1234.bmp");
    EXPECT_EQ(name_for(L"/data/ann/run 2/m.dat", L'/', 1),
              L"/data/ann/run 2/Twinshot_Capture/Twinshot0001.bmp");
    EXPECT_EQ(name_for(L"a\\b/c.dat", L'/', 42), L"a\\b/Twinshot_Capture/Twinshot0042.bmp");
    EXPECT_EQ(name_for(L"a\\b/c.dat", L'\\', 999), L"a\\Twinshot_Capture\\Twinshot0999.bmp");
    EXPECT_EQ(name_for(L"x/", L'/', 1000), L"x/Twinshot_Capture/Twinshot1000.bmp");
    EXPECT_EQ(name_for(L"", L'/', 10000), L"Twinshot_Capture/Twinshot10000.bmp");
    CapturePath path;
    init_capture_path(path, L"D:\\scans\\MatchInfo.dat", L'\\');
    wchar_t folder[kCapturePathCapacity];
    ASSERT_TRUE(copy_capture_folder(path, folder, kCapturePathCapacity));
    EXPECT_EQ(std::wstring(folder), L"D:\\scans\\Twinshot_Capture");
}

TEST(CaptureNaming, TakenNamesAreSkipped) {
    CapturePath path;
    init_capture_path(path, L"/data/m.dat", L'/');
    std::set<std::wstring> taken = {L"/data/Twinshot_Capture/Twinshot0002.bmp"};
    EXPECT_EQ(capture_numbers(path, taken, 3), (std::vector<int32_t>{1, 3, 4}));
    // A second capture of N frames continues at N + 1 .. 2N.
    std::set<std::wstring> folder;
    capture_numbers(path, folder, 12);
    const std::vector<int32_t> second = capture_numbers(path, folder, 12);
    for (int32_t f = 1; f <= 12; ++f) EXPECT_EQ(second[f - 1], 12 + f);
    // Real files and folders of those names count as taken.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("twinshot_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "Twinshot_Capture" / "Twinshot0001.bmp");
    fclose(fopen((dir / "Twinshot_Capture" / "Twinshot0002.bmp").c_str(), "wb"));
    init_capture_path(path, (dir / "m.dat").wstring().c_str(), L'/');
    auto exists = [](const wchar_t* name, void*) {
        struct stat st;
        return stat(std::filesystem::path(name).c_str(), &st) == 0;
    };
    EXPECT_EQ(choose_capture_name(path, 1, exists, nullptr), 3);
    EXPECT_EQ(std::filesystem::path(path.text), dir / "Twinshot_Capture" / "Twinshot0003.bmp");
    std::filesystem::remove_all(dir);
}

TEST(CaptureNaming, PathsThatDoNotFitAreRefused) {
    // A name is prefix + 33 characters and 259 fit: a prefix of 226 just fits.
    std::wstring input = std::wstring(225, L'f') + L"/in.dat";
    CapturePath path;
    ASSERT_TRUE(init_capture_path(path, input.c_str(), L'/'));
    ASSERT_TRUE(set_capture_number(path, 9999));
    EXPECT_EQ(wcslen(path.text), 259u);
    const std::wstring stem(path.text, path.stem_length);
    EXPECT_FALSE(set_capture_number(path, 10000));  // one character more: refused
    EXPECT_EQ(std::wstring(path.text), stem);
    std::set<std::wstring> taken;
    for (int i = 9990; i <= 9999; ++i) taken.insert(stem + std::to_wstring(i) + L".bmp");
    EXPECT_EQ(choose_capture_name(path, 9990, in_set, &taken), -1);
    EXPECT_FALSE(init_capture_path(path, (L"g" + input).c_str(), L'/'));
    EXPECT_EQ(path.text[0], 0);
}

TEST(BmpFile, SizesAndHeader) {
    EXPECT_EQ(bmp_row_size(100), 300);
    EXPECT_EQ(bmp_row_size(101), 304);
    EXPECT_EQ(bmp_row_size(1), 4);
    EXPECT_EQ(bmp_row_size(0), 0);
    EXPECT_EQ(bmp_file_size(101, 7), 58 + 304 * 7);
    EXPECT_EQ(bmp_file_size(0, 459), 58);
    EXPECT_EQ(bmp_file_size(792, 0), 58);
    EXPECT_EQ(bmp_file_size(100000, 100000), -1);  // beyond the 32-bit size field
    uint8_t header[kBmpHeaderSize];
    write_bmp_header(header, 101, 2);
    const uint8_t expected[kBmpHeaderSize] = {
        'B', 'M', 0x9A, 0x02, 0,    0,    0, 0, 0, 0, 58, 0, 0, 0,  // size 666, pixels at 58
        40,  0,   0,    0,    101,  0,    0, 0, 2, 0, 0,  0, 1, 0,
        24,  0,                                              // 101 x 2, 1 plane, 24 bits
        0,   0,   0,    0,    0x60, 0x02, 0, 0};             // uncompressed, 608 bytes
    EXPECT_EQ(0, memcmp(header, expected, kBmpHeaderSize));  // the rest is zero
}

TEST(BmpFile, RowsAndWrittenFiles) {
    // 3 x 2 pixels; each section byte says where it is: row, column, channel.
    std::vector<uint8_t> section(24);
    for (size_t i = 0; i < 24; ++i)
        section[i] = (uint8_t)(100 * (i / 12) + 10 * (i / 4 % 3) + i % 4 + 1);
    std::vector<uint8_t> bytes((size_t)bmp_file_size(3, 2), 0xEE);
    ASSERT_TRUE(fill_bmp_file(bytes.data(), section.data(), 3, 2));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 58, bytes.end()),
              (std::vector<uint8_t>{1,   2,   3,   11,  12,  13,  21,  22,  23,  0, 0, 0,
                                    101, 102, 103, 111, 112, 113, 121, 122, 123, 0, 0, 0}));
    const std::string name =
        (std::filesystem::temp_directory_path() / ("twinshot_" + std::to_string(getpid()) + ".bmp"))
            .string();
    EXPECT_TRUE(write_and_close(fopen(name.c_str(), "wb"), bytes.data(), bytes.size()));
    EXPECT_EQ(read_whole(name), bytes);
    // An empty view: the headers alone.
    std::vector<uint8_t> empty(58);
    ASSERT_TRUE(fill_bmp_file(empty.data(), nullptr, 0, 180));
    EXPECT_TRUE(write_and_close(fopen(name.c_str(), "wb"), empty.data(), empty.size()));
    EXPECT_EQ(read_whole(name).size(), 58u);
    EXPECT_EQ(empty[22], 180);
    remove(name.c_str());
    // A device that is always full: the failure is reported.
    FILE* full = fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no full device on this system";
    EXPECT_FALSE(write_and_close(full, bytes.data(), bytes.size()));
}
