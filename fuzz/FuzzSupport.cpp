#include "FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <osg/Notify>

namespace Orvana::Fuzz
{

namespace
{

class DroppingNotifyHandler : public osg::NotifyHandler
{
public:
    void notify(osg::NotifySeverity, const char*) override {}
};

std::string makeWorkFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvana-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

void removeWorkFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(workFolder(), ec);
}

} // namespace

const std::string& workFolder()
{
    // Kept alive until the exit handler that removes the folder has run.
    static const std::string* folder = [] {
        auto* made = new std::string(makeWorkFolder());
        std::atexit(removeWorkFolder);
        return made;
    }();
    return *folder;
}

std::string writeInput(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = workFolder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush())
        std::abort();
    return path;
}

void dropMessages()
{
    osg::setNotifyHandler(new DroppingNotifyHandler);
    osg::setNotifyLevel(osg::NOTICE);
}

} // namespace Orvana::Fuzz
