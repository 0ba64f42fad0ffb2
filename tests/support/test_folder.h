// A temporary folder of this test process's own, for every unit test that
// writes files. CTest runs each test in a process of its own, side by side
// (-j) and beside valgrind.unit_tests, which runs the whole binary: a fixed
// path under the shared temporary folder would be written, read and removed
// by several processes at once. The folder is made with mkdtemp on first
// use and removed, with all in it, when the process that made it exits (a
// forked child that exits leaves it alone).
#ifndef ZORV_TEST_FOLDER_H
#define ZORV_TEST_FOLDER_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace zorv_test {

class ProcessFolder {
public:
    ProcessFolder() : owner_(getpid())
    {
        std::string name = ::testing::TempDir();
        if (!name.empty() && name.back() != '/')
            name += '/';
        name += "zorv-unit-XXXXXX";
        if (!mkdtemp(name.data())) {
            perror(("mkdtemp " + name).c_str());
            std::abort();
        }
        path_ = name;
    }
    ~ProcessFolder()
    {
        if (getpid() != owner_)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ProcessFolder(const ProcessFolder&) = delete;
    ProcessFolder& operator=(const ProcessFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    pid_t owner_;
    std::string path_;
};

// The process's folder, without a trailing slash.
inline const std::string& processFolder()
{
    static ProcessFolder folder;
    return folder.path();
}

// PATH inside the process's folder: processFolder() + "/" + name.
inline std::string inProcessFolder(const std::string& name) { return processFolder() + "/" + name; }

} // namespace zorv_test

#endif
