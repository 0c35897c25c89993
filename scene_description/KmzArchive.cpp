#include "scene_description/KmzArchive.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <osg/Notify>
#include <osgDB/FileNameUtils>
#include <zip.h>

#include "scene_description/XMLKmlParserManager.h"

namespace fs = std::filesystem;

namespace Orvana
{

namespace
{

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

bool isLink(const fs::path& path)
{
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
}

// True when no folder between `folder` and `target` is a symbolic link, so that writing `target`
// cannot land anywhere else. A link at `target` itself is removed: the entry replaces it.
bool entryPathIsPlain(const fs::path& folder, const fs::path& target)
{
    fs::path walked = folder;
    const fs::path relative = target.lexically_relative(folder);
    for (auto part = relative.begin(); part != relative.end(); ++part) {
        walked /= *part;
        if (!isLink(walked))
            continue;
        if (std::next(part) != relative.end())
            return false;
        std::error_code ec;
        fs::remove(walked, ec);
        return !ec;
    }
    return true;
}

// Unix hosts store the file mode in the upper half of the external attributes.
bool entryIsLink(zip_t* archive, zip_uint64_t index)
{
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) < 0)
        return false;
    constexpr zip_uint32_t typeMask = 0170000;
    constexpr zip_uint32_t linkType = 0120000;
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & typeMask) == linkType;
}

enum class Extraction { done, failed, overBudget };

Extraction extractEntry(zip_t* archive, zip_uint64_t index, const fs::path& target, std::uint64_t& bytesLeft)
{
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    zip_file_t* entry = zip_fopen_index(archive, index, 0);
    if (!entry)
        return Extraction::failed;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    bool ok = static_cast<bool>(out);
    bool overBudget = false;
    char buffer[65536];
    zip_int64_t read = 0;
    while (ok && (read = zip_fread(entry, buffer, sizeof(buffer))) > 0) {
        if (static_cast<std::uint64_t>(read) > bytesLeft) {
            overBudget = true;
            break;
        }
        bytesLeft -= static_cast<std::uint64_t>(read);
        ok = static_cast<bool>(out.write(buffer, read));
    }
    zip_fclose(entry);
    if (overBudget) {
        out.close();
        fs::remove(target, ec);
        return Extraction::overBudget;
    }
    return ok && read == 0 ? Extraction::done : Extraction::failed;
}

bool copyFileBytes(const std::string& from, const std::string& to)
{
    std::error_code ec;
    fs::create_directories(fs::path(to).parent_path(), ec);
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
}

} // namespace

bool unzipArchive(const std::string& archivePath, const std::string& directory)
{
    UnzipBudget unlimited;
    return unzipArchive(archivePath, directory, unlimited);
}

bool unzipArchive(const std::string& archivePath, const std::string& directory, UnzipBudget& budget)
{
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    bool ok = archive != nullptr;
    if (ok && isLink(directory)) {
        osg::notify(osg::FATAL) << " WARNING: unpack folder is a symbolic link, not followed: " << directory
                                << std::endl;
        zip_discard(archive);
        archive = nullptr;
        ok = false;
    }
    if (ok) {
        const fs::path folder(directory);
        std::error_code ec;
        fs::create_directories(folder, ec);
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        if (count > 0 && static_cast<std::uint64_t>(count) > budget.entries) {
            osg::notify(osg::FATAL) << " WARNING: archive refused (more than " << budget.entries
                                    << " entries): " << archivePath << std::endl;
            ok = false;
        }
        const zip_int64_t visited = ok ? count : 0;
        for (zip_int64_t i = 0; i < visited; ++i) {
            const char* rawName = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
            const std::string name = rawName ? rawName : "";
            fs::path target;
            if (!entryTarget(folder, name, target)) {
                osg::notify(osg::FATAL)
                    << " WARNING: archive entry refused (outside the unpack folder): " << name << std::endl;
                ok = false;
                continue;
            }
            if (entryIsLink(archive, static_cast<zip_uint64_t>(i))) {
                osg::notify(osg::FATAL)
                    << " WARNING: archive entry refused (symbolic link): " << name << std::endl;
                ok = false;
                continue;
            }
            if (!entryPathIsPlain(folder, target)) {
                osg::notify(osg::FATAL)
                    << " WARNING: archive entry refused (through a symbolic link): " << name << std::endl;
                ok = false;
                continue;
            }
            --budget.entries;
            if (name.back() == '/' || name.back() == '\\') {
                fs::create_directories(target, ec);
                continue;
            }
            const Extraction extraction =
                extractEntry(archive, static_cast<zip_uint64_t>(i), target, budget.bytes);
            if (extraction == Extraction::overBudget) {
                osg::notify(osg::FATAL)
                    << " WARNING: archive refused (unpacks to too many bytes): " << archivePath << std::endl;
                ok = false;
                break;
            }
            if (extraction == Extraction::failed)
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

std::vector<std::string> findKmzModels(const std::string& folder)
{
    std::vector<std::string> models;
    const std::string modelsFolder = osgDB::concatPaths(folder, "models");
    osg::notify(osg::NOTICE) << "...trying Google SketchUp..." << std::endl;
    std::error_code ec;
    if (fs::is_directory(modelsFolder, ec)) {
        for (fs::directory_iterator it(modelsFolder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string entry = it->path().filename().string();
            if (osgDB::getLowerCaseFileExtension(entry) == "dae") {
                osg::notify(osg::NOTICE) << " File (DAE): " << entry << std::endl;
                models.push_back(osgDB::concatPaths(modelsFolder, entry));
            }
        }
        osg::notify(osg::NOTICE) << "...trying Google SketchUp...(OK)" << std::endl;
        return models;
    }
    osg::notify(osg::NOTICE) << "...trying Google SketchUp...(missing)" << std::endl;
    osg::notify(osg::NOTICE) << "...trying Google Earth..." << std::endl;

    XMLKmlParserManager kml(osgDB::concatPaths(folder, "doc.kml"));
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
                osg::notify(osg::FATAL)
                    << " WARNING: KML model outside the archive ignored: " << model.href << std::endl;
                continue;
            }
            models.push_back(osgDB::concatPaths(folder, model.href));
            const std::string hrefFolder = osgDB::getFilePath(model.href);
            for (const KmlAlias& alias : model.aliases) {
                if (alias.first == alias.second)
                    continue;
                fs::path from;
                fs::path to;
                if (entryTarget(root, osgDB::concatPaths(hrefFolder, alias.first), from) &&
                    entryTarget(root, osgDB::concatPaths(hrefFolder, alias.second), to))
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
