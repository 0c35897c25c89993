#include "player/app/PackagePlayback.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include <osg/ArgumentParser>
#include <osg/Notify>

#include "platform/interrupt_cleanup/InterruptCleanup.h"
#include "player/common/FileUtilities.h"
#include "scene_description/KmzArchive.h"
#include "scene_description/ModelSignature.h"
#include "scene_description/XMLParserManager.h"
#include "scene_description/XMLSceneParserManager.h"

namespace fs = std::filesystem;

namespace Orvana
{

const char* const ARPackagePlayback::defaultsDirectory = "defaults";

namespace
{

// The files only a package for the mobile player holds.
const char* const mobileFiles[] = {"metadata.plist", "custom_markers.dat", "custom_objects.dat"};

void fatal(const std::string& line)
{
    osg::notify(osg::FATAL) << line << std::endl;
}

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The model signatures of a package: source name to signature.
class SignaturesReader : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override
    {
        const TiXmlElement* root = getRoot();
        if (!root || !hasName(root, "signatures"))
            return false;
        for (const TiXmlElement* entry = firstChildElement(root); entry; entry = nextSiblingElement(entry))
            if (getTagName(entry) == "signature" && hasAttribute(entry, "source"))
                _signatures[getAttribute(entry, "source")] = lowerCase(getText(entry));
        return true;
    }
    bool checkSettings() override { return true; }

    const std::map<std::string, std::string>& getSignatures() const { return _signatures; }

private:
    std::map<std::string, std::string> _signatures;
};

// A folder of our own that no other user can read into or write to.
std::string makePrivateFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/pellow-package-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

// The unpacked folder, removed by whichever comes first: the player's end or a signal.
std::mutex& unpackedFolderMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string& unpackedFolder()
{
    static std::string folder;
    return folder;
}

void removeUnpackedFolder()
{
    std::string& folder = unpackedFolder();
    if (folder.empty())
        return;
    removeDirectoryTree(folder);
    osg::notify(osg::NOTICE) << " Package folder removed: " << folder << std::endl;
    folder.clear();
}

} // namespace

ARPackagePlayback::~ARPackagePlayback()
{
    if (_folder.empty())
        return;
    std::lock_guard<std::mutex> lock(unpackedFolderMutex());
    removeUnpackedFolder();
}

std::string ARPackagePlayback::workingDirectory() const
{
    return _workingDirectory.empty() ? std::string(".") : _workingDirectory;
}

std::string ARPackagePlayback::temporaryDirectory() const
{
    return _sceneDirectory.empty() ? std::string(".") : _sceneDirectory;
}

bool ARPackagePlayback::prepare(osg::ArgumentParser& arguments)
{
    std::string package;
    if (!readLastOption(arguments, "-package", package))
        return true;
    std::string working;
    readLastOption(arguments, "-working_directory", working);
    std::string ignored;
    if (readLastOption(arguments, "-temporary_directory", ignored))
        fatal(" WARNING: -temporary_directory is ignored with -package: the package is unpacked into a "
              "folder of its own.");
    if (open(package, working))
        return true;
    fatal(" ERROR: package refused, nothing is played: " + package);
    return false;
}

bool ARPackagePlayback::open(const std::string& package, const std::string& working)
{
    std::error_code ec;
    if (package.empty() || !fs::is_regular_file(package, ec)) {
        fatal(" ERROR: could not find package file: " + package);
        return false;
    }
    _workingDirectory = working.empty() ? std::string(defaultsDirectory) : working;
    if (working.empty() && !fileExists(joinPath(_workingDirectory, "config.xml"))) {
        fatal(" ERROR: could not find the player's default settings (" + _workingDirectory +
              "/config.xml); run pellow from its own folder or give -working_directory.");
        return false;
    }
    // Ctrl+C, a kill or a closed terminal would otherwise leave the unpacked package behind. This
    // runs before the player starts its threads, so they all leave the signals to the watcher.
    cleanUpOnInterrupt(unpackedFolderMutex(), removeUnpackedFolder);
    _folder = makePrivateFolder();
    if (_folder.empty()) {
        fatal(" ERROR: could not create a temporary folder for the package.");
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(unpackedFolderMutex());
        unpackedFolder() = _folder;
    }
    _sceneDirectory = joinPath(_folder, "scene");
    osg::notify(osg::NOTICE) << " Package folder: " << _folder << std::endl;
    return unpack(package) && verifyModels();
}

bool ARPackagePlayback::unpack(const std::string& package)
{
    UnzipBudget budget;
    budget.bytes = maximumUnpackedBytes;
    budget.entries = maximumEntries;
    if (!unzipArchive(package, _sceneDirectory, budget)) {
        fatal(" ERROR: could not unpack package: " + package);
        return false;
    }
    for (const char* name : mobileFiles) {
        if (fileExists(joinPath(_sceneDirectory, name))) {
            fatal(
                " ERROR: this package was exported for iOS and is meant for mobile devices; export the scene "
                "for the desktop to play it with pellow.");
            return false;
        }
    }
    // Model folders travel as archives of their own, named after the folder.
    std::error_code ec;
    std::vector<fs::path> innerArchives;
    for (fs::directory_iterator it(_sceneDirectory, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && lowerCaseExtension(it->path().string()) == "zip")
            innerArchives.push_back(it->path());
    }
    for (const fs::path& inner : innerArchives) {
        const fs::path folder = fs::path(inner).replace_extension();
        if (!unzipArchive(inner.string(), folder.string(), budget)) {
            fatal(" ERROR: could not unpack model folder: " + inner.filename().string());
            return false;
        }
    }
    return true;
}

bool ARPackagePlayback::verifyModels() const
{
    const std::string metadata = joinPath(_sceneDirectory, "model.dat");
    if (!fileExists(metadata)) {
        fatal(" ERROR: not an Orvana package (no model.dat).");
        return false;
    }
    auto described = [&metadata](const char* key, const char* fallback) {
        const std::string name = readMetadataValue(metadata, key);
        return name.empty() ? std::string(fallback) : name;
    };

    XMLSceneParserManager sceneReader(scenePath(_sceneDirectory, described("scene", "scene.xml")));
    if (!sceneReader.loadXMLFile() || !sceneReader.readSettings() || !sceneReader.checkSettings()) {
        fatal(" ERROR: could not read the package's scene file.");
        return false;
    }
    SignaturesReader signaturesReader(scenePath(_sceneDirectory, described("signatures", "signatures.xml")));
    if (!signaturesReader.loadXMLFile() || !signaturesReader.readSettings()) {
        fatal(" ERROR: could not read the package's model signatures (signatures.xml).");
        return false;
    }
    const std::map<std::string, std::string>& signatures = signaturesReader.getSignatures();

    // Each model once, found where the player will look for it.
    std::map<std::string, std::string> models;
    auto addModel = [&](const std::string& source, const std::string& folder) {
        if (source.empty())
            return;
        const std::string base = folder.empty() ? _sceneDirectory : scenePath(_sceneDirectory, folder);
        models.emplace(source, scenePath(base, source));
    };
    const SceneSettings& scene = sceneReader.getSettings();
    addModel(scene.source, scene.source_folder);
    for (const SceneObjectSettings& object : scene.objects)
        addModel(object.source, object.source_folder);

    bool verified = true;
    for (const auto& [source, path] : models) {
        const auto signature = signatures.find(source);
        if (signature == signatures.end()) {
            fatal(" ERROR: model without a signature in the package: " + source);
            verified = false;
        } else if (!fileExists(path)) {
            fatal(" ERROR: model missing from the package: " + source);
            verified = false;
        } else if (computeModelSignature(path) != signature->second) {
            fatal(" ERROR: model changed since the package was made (its signature differs): " + source);
            verified = false;
        } else {
            osg::notify(osg::NOTICE) << " Model signature verified: " << source << std::endl;
        }
    }
    return verified;
}

bool readLastOption(osg::ArgumentParser& arguments, const char* option, std::string& value)
{
    bool found = false;
    std::string text;
    while (arguments.read(option, text)) {
        value = text;
        found = true;
    }
    return found;
}

} // namespace Orvana
