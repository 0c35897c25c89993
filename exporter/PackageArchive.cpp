#include "exporter/PackageArchive.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <system_error>

#include <zip.h>
#include <zlib.h>

#include <osg/Notify>

namespace fs = std::filesystem;

namespace Orvana
{

namespace
{

std::string simpleName(const std::string& path)
{
    fs::path p(path);
    while (!p.empty() && p.filename().empty() && p.has_parent_path() && p != p.root_path())
        p = p.parent_path();
    return p.filename().string();
}

// True when a sample from the start of the file shrinks by less than 2% under fast deflate.
bool looksCompressed(const std::string& path)
{
    constexpr std::size_t sampleSize = 256 * 1024;
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> sample(sampleSize);
    file.read(reinterpret_cast<char*>(sample.data()), static_cast<std::streamsize>(sample.size()));
    const auto count = static_cast<uLong>(file.gcount());
    if (count < 4096)
        return false;
    std::vector<unsigned char> packed(compressBound(count));
    uLongf packedSize = static_cast<uLongf>(packed.size());
    if (compress2(packed.data(), &packedSize, sample.data(), count, 1) != Z_OK)
        return false;
    return packedSize > count / 50 * 49;
}

std::string zipError(zip* archive)
{
    return archive ? zip_strerror(archive) : "unknown error";
}

} // namespace

std::string packageEntryName(const std::string& path, bool isFolder)
{
    return simpleName(path) + (isFolder ? ".zip" : "");
}

std::string findEntryNameCollision(const std::vector<std::string>& files,
                                   const std::vector<std::string>& folders)
{
    std::map<std::string, std::string> owners;
    auto check = [&owners](const std::string& path, bool isFolder) -> std::string {
        const auto [found, added] = owners.emplace(packageEntryName(path, isFolder), path);
        if (added || found->second == path)
            return {};
        return " ERROR: two files would have the same name '" + found->first + "' in the package: '" +
               found->second + "' and '" + path + "'.";
    };
    for (const std::string& file : files)
        if (std::string error = check(file, false); !error.empty())
            return error;
    for (const std::string& folder : folders)
        if (std::string error = check(folder, true); !error.empty())
            return error;
    return {};
}

PackageArchive::PackageArchive(const std::string& path) : _path(path) {}

PackageArchive::~PackageArchive()
{
    if (_archive)
        zip_discard(_archive);
    if (!_temporaryFolder.empty()) {
        std::error_code ignored;
        fs::remove_all(_temporaryFolder, ignored);
    }
}

bool PackageArchive::open()
{
    int error = 0;
    _archive = zip_open(_path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!_archive) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        osg::notify(osg::FATAL) << " ERROR: cannot create archive '" << _path
                                << "': " << zip_error_strerror(&details) << std::endl;
        zip_error_fini(&details);
        return false;
    }
    return true;
}

bool PackageArchive::addFile(zip* archive, const std::string& file, const std::string& entryName)
{
    std::error_code status;
    if (!fs::is_regular_file(file, status))
        return false;
    zip_source_t* source = zip_source_file(archive, file.c_str(), 0, -1);
    if (!source)
        return false;
    const zip_int64_t index =
        zip_file_add(archive, entryName.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    // libzip's own default is the slowest level; 6 is the zip program's default. Media that are
    // compressed already are stored: deflating them costs time and gains nothing.
    if (looksCompressed(file))
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    else
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6);
    return true;
}

void PackageArchive::addFiles(const std::vector<std::string>& files)
{
    if (!_archive)
        return;
    for (const std::string& file : files) {
        if (addFile(_archive, file, packageEntryName(file, false)))
            osg::notify(osg::NOTICE) << "Adding: '" << file << std::endl;
        else
            osg::notify(osg::NOTICE) << "Unable add: '" << file << "'" << std::endl;
    }
    osg::notify(osg::NOTICE) << "File: '" << _path << "' zipped!" << std::endl;
}

std::string PackageArchive::makeTemporaryFolder()
{
    if (!_temporaryFolder.empty())
        return _temporaryFolder;
    std::error_code status;
    const fs::path base = fs::temp_directory_path(status);
    if (status)
        return {};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("quintar-" + std::to_string(random()));
        if (fs::create_directory(candidate, status)) {
            _temporaryFolder = candidate.string();
            return _temporaryFolder;
        }
    }
    return {};
}

void PackageArchive::addFolders(const std::vector<std::string>& folders)
{
    if (!_archive)
        return;
    const std::string temporary = makeTemporaryFolder();
    for (const std::string& folder : folders) {
        osg::notify(osg::NOTICE) << "archiving subfolder: " << folder << std::endl;
        const std::string folderArchivePath = (fs::path(temporary) / packageEntryName(folder, true)).string();
        int error = 0;
        zip* folderArchive = temporary.empty()
                                 ? nullptr
                                 : zip_open(folderArchivePath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!folderArchive) {
            osg::notify(osg::NOTICE) << "Unable add: '" << folder << "'" << std::endl;
            continue;
        }
        // Everything below the folder, sub-folders included, under its path relative to the
        // folder, so that a model finds its textures where it expects them.
        std::vector<fs::path> entries;
        std::error_code status;
        for (fs::recursive_directory_iterator entry(folder, status), end; !status && entry != end;
             entry.increment(status))
            entries.push_back(entry->path());
        if (status)
            osg::notify(osg::FATAL) << " WARNING: could not read all of model folder '" << folder
                                    << "': " << status.message() << std::endl;
        std::sort(entries.begin(), entries.end());
        for (const fs::path& entry : entries) {
            const std::string file = entry.string();
            const std::string entryName = entry.lexically_relative(folder).generic_string();
            if (fs::is_directory(entry, status)) {
                if (zip_dir_add(folderArchive, entryName.c_str(), ZIP_FL_ENC_UTF_8) < 0)
                    osg::notify(osg::NOTICE) << "Unable add: '" << file << "'" << std::endl;
                continue;
            }
            if (addFile(folderArchive, file, entryName))
                osg::notify(osg::NOTICE) << "Adding: '" << file << std::endl;
            else
                osg::notify(osg::NOTICE) << "Unable add: '" << file << "'" << std::endl;
        }
        if (zip_close(folderArchive) < 0) {
            osg::notify(osg::NOTICE) << "Unable add: '" << folder << "'" << std::endl;
            zip_discard(folderArchive);
            continue;
        }
        osg::notify(osg::NOTICE) << "File: '" << folderArchivePath << "' zipped!" << std::endl;
        addFiles({folderArchivePath});
    }
}

bool PackageArchive::close()
{
    if (!_archive)
        return false;
    if (zip_close(_archive) < 0) {
        osg::notify(osg::FATAL) << " ERROR: cannot write archive '" << _path << "': " << zipError(_archive)
                                << std::endl;
        zip_discard(_archive);
        _archive = nullptr;
        return false;
    }
    _archive = nullptr;
    return true;
}

} // namespace Orvana
