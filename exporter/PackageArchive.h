#pragma once

#include <string>
#include <vector>

struct zip;

namespace Orvana
{

// The entry name a file gets in a package: its simple name (packages store no paths). A folder
// gets its simple name plus ".zip", the name of the archive it is packed into.
std::string packageEntryName(const std::string& path, bool isFolder);

// Packages store no paths, so two collected files with the same simple name would overwrite each
// other. Returns an empty text when all names are unique, else the error line naming both files.
std::string findEntryNameCollision(const std::vector<std::string>& files,
                                   const std::vector<std::string>& folders);

// A .orvana package being built: files are added group by group, and the archive is written by
// close(). Everything in progress lives in a work folder beside the package, named
// "<package>.quintar-<process id>.tmp", so a run that was killed can be recognised and its folder
// removed by the next export to the same package. An existing package is replaced only when
// close() succeeds, by renaming the finished one over it.
class PackageArchive
{
public:
    explicit PackageArchive(const std::string& path);
    ~PackageArchive();
    PackageArchive(const PackageArchive&) = delete;
    PackageArchive& operator=(const PackageArchive&) = delete;

    bool open();
    // Adds each file at the top level of the package; a file that cannot be added is reported
    // and skipped.
    void addFiles(const std::vector<std::string>& files);
    // Packs each folder with all its sub-folders into an archive of its own (a temporary file),
    // entries named by their paths inside the folder, and adds that archive.
    void addFolders(const std::vector<std::string>& folders);
    bool close();

    const std::string& getPath() const { return _path; }

    // The work folder a run of this process uses for the package at `path`.
    static std::string workFolderFor(const std::string& path);

private:
    bool addFile(zip* archive, const std::string& file, const std::string& entryName);
    void removeWorkFolder();

    std::string _path;
    zip* _archive = nullptr;
    std::string _workFolder;
    bool _failed = false;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the work folders of packages being built before the
// process ends by the signal. Call once, before any other thread starts.
void installInterruptCleanup();

} // namespace Orvana
