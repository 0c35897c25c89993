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
// close(). An existing archive at the path is replaced only when close() succeeds.
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

private:
    bool addFile(zip* archive, const std::string& file, const std::string& entryName);
    std::string makeTemporaryFolder();

    std::string _path;
    zip* _archive = nullptr;
    std::string _temporaryFolder;
};

} // namespace Orvana
