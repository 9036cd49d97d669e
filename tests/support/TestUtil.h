// Small helpers shared by the tests.
#pragma once

#include <string>
#include <vector>

namespace testutil {

// A fresh, empty directory under the system's temporary folder, removed by
// the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a program with arguments, feeding input to its standard input.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& input = {});

} // namespace testutil
