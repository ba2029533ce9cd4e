// Real files for the mesh builder's tests: a fresh folder per test, whole-file reads and
// writes, folder listings.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// A temporary folder, removed with its files when the test ends.
class TempFolder {
public:
    TempFolder() {
        const std::string pattern =
            (std::filesystem::temp_directory_path() / "meshbuilder-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data())) ADD_FAILURE() << "cannot make a temporary folder";
        path_ = name.data();
    }
    ~TempFolder() { remove_tree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    static void remove_tree(const std::string& path) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) return;
        if (S_ISDIR(info.st_mode)) {
            chmod(path.c_str(), 0700);
            for (const std::string& name : list(path)) remove_tree(path + "/" + name);
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }

    // The names in a folder, sorted, without "." and "..".
    static std::vector<std::string> list(const std::string& path) {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> names() const { return list(path_); }

private:
    std::string path_;
};

inline bool file_exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

inline std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_whole_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}
