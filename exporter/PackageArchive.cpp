#include "exporter/PackageArchive.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include <zip.h>
#include <zlib.h>

#include <osg/Notify>

#include "platform/interrupt_cleanup/InterruptCleanup.h"

// Process ids: the one POSIX-only corner of the exporter.
#include <cerrno>
#include <csignal>
#include <mutex>
#include <set>

#include <unistd.h>

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
    constexpr std::size_t sampleSize = std::size_t{256} * 1024;
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

const char* const kWorkFolderMark = ".quintar-";
const char* const kWorkFolderEnd = ".tmp";

// Work folders of packages being built, removed by the interrupt watcher.
std::mutex& workFoldersMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::set<std::string>& workFolders()
{
    static std::set<std::string> folders;
    return folders;
}

void removeTree(const fs::path& path)
{
    std::error_code ignored;
    // remove_all takes a link away without following it.
    fs::remove_all(path, ignored);
}

// The process id in a work folder's name for the package called `packageName`, or 0.
long workFolderProcess(const std::string& entry, const std::string& packageName)
{
    const std::string start = packageName + kWorkFolderMark;
    const std::string end = kWorkFolderEnd;
    if (entry.size() <= start.size() + end.size() || entry.compare(0, start.size(), start) != 0 ||
        entry.compare(entry.size() - end.size(), end.size(), end) != 0)
        return 0;
    const std::string digits = entry.substr(start.size(), entry.size() - start.size() - end.size());
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stol(digits);
}

// Work folders left beside the package by runs that were killed: their process is gone.
void removeStaleWorkFolders(const fs::path& folder, const std::string& packageName)
{
    std::error_code status;
    std::vector<fs::path> stale;
    for (fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, status), end;
         !status && entry != end; entry.increment(status)) {
        const long process = workFolderProcess(entry->path().filename().string(), packageName);
        if (process > 0 && (process == static_cast<long>(getpid()) ||
                            (kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH)))
            stale.push_back(entry->path());
    }
    for (const fs::path& path : stale) {
        osg::notify(osg::NOTICE) << " Removing what an interrupted export left: " << path.string()
                                 << std::endl;
        removeTree(path);
    }
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
    removeWorkFolder();
}

std::string PackageArchive::workFolderFor(const std::string& path)
{
    return path + kWorkFolderMark + std::to_string(getpid()) + kWorkFolderEnd;
}

void PackageArchive::removeWorkFolder()
{
    if (_workFolder.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(workFoldersMutex());
        removeTree(_workFolder);
        workFolders().erase(_workFolder);
    }
    _workFolder.clear();
}

bool PackageArchive::open()
{
    const fs::path package(_path);
    removeStaleWorkFolders(package.parent_path(), package.filename().string());
    const std::string workFolder = workFolderFor(_path);
    std::error_code status;
    bool created = false;
    {
        // Made and recorded under one lock, so an interrupt sees the folder as soon as it exists.
        std::lock_guard<std::mutex> lock(workFoldersMutex());
        created = fs::create_directory(workFolder, status);
        if (created)
            workFolders().insert(workFolder);
    }
    if (!created) {
        osg::notify(osg::FATAL) << " ERROR: cannot create archive '" << _path
                                << "': cannot create the folder '" << workFolder << "'"
                                << (status ? ": " + status.message() : std::string()) << std::endl;
        return false;
    }
    _workFolder = workFolder;

    const std::string partial = (fs::path(_workFolder) / package.filename()).string();
    int error = 0;
    _archive = zip_open(partial.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!_archive) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        osg::notify(osg::FATAL) << " ERROR: cannot create archive '" << _path
                                << "': " << zip_error_strerror(&details) << std::endl;
        zip_error_fini(&details);
        removeWorkFolder();
        return false;
    }
    return true;
}

bool PackageArchive::addFile(zip* archive, const std::string& file, const std::string& entryName)
{
    std::error_code status;
    if (!fs::is_regular_file(file, status))
        return false;
    // The archive reads its files only when it is written; a file that cannot be read then would
    // fail the whole package under the package's name, so it is named here.
    if (!std::ifstream(file, std::ios::binary)) {
        osg::notify(osg::FATAL) << " ERROR: cannot read file '" << file << "'." << std::endl;
        _failed = true;
        return false;
    }
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

void PackageArchive::addFolders(const std::vector<std::string>& folders)
{
    if (!_archive)
        return;
    const std::string temporary = _workFolder;
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
    if (_failed) {
        zip_discard(_archive);
        _archive = nullptr;
        removeWorkFolder();
        return false;
    }
    if (zip_close(_archive) < 0) {
        osg::notify(osg::FATAL) << " ERROR: cannot write archive '" << _path << "': " << zipError(_archive)
                                << std::endl;
        zip_discard(_archive);
        _archive = nullptr;
        removeWorkFolder();
        return false;
    }
    _archive = nullptr;
    const fs::path partial = fs::path(_workFolder) / fs::path(_path).filename();
    std::error_code status;
    fs::rename(partial, _path, status);
    if (status)
        osg::notify(osg::FATAL) << " ERROR: cannot write archive '" << _path << "': " << status.message()
                                << std::endl;
    removeWorkFolder();
    return !status;
}

void installInterruptCleanup()
{
    // The guard stays locked once a signal came, so no new work folder appears after this.
    cleanUpOnInterrupt(workFoldersMutex(), [] {
        // The main thread may still be adding a file to a folder while it is removed: try again.
        for (const std::string& folder : workFolders())
            for (int attempt = 0; attempt < 100; ++attempt) {
                std::error_code missing;
                if (fs::symlink_status(folder, missing).type() == fs::file_type::not_found)
                    break;
                removeTree(folder);
            }
    });
}

} // namespace Orvana
