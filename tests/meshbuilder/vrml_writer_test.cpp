// The VRML writer: fixed-point text, the output name, the exact bytes of the file and the
// safe save through a temporary file.
#include "meshbuilder/vrml_writer.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_files.h"

namespace {

std::string fixed5(double value) {
    wchar_t text[kFixed5Capacity];
    const int length = format_fixed5(value, text);
    std::string narrow;
    for (int i = 0; i < length; ++i) narrow += (char)text[i];
    EXPECT_EQ(text[length], L'\0');
    EXPECT_EQ((size_t)length, wcslen(text));
    return narrow;
}

// The file as the writer's rules describe it, assembled piece by piece with format_fixed5.
std::string reference_vrml(const std::vector<float>& vertices, const std::vector<int32_t>& faces) {
    std::string text = "#VRML V1.0 ascii\r\n\r\nSeparator\r\n{\r\n";
    text += "  Coordinate3\r\n  {\r\n    point\r\n    [";
    for (size_t i = 0; i < vertices.size() / 3; ++i) {
        if (i > 0) text += ",";
        text += "\r\n      " + fixed5(vertices[3 * i]) + " " + fixed5(vertices[3 * i + 1]) + " " +
                fixed5(vertices[3 * i + 2]);
    }
    text += "\r\n    ]\r\n  }\r\nIndexedFaceSet { coordIndex [\r\n";
    for (size_t t = 0; t < faces.size() / 3; ++t) {
        if (t > 0) text += ",\r\n";
        for (int k = 0; k < 3; ++k) text += std::to_string(faces[3 * t + k]) + ", ";
        text += "-1";
    }
    return text + "]}\r\n}";
}

MeshRecord record_of(std::vector<float>& vertices, std::vector<int32_t>& faces) {
    return MeshRecord{(int32_t)(vertices.size() / 3), vertices.data(),
                      (int32_t)(faces.size() / 3), faces.data()};
}

size_t append_to_string(const void* data, size_t size, FILE* file) {
    reinterpret_cast<std::string*>(file)->append((const char*)data, size);
    return size;
}

// The text write_vrml_stream produces, collected in memory.
std::string stream_text(const MeshRecord& mesh) {
    std::string text;
    const int64_t written = write_vrml_stream(mesh, reinterpret_cast<FILE*>(&text), append_to_string);
    EXPECT_EQ(written, (int64_t)text.size());
    return text;
}

const char kThreeVertexExample[] =
    "#VRML V1.0 ascii\r\n"
    "\r\n"
    "Separator\r\n"
    "{\r\n"
    "  Coordinate3\r\n"
    "  {\r\n"
    "    point\r\n"
    "    [\r\n"
    "      0.50000 -0.25000 1.00000,\r\n"
    "      -1.50000 2.00000 0.00000,\r\n"
    "      0.12500 0.00000 -0.75000\r\n"
    "    ]\r\n"
    "  }\r\n"
    "IndexedFaceSet { coordIndex [\r\n"
    "0, 1, 2, -1]}\r\n"
    "}";

TEST(FormatFixed5, TruncatesDecimalsOfStoredFloats) {
    EXPECT_EQ(fixed5(0.1f), "0.10000");
    EXPECT_EQ(fixed5(0.7f), "0.69999");
    EXPECT_EQ(fixed5(-0.7f), "-0.69999");
    EXPECT_EQ(fixed5(3.1415927f), "3.14159");
    EXPECT_EQ(fixed5(123.456f), "123.45600");
    EXPECT_EQ(fixed5(-0.000001f), "-0.00000");
    EXPECT_EQ(fixed5(0.99999994f), "0.99999");
    EXPECT_EQ(fixed5(2147483520.0f), "2147483520.00000");  // largest float below 2^31
    EXPECT_EQ(fixed5(-12.5), "-12.50000");
    EXPECT_EQ(fixed5(7.0), "7.00000");
    wchar_t text[kFixed5Capacity];
    EXPECT_EQ(format_fixed5(-0.7f, text), 8);
}

TEST(FormatFixed5, WritesEveryIntegerDigitOfLargeValues) {
    EXPECT_EQ(fixed5(2147483648.0), "2147483648.00000");
    EXPECT_EQ(fixed5(-2147483648.0), "-2147483648.00000");
    EXPECT_EQ(fixed5(2147483647.5), "2147483647.50000");
    EXPECT_EQ(fixed5(4294967296.75), "4294967296.75000");
    EXPECT_EQ(fixed5(-3e9), "-3000000000.00000");
    EXPECT_EQ(fixed5(1e20), "100000000000000000000.00000");
    EXPECT_EQ(fixed5(18446744073709551616.0), "18446744073709551616.00000");  // 2^64
    EXPECT_EQ(fixed5(123456789012345.67), "123456789012345.67187");
    EXPECT_EQ(fixed5(FLT_MAX), "340282346638528859811704183484516925440.00000");
    EXPECT_EQ(fixed5(1e300),
              "10000000000000000525047602552044202487044685811081591549158541155118024579889081"
              "95786371375080447864043704443832883878176942523235360430575644792184786706982848"
              "38720092657580373783023379478809005936895323497079994508111903896764088007465274"
              "2780142494579258788820056842838115669472196386865459400540160"
              ".00000");
    const std::string largest = fixed5(-DBL_MAX);
    EXPECT_EQ(largest.size(), 1u + 309u + 6u);
    EXPECT_EQ(largest.substr(0, 21), "-17976931348623157081");
    EXPECT_EQ(largest.substr(largest.size() - 15), "124858368.00000");
}

TEST(FormatFixed5, SignRuleAndValuesWithoutDigits) {
    EXPECT_EQ(fixed5(-0.0), "0.00000");
    EXPECT_EQ(fixed5(0.0), "0.00000");
    EXPECT_EQ(fixed5(1e-300), "0.00000");
    EXPECT_EQ(fixed5(-1e-300), "-0.00000");
    EXPECT_EQ(fixed5(-std::numeric_limits<double>::denorm_min()), "-0.00000");
    EXPECT_EQ(fixed5(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(fixed5(-std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(fixed5(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(fixed5(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(VrmlOutputPath, CutsOnlyTheFileNamesExtension) {
    char out[MAX_PATH];
    const std::pair<const char*, const char*> cases[] = {
        {"Dotloom.dat", "Dotloom.wrl"},
        {"points", "points.wrl"},
        {"scans.v2/points", "scans.v2/points.wrl"},
        {"C:\\my.data\\scan", "C:\\my.data\\scan.wrl"},
        {"C:\\my.data\\scan.dat", "C:\\my.data\\scan.wrl"},
        {"a/b.c.dat", "a/b.c.wrl"},
        {"mesh.wrl", "mesh.wrl"},
        {"/abs/dir.x/sub\\name.pts", "/abs/dir.x/sub\\name.wrl"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(vrml_output_path(c.first, out)) << c.first;
        EXPECT_STREQ(out, c.second) << c.first;
    }
}

TEST(VrmlOutputPath, RefusesNamesThatDoNotFit) {
    char out[MAX_PATH];
    const std::string fits(MAX_PATH - 5, 'a');  // + ".wrl" and the terminator: 260
    ASSERT_TRUE(vrml_output_path(fits.c_str(), out));
    EXPECT_EQ(strlen(out), (size_t)MAX_PATH - 1);
    EXPECT_FALSE(vrml_output_path((fits + "b").c_str(), out));
    EXPECT_STREQ(out, "");
    // A 259-character input whose extension makes room still fits.
    const std::string long_input = std::string(MAX_PATH - 5, 'c') + ".dat";
    EXPECT_TRUE(vrml_output_path(long_input.c_str(), out));
    EXPECT_FALSE(vrml_output_path((std::string(MAX_PATH - 3, 'd') + ".dat").c_str(), out));
}

TEST(VrmlText, ThreeVerticesOneTriangleByteForByte) {
    std::vector<float> vertices = {0.5f, -0.25f, 1.0f, -1.5f, 2.0f, 0.0f, 0.125f, 0.0f, -0.75f};
    std::vector<int32_t> faces = {0, 1, 2};
    EXPECT_EQ(stream_text(record_of(vertices, faces)), std::string(kThreeVertexExample));

    std::vector<float> six(18, 0.0f);
    std::vector<int32_t> two = {0, 1, 2, 3, 4, 5};
    const std::string text = stream_text(record_of(six, two));
    EXPECT_NE(text.find("IndexedFaceSet { coordIndex [\r\n0, 1, 2, -1,\r\n3, 4, 5, -1]}\r\n}"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 3), "\r\n}");
}

TEST(VrmlText, EmptyVertexAndFaceLists) {
    MeshRecord empty{0, nullptr, 0, nullptr};
    EXPECT_EQ(stream_text(empty),
              "#VRML V1.0 ascii\r\n\r\nSeparator\r\n{\r\n  Coordinate3\r\n  {\r\n    point\r\n"
              "    [\r\n    ]\r\n  }\r\nIndexedFaceSet { coordIndex [\r\n]}\r\n}");
    std::vector<float> vertices = {1.0f, 2.0f, 3.0f};
    std::vector<int32_t> none;
    EXPECT_EQ(stream_text(record_of(vertices, none)),
              "#VRML V1.0 ascii\r\n\r\nSeparator\r\n{\r\n  Coordinate3\r\n  {\r\n    point\r\n"
              "    [\r\n      1.00000 2.00000 3.00000\r\n    ]\r\n  }\r\n"
              "IndexedFaceSet { coordIndex [\r\n]}\r\n}");
}

// The fast formatter of the writer must give what format_fixed5 gives, for every kind of
// float and across many output blocks.
TEST(VrmlText, MatchesFormatFixed5ForAllKindsOfFloats) {
    std::mt19937 random(20240607);
    std::vector<float> vertices = {
        0.0f, -0.0f, FLT_MAX, -FLT_MAX, FLT_MIN, -FLT_MIN, std::numeric_limits<float>::denorm_min(),
        2147483648.0f, -2147483648.0f, 2147483520.0f, 16777217.0f, 0.99999994f, 1e-5f, 9.99999e-6f,
        std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(), 4294967040.0f};
    std::uniform_real_distribution<float> near(-10.0f, 10.0f);
    while (vertices.size() < 3 * 60000) {
        uint32_t bits = random();
        float any;
        memcpy(&any, &bits, 4);
        if (std::isfinite(any)) vertices.push_back(any);
        vertices.push_back(near(random));
    }
    vertices.resize(3 * 60000);
    std::vector<int32_t> faces;
    for (int32_t t = 0; t < 50000; ++t) {
        faces.insert(faces.end(), {t, (int32_t)(random() % 60000), 59999 - t % 60000});
    }
    faces.insert(faces.end(), {INT32_MAX, 1000000000, 999999999});
    const MeshRecord mesh = record_of(vertices, faces);
    const std::string text = stream_text(mesh);
    EXPECT_GT(text.size(), (size_t)3 << 20);  // several blocks
    EXPECT_TRUE(text == reference_vrml(vertices, faces));
}

// --- The safe save -----------------------------------------------------------------------

int g_calls = 0;  // write calls seen by the failing steps below

size_t write_fails_second_time(const void* data, size_t size, FILE* file) {
    if (++g_calls == 2) {
        errno = ENOSPC;
        return 0;
    }
    return fwrite(data, 1, size, file);
}
int flush_fails(FILE* file) {
    fflush(file);
    errno = EIO;
    return EOF;
}
int close_fails(FILE* file) {
    fclose(file);
    errno = EDQUOT;
    return EOF;
}
bool replace_fails(const char*, const char*) { return false; }

struct SaveCase : ::testing::Test {
    TempFolder folder;
    std::vector<float> vertices;
    std::vector<int32_t> faces;
    MeshRecord mesh;
    std::string input, output;

    void SetUp() override {
        g_calls = 0;
        for (int i = 0; i < 40000; ++i) vertices.insert(vertices.end(), {i * 0.5f, -i * 0.25f, 1.0f});
        for (int t = 0; t + 2 < 40000; t += 3) faces.insert(faces.end(), {t, t + 1, t + 2});
        mesh = record_of(vertices, faces);
        input = folder.file("scan.dat");
        output = folder.file("scan.wrl");
        write_whole_file(input, "points");
        write_whole_file(output, "old mesh");
    }

    // A failed save must leave the folder exactly as it was.
    void expect_untouched() {
        EXPECT_EQ(folder.names(), (std::vector<std::string>{"scan.dat", "scan.wrl"}));
        EXPECT_EQ(read_whole_file(input), "points");
        EXPECT_EQ(read_whole_file(output), "old mesh");
    }
};

TEST_F(SaveCase, ReplacesTheOldFileAndLeavesNoTemporaryFile) {
    const VrmlResult saved = write_vrml(input.c_str(), mesh, system_file_steps());
    ASSERT_TRUE(saved.ok) << std::string(saved.reason.begin(), saved.reason.end());
    EXPECT_EQ(std::string(saved.path), output);
    EXPECT_TRUE(read_whole_file(output) == reference_vrml(vertices, faces));
    // The writer itself never deletes the input; build_mesh does, after the save.
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"scan.dat", "scan.wrl"}));
}

TEST_F(SaveCase, UsesAnotherTemporaryNameWhenOneIsTaken) {
    write_whole_file(output + ".tmp", "someone else's");
    const VrmlResult saved = write_vrml(input.c_str(), mesh, system_file_steps());
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(read_whole_file(output + ".tmp"), "someone else's");
    EXPECT_TRUE(read_whole_file(output) == reference_vrml(vertices, faces));
    EXPECT_EQ(folder.names().size(), 3u);
}

TEST_F(SaveCase, FailedWriteFlushCloseOrRenameKeepsEverything) {
    FileSteps steps = system_file_steps();
    steps.write = write_fails_second_time;
    VrmlResult saved = write_vrml(input.c_str(), mesh, steps);
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(g_calls, 2);
    EXPECT_NE(saved.reason.find(L"No space left on device"), std::wstring::npos);
    EXPECT_NE(saved.reason.find(L"point file was kept"), std::wstring::npos);
    expect_untouched();

    const FileSteps bare = system_file_steps();
    for (int step = 0; step < 3; ++step) {
        steps = bare;
        if (step == 0) steps.flush = flush_fails;
        if (step == 1) steps.close = close_fails;
        if (step == 2) steps.replace = replace_fails;
        saved = write_vrml(input.c_str(), mesh, steps);
        EXPECT_FALSE(saved.ok) << step;
        EXPECT_FALSE(saved.reason.empty());
        expect_untouched();
    }
}

TEST_F(SaveCase, RealWriteFailureOfTheFileSystem) {
    // NOTE: a file size limit makes the kernel refuse the writes even for root.
    rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit small = old_limit;
    small.rlim_cur = 4096;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const VrmlResult saved = write_vrml(input.c_str(), mesh, system_file_steps());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.reason.find(L"File too large"), std::wstring::npos);
    expect_untouched();
}

TEST_F(SaveCase, FolderThatCannotHoldFilesAndOverlongNames) {
    write_whole_file(folder.file("plain"), "a file, not a folder");
    const std::string under_file = folder.file("plain/scan.dat");
    VrmlResult saved = write_vrml(under_file.c_str(), mesh, system_file_steps());
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.reason.find(L"could not be created"), std::wstring::npos);

    const std::string long_input = folder.file(std::string(MAX_PATH, 'x'));
    saved = write_vrml(long_input.c_str(), mesh, system_file_steps());
    EXPECT_FALSE(saved.ok);
    EXPECT_STREQ(saved.path, "");
    EXPECT_NE(saved.reason.find(L"longer than 259"), std::wstring::npos);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"plain", "scan.dat", "scan.wrl"}));
}

}  // namespace
