#include "player/common/FileUtilities.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include <osg/Notify>
#include <osgDB/FileNameUtils>

#include "scene_description/ValueParsing.h"

namespace fs = std::filesystem;

namespace Orvana
{

bool isAbsolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return true;
    size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos)
        return false;
    const std::string directory = path.substr(0, separator + 1);
    return directory.size() > 2 && directory[1] == ':' && directory[2] == '\\';
}

std::string joinPath(const std::string& directory, const std::string& name)
{
    return osgDB::concatPaths(directory, name);
}

std::string scenePath(const std::string& directory, const std::string& name)
{
    return isAbsolutePath(name) ? localPath(name) : joinPath(directory, localPath(name));
}

bool fileExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::exists(fs::symlink_status(path, ec)) && !ec;
}

void removeFile(const std::string& path)
{
    std::error_code ec;
    fs::remove(path, ec);
}

void removeDirectoryTree(const std::string& directory)
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(directory, ec);
    if (directory.empty() || !fs::exists(status)) {
        osg::notify(osg::NOTICE) << " Nothing to cleanup..." << std::endl;
        return;
    }
    // A link is never followed: what it points to is not ours to delete.
    if (fs::is_symlink(status)) {
        osg::notify(osg::FATAL) << " WARNING: temporary folder is a symbolic link, only the link is removed: "
                                << directory << std::endl;
        const bool removed = fs::remove(directory, ec);
        osg::notify(osg::NOTICE) << (removed ? "Temporary data removed (dirs)."
                                             : "Unable to remove temporary data.")
                                 << std::endl;
        return;
    }
    bool filesRemoved = true;
    for (fs::recursive_directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code removeError;
        if (!it->is_directory(removeError) && !fs::remove(it->path(), removeError))
            filesRemoved = false;
    }
    filesRemoved = filesRemoved && !ec;
    osg::notify(osg::NOTICE) << (filesRemoved ? "Temporary data removed (files)."
                                              : "Unable to remove temporary data.")
                             << std::endl;
    ec.clear();
    fs::remove_all(directory, ec);
    osg::notify(osg::NOTICE) << (!ec ? "Temporary data removed (dirs)." : "Unable to remove temporary data.")
                             << std::endl;
}

std::string lowerCaseExtension(const std::string& path)
{
    std::string extension = osgDB::getFileExtension(path);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace Orvana
