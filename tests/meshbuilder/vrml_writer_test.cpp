// The VRML writer: fixed-point text, the output name, the exact bytes of the file and the
// safe save through a temporary file.
#include "meshbuilder/vrml_writer.h"

#include "common/fixed_point.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "test_files.h"

namespace {

std::string fixed5(double value) {
    char text[kFixedTextCapacity];
    const int length = format_fixed(value, 5, text);
    EXPECT_EQ((size_t)length, strlen(text));
    return std::string(text, text + length);
}

// The file as its layout rules say, assembled piece by piece with format_fixed.
std::string reference_vrml(const std::vector<float>& v, const std::vector<int32_t>& faces) {
    std::string text =
        "#VRML V1.0 ascii\r\n\r\nSeparator\r\n{\r\n  Coordinate3\r\n  {\r\n    point\r\n    [";
    for (size_t i = 0; i < v.size() / 3; ++i) {
        text += (i ? ",\r\n      " : "\r\n      ") + fixed5(v[3 * i]) + " " + fixed5(v[3 * i + 1]) +
                " " + fixed5(v[3 * i + 2]);
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
    return MeshRecord{(int32_t)(vertices.size() / 3), vertices.data(), (int32_t)(faces.size() / 3),
                      faces.data()};
}

size_t append_to_string(const void* data, size_t size, FILE* file) {
    reinterpret_cast<std::string*>(file)->append((const char*)data, size);
    return size;
}

std::string stream_text(const MeshRecord& mesh) {
    std::string text;
    const int64_t written =
        write_vrml_stream(mesh, reinterpret_cast<FILE*>(&text), append_to_string);
    EXPECT_EQ(written, (int64_t)text.size());
    return text;
}

TEST(FormatFixed5, TruncatesAndWritesEveryIntegerDigit) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> cases[] = {
        {0.1f, "0.10000"},
        {0.7f, "0.69999"},
        {-0.7f, "-0.69999"},
        {3.1415927f, "3.14159"},
        {123.456f, "123.45600"},
        {-0.000001f, "-0.00000"},
        {0.99999994f, "0.99999"},
        {-12.5, "-12.50000"},
        {2147483520.0f, "2147483520.00000"},
        // Beyond a 32-bit integer: all digits, and the decimals of the same rule.
        {2147483648.0, "2147483648.00000"},
        {-2147483648.0, "-2147483648.00000"},
        {2147483647.5, "2147483647.50000"},
        {4294967296.75, "4294967296.75000"},
        {-3e9, "-3000000000.00000"},
        {1e20, "100000000000000000000.00000"},
        {18446744073709551616.0, "18446744073709551616.00000"},
        {123456789012345.67, "123456789012345.67187"},
        {FLT_MAX, "340282346638528859811704183484516925440.00000"},
        // The sign only for values below zero; tiny values have no digit to show.
        {-0.0, "0.00000"},
        {1e-300, "0.00000"},
        {-1e-300, "-0.00000"},
        {-std::numeric_limits<double>::denorm_min(), "-0.00000"},
        {nan, "nan"},
        {-nan, "nan"},
        {inf, "inf"},
        {-inf, "-inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(fixed5(c.first), c.second) << c.second;
    const std::string largest = fixed5(-DBL_MAX);
    EXPECT_EQ(largest.size(), 1u + 309u + 6u);
    EXPECT_EQ(largest.substr(0, 21), "-17976931348623157081");
    EXPECT_EQ(largest.substr(largest.size() - 15), "124858368.00000");
}

TEST(VrmlOutputPath, CutsOnlyTheFileNamesExtensionAndRefusesLongNames) {
    char out[MAX_PATH];
    const std::pair<const char*, const char*> cases[] = {
        {"Dotloom.dat", "Dotloom.wrl"},
        {"points", "points.wrl"},
        {"scans.v2/points", "scans.v2/points.wrl"},
        {"C:\\my.data\\scan", "C:\\my.data\\scan.wrl"},
        {"a/b.c.dat", "a/b.c.wrl"},
        {"mesh.wrl", "mesh.wrl"},
        {"d.x/e\\f.pts", "d.x/e\\f.wrl"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(vrml_output_path(c.first, out)) << c.first;
        EXPECT_STREQ(out, c.second);
    }
    const std::string fits(MAX_PATH - 5, 'a');  // + ".wrl" + terminator = 260
    EXPECT_TRUE(vrml_output_path(fits.c_str(), out));
    EXPECT_TRUE(vrml_output_path((fits + ".dat").c_str(), out));
    EXPECT_FALSE(vrml_output_path((fits + "b").c_str(), out));
    EXPECT_STREQ(out, "");
}

TEST(VrmlText, ExactBytesForSmallAndEmptyMeshes) {
    std::vector<float> three = {0.5f, -0.25f, 1.0f, -1.5f, 2.0f, 0.0f, 0.125f, 0.0f, -0.75f};
    std::vector<int32_t> one = {0, 1, 2}, two = {0, 1, 2, 3, 4, 5}, none;
    const std::string head =
        "#VRML V1.0 ascii\r\n\r\nSeparator\r\n{\r\n  Coordinate3\r\n  {\r\n    point\r\n    [";
    EXPECT_EQ(stream_text(record_of(three, one)),
              head +
                  "\r\n      0.50000 -0.25000 1.00000,\r\n      -1.50000 2.00000 0.00000,\r\n"
                  "      0.12500 0.00000 -0.75000\r\n    ]\r\n  }\r\n"
                  "IndexedFaceSet { coordIndex [\r\n0, 1, 2, -1]}\r\n}");
    const std::string faces = stream_text(record_of(three, two));
    EXPECT_EQ(faces.substr(faces.find("Indexed")),
              "IndexedFaceSet { coordIndex [\r\n0, 1, 2, -1,\r\n3, 4, 5, -1]}\r\n}");
    const std::string no_faces = stream_text(record_of(three, none));
    EXPECT_EQ(no_faces.substr(no_faces.find("Indexed")),
              "IndexedFaceSet { coordIndex [\r\n]}\r\n}");
    EXPECT_EQ(stream_text(MeshRecord{0, nullptr, 0, nullptr}),
              head + "\r\n    ]\r\n  }\r\nIndexedFaceSet { coordIndex [\r\n]}\r\n}");
}

// The writer's own digit code must give what format_fixed gives, for every kind of float
// and across many output blocks.
TEST(VrmlText, MatchesFormatFixed5ForAllKindsOfFloats) {
    std::mt19937 random(20240607);
    std::vector<float> v = {0.0f,          -0.0f,          FLT_MAX,
                            -FLT_MAX,      FLT_MIN,        FLT_TRUE_MIN,
                            2147483648.0f, -2147483648.0f, 2147483520.0f,
                            16777217.0f,   9.99999e-6f,    std::numeric_limits<float>::quiet_NaN(),
                            -INFINITY,     4294967040.0f};
    std::uniform_real_distribution<float> near(-10.0f, 10.0f);
    while (v.size() < 3 * 60000) {
        const uint32_t bits = random();
        float any;
        memcpy(&any, &bits, 4);
        if (std::isfinite(any)) v.push_back(any);
        v.push_back(near(random));
    }
    v.resize(3 * 60000);
    std::vector<int32_t> faces = {INT32_MAX, 1000000000, 999999999};
    for (int32_t t = 0; t < 50000; ++t)
        faces.insert(faces.end(), {t, (int32_t)(random() % 60000), 7});
    const std::string text = stream_text(record_of(v, faces));
    EXPECT_GT(text.size(), (size_t)3 << 20);  // several blocks
    EXPECT_TRUE(text == reference_vrml(v, faces));
}

// --- The safe save -----------------------------------------------------------------------

int g_writes = 0;

size_t write_fails_second_time(const void* data, size_t size, FILE* file) {
    if (++g_writes == 2) return errno = ENOSPC, 0;
    return fwrite(data, 1, size, file);
}
int flush_fails(FILE* file) {
    return fflush(file), errno = EIO, EOF;
}
int close_fails(FILE* file) {
    return fclose(file), errno = EDQUOT, EOF;
}
bool replace_fails(const char*, const char*) {
    return errno = EACCES, false;
}
int sync_fails(FILE*) {
    return errno = EIO, EOF;
}

struct SaveCase : ::testing::Test {
    TempFolder folder;
    std::vector<float> vertices;
    std::vector<int32_t> faces;
    std::string input = folder.file("scan.dat"), output = folder.file("scan.wrl");

    void SetUp() override {
        for (int i = 0; i < 40000; ++i)
            vertices.insert(vertices.end(), {i * 0.5f, -i * 0.25f, 1.0f});
        for (int t = 0; t + 2 < 40000; t += 3) faces.insert(faces.end(), {t, t + 1, t + 2});
        write_whole_file(input, "points");
        write_whole_file(output, "old mesh");
    }
    VrmlResult save(const FileSteps& steps) {
        return write_vrml(input.c_str(), record_of(vertices, faces), steps);
    }
    // A failed save leaves the folder exactly as it was.
    void expect_untouched(const VrmlResult& saved) {
        EXPECT_FALSE(saved.ok);
        EXPECT_NE(saved.reason.find(L"point file was kept"), std::wstring::npos);
        EXPECT_EQ(names_in(folder.path), (std::vector<std::string>{"scan.dat", "scan.wrl"}));
        EXPECT_EQ(read_whole_file(input), "points");
        EXPECT_EQ(read_whole_file(output), "old mesh");
    }
};

TEST_F(SaveCase, ReplacesTheOldFileEvenWhenATemporaryNameIsTaken) {
    write_whole_file(output + ".tmp", "someone else's");
    const VrmlResult saved = save(system_file_steps());
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(std::string(saved.path), output);
    EXPECT_TRUE(read_whole_file(output) == reference_vrml(vertices, faces));
    EXPECT_EQ(read_whole_file(output + ".tmp"), "someone else's");
    // The writer never deletes the input; build_mesh does, after the save.
    EXPECT_EQ(names_in(folder.path),
              (std::vector<std::string>{"scan.dat", "scan.wrl", "scan.wrl.tmp"}));
}

TEST_F(SaveCase, FailedWriteFlushSyncCloseOrRenameKeepsEverything) {
    for (int step = 0; step < 5; ++step) {
        FileSteps steps = system_file_steps();
        g_writes = 0;
        if (step == 0) steps.write = write_fails_second_time;
        if (step == 1) steps.flush = flush_fails;
        if (step == 2) steps.close = close_fails;
        if (step == 3) steps.replace = replace_fails;
        if (step == 4) steps.sync = sync_fails;
        const VrmlResult saved = save(steps);
        expect_untouched(saved);
        if (step == 0) {
            EXPECT_NE(saved.reason.find(L"No space left on device"), std::wstring::npos);
        }
    }
}

TEST_F(SaveCase, RealWriteFailureOfTheFileSystem) {
    // NOTE: a file size limit makes the kernel refuse the writes, even for root.
    rlimit old_limit, small;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    small = old_limit;
    small.rlim_cur = 4096;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const VrmlResult saved = save(system_file_steps());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    expect_untouched(saved);
    EXPECT_NE(saved.reason.find(L"File too large"), std::wstring::npos);
}

TEST_F(SaveCase, FolderThatCannotHoldFilesAndOverlongNames) {
    write_whole_file(folder.file("plain"), "a file, not a folder");
    input = folder.file("plain/scan.dat");
    VrmlResult saved = save(system_file_steps());
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.reason.find(L"could not be created (Not a directory)"), std::wstring::npos);
    input = folder.file(std::string(MAX_PATH, 'x'));
    saved = save(system_file_steps());
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.reason.find(L"longer than 259"), std::wstring::npos);
    EXPECT_EQ(names_in(folder.path), (std::vector<std::string>{"plain", "scan.dat", "scan.wrl"}));
}

}  // namespace
