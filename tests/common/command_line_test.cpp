#include <gtest/gtest.h>

#include <string>

#include "common/command_line.h"

namespace {

std::string path_of(const char* command_line, PathResult expected = PathResult::ok) {
    char path[260];
    EXPECT_EQ(path_from_command_line(command_line, "Dotloom.dat", path, sizeof(path)), expected);
    return path;
}

TEST(CommandLine, TheWholeTextIsOnePathWithoutItsOuterQuotes) {
    EXPECT_EQ(path_of("\"C:\\scans\\scan one.dat\""), "C:\\scans\\scan one.dat");
    EXPECT_EQ(path_of("scan one.dat"), "scan one.dat");
    EXPECT_EQ(path_of("\"scan.dat"), "scan.dat");
    EXPECT_EQ(path_of("scan.dat\""), "scan.dat");
    // Two quoted arguments lose only the first and the very last quote.
    EXPECT_EQ(path_of("\"a.dat\" \"b.dat\""), "a.dat\" \"b.dat");
}

TEST(CommandLine, AnEmptyResultMeansTheDefaultFile) {
    EXPECT_EQ(path_of(nullptr), "Dotloom.dat");
    EXPECT_EQ(path_of(""), "Dotloom.dat");
    EXPECT_EQ(path_of("\"\""), "Dotloom.dat");
    EXPECT_EQ(path_of("\""), "Dotloom.dat");
}

TEST(CommandLine, APathThatDoesNotFitIsRefusedNotCut) {
    const std::string longest(259, 'a');
    EXPECT_EQ(path_of(longest.c_str()), longest);
    EXPECT_EQ(path_of(("\"" + longest + "\"").c_str()), longest);
    EXPECT_EQ(path_of(std::string(260, 'a').c_str(), PathResult::too_long), "");
}

}  // namespace
