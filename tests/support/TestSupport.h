#pragma once

#include <string>

namespace Orvana::Testing
{

// A fresh, empty folder under the system's temporary folder, removed when this object dies.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return _path; }
    // path() joined with name.
    std::string file(const std::string& name) const;
    // Writes content to path()/name (creating folders) and returns the full path.
    std::string write(const std::string& name, const std::string& content) const;

private:
    std::string _path;
};

std::string readFile(const std::string& path);
// A file of the test data kept in the project; a missing one throws, which ends the test at once.
std::string testdata(const std::string& relative);

} // namespace Orvana::Testing
