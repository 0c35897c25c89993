#include "player/app/FileUtilities.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include <osg/Notify>
#include <osgDB/FileNameUtils>
#include <zip.h>

#include "scene_description/ValueParsing.h"
#include "scene_description/XMLKmlParserManager.h"

namespace fs = std::filesystem;

namespace Orvana {

namespace {

// The place a relative name inside `folder` leads to, or false when it is absolute or its ".."
// steps climb out of the folder.
bool entryTarget(const fs::path& folder, const std::string& name, fs::path& target)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'))
        return false;
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            if (part == "..") {
                if (parts.empty())
                    return false;
                parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part.push_back(name[i]);
        }
    }
    if (parts.empty())
        return false;
    target = folder;
    for (const std::string& piece : parts)
        target /= piece;
    return true;
}

bool extractEntry(zip_t* archive, zip_uint64_t index, const fs::path& target)
{
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    zip_file_t* entry = zip_fopen_index(archive, index, 0);
    if (!entry)
        return false;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    bool ok = static_cast<bool>(out);
    char buffer[65536];
    zip_int64_t read = 0;
    while (ok && (read = zip_fread(entry, buffer, sizeof(buffer))) > 0)
        ok = static_cast<bool>(out.write(buffer, read));
    zip_fclose(entry);
    return ok && read == 0;
}

bool copyFileBytes(const std::string& from, const std::string& to)
{
    std::error_code ec;
    fs::create_directories(fs::path(to).parent_path(), ec);
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
}

} // namespace

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
    if (directory.empty() || !fs::exists(directory, ec)) {
        osg::notify(osg::NOTICE) << " Nothing to cleanup..." << std::endl;
        return;
    }
    bool filesRemoved = true;
    for (fs::recursive_directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code removeError;
        if (!it->is_directory(removeError) && !fs::remove(it->path(), removeError))
            filesRemoved = false;
    }
    filesRemoved = filesRemoved && !ec;
    osg::notify(osg::NOTICE) << (filesRemoved ? "Temporary data removed (files)." : "Unable to remove temporary data.")
                             << std::endl;
    ec.clear();
    fs::remove_all(directory, ec);
    osg::notify(osg::NOTICE) << (!ec ? "Temporary data removed (dirs)." : "Unable to remove temporary data.")
                             << std::endl;
}

bool unzipArchive(const std::string& archivePath, const std::string& directory)
{
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    bool ok = archive != nullptr;
    if (ok) {
        const fs::path folder(directory);
        std::error_code ec;
        fs::create_directories(folder, ec);
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* rawName = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
            const std::string name = rawName ? rawName : "";
            fs::path target;
            if (!entryTarget(folder, name, target)) {
                osg::notify(osg::FATAL) << " WARNING: archive entry refused (outside the unpack folder): " << name
                                        << std::endl;
                ok = false;
                continue;
            }
            if (name.back() == '/' || name.back() == '\\') {
                fs::create_directories(target, ec);
                continue;
            }
            if (!extractEntry(archive, static_cast<zip_uint64_t>(i), target))
                ok = false;
        }
        zip_discard(archive);
    }
    if (ok)
        osg::notify(osg::NOTICE) << "File: '" << archivePath << "' unzipped!" << std::endl;
    else
        osg::notify(osg::NOTICE) << "Unable to unzip file: '" << archivePath << "'" << std::endl;
    return ok;
}

std::string lowerCaseExtension(const std::string& path)
{
    std::string extension = osgDB::getFileExtension(path);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::vector<std::string> findKmzModels(const std::string& folder)
{
    std::vector<std::string> models;
    const std::string modelsFolder = joinPath(folder, "models");
    osg::notify(osg::NOTICE) << "...trying Google SketchUp..." << std::endl;
    std::error_code ec;
    if (fs::is_directory(modelsFolder, ec)) {
        for (fs::directory_iterator it(modelsFolder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string entry = it->path().filename().string();
            if (lowerCaseExtension(entry) == "dae") {
                osg::notify(osg::NOTICE) << " File (DAE): " << entry << std::endl;
                models.push_back(joinPath(modelsFolder, entry));
            }
        }
        osg::notify(osg::NOTICE) << "...trying Google SketchUp...(OK)" << std::endl;
        return models;
    }
    osg::notify(osg::NOTICE) << "...trying Google SketchUp...(missing)" << std::endl;
    osg::notify(osg::NOTICE) << "...trying Google Earth..." << std::endl;

    XMLKmlParserManager kml(joinPath(folder, "doc.kml"));
    if (!kml.loadXMLFile()) {
        osg::notify(osg::FATAL) << " WARNING: failed to open KML file (file not valid)." << std::endl;
    } else if (!kml.readSettings()) {
        osg::notify(osg::FATAL) << " WARNING: failed to process KML file (file not valid)." << std::endl;
    } else if (!kml.checkSettings()) {
        osg::notify(osg::FATAL) << " WARNING: failed to process KML file (data not valid)." << std::endl;
    } else {
        const fs::path root(folder);
        for (const KmlModelSettings& model : kml.getSettings()) {
            fs::path modelPath;
            if (!entryTarget(root, model.href, modelPath)) {
                osg::notify(osg::FATAL) << " WARNING: KML model outside the archive ignored: " << model.href
                                        << std::endl;
                continue;
            }
            models.push_back(joinPath(folder, model.href));
            const std::string hrefFolder = osgDB::getFilePath(model.href);
            for (const KmlAlias& alias : model.aliases) {
                if (alias.first == alias.second)
                    continue;
                fs::path from;
                fs::path to;
                if (entryTarget(root, joinPath(hrefFolder, alias.first), from) &&
                    entryTarget(root, joinPath(hrefFolder, alias.second), to))
                    copyFileBytes(from.string(), to.string());
            }
        }
    }
    osg::notify(osg::NOTICE) << "...trying Google Earth...(OK)" << std::endl;
    if (models.empty())
        osg::notify(osg::FATAL) << " Could not find temporary objects." << std::endl;
    return models;
}

} // namespace Orvana
