#include "support/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace Orvana::Testing
{

TempDir::TempDir()
{
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("orvana-test-" + std::to_string(rd()));
        if (fs::create_directory(candidate)) {
            _path = candidate.string();
            return;
        }
    }
    throw std::runtime_error("could not create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(_path, ec);
}

std::string TempDir::file(const std::string& name) const
{
    return (fs::path(_path) / name).string();
}

std::string TempDir::write(const std::string& name, const std::string& content) const
{
    fs::path target = fs::path(_path) / name;
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out << content;
    return target.string();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::string testdata(const std::string& relative)
{
    const std::string path = (fs::path(ORVANA_TESTDATA_DIR) / relative).string();
    // Thrown, so that the test stops at once: GoogleTest reports the exception as its failure.
    if (!fs::exists(path))
        throw std::runtime_error("missing test data file: " + path);
    return path;
}

} // namespace Orvana::Testing
