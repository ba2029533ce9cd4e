// Real files for the mesh builder's tests: a fresh folder per test, whole-file reads and
// writes, sorted folder listings.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// A temporary folder, removed with its files when the test ends.
struct TempFolder {
    std::string path;
    TempFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "meshbuilder-XXXXXX").string();
        if (!mkdtemp(&name[0])) ADD_FAILURE() << "cannot make a temporary folder";
        path = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

inline std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline bool file_exists(const std::string& path) {
    return std::filesystem::exists(path);
}

inline std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_whole_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
