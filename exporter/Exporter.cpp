#include "exporter/Exporter.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include <osg/ArgumentParser>
#include <osg/Notify>
#include <osgDB/FileNameUtils>
#include <osgDB/Registry>

#include "exporter/ModelConversion.h"
#include "exporter/PackageArchive.h"
#include "exporter/PackageWriters.h"
#include "scene_description/AudioSettings.h"
#include "scene_description/KmzArchive.h"
#include "scene_description/MarkersSettings.h"
#include "scene_description/MetadataFile.h"
#include "scene_description/ModelSignature.h"
#include "scene_description/SceneSettings.h"
#include "scene_description/ValueParsing.h"
#include "scene_description/XMLAudioParserManager.h"
#include "scene_description/XMLMarkersParserManager.h"
#include "scene_description/XMLSceneParserManager.h"

namespace fs = std::filesystem;

namespace Orvana
{

namespace
{

const char* const signaturesFileName = "signatures.xml";
const char* const modelDataFileName = "model.dat";
const char* const plistFileName = "metadata.plist";
const char* const markersDataFileName = "custom_markers.dat";
const char* const objectsDataFileName = "custom_objects.dat";

const char* const packageError = " ERROR: could not create .orvana file.";
const char* const packageErrorIOS = " ERROR: could not create .orvana file (iOS).";

void fatal(const std::string& line)
{
    osg::notify(osg::FATAL) << line << std::endl;
}

void notice(const std::string& line)
{
    osg::notify(osg::NOTICE) << line << std::endl;
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    return osgDB::concatPaths(folder, name);
}

bool isFile(const std::string& path)
{
    std::error_code status;
    return fs::is_regular_file(path, status);
}

bool isFolder(const std::string& path)
{
    std::error_code status;
    return fs::is_directory(path, status);
}

// Options may be given several times; the last value wins.
std::string lastValue(osg::ArgumentParser& arguments, const std::string& option, bool& given)
{
    std::string value;
    std::string read;
    given = false;
    while (arguments.read(option, read)) {
        value = read;
        given = true;
    }
    return value;
}

std::string utcTimeStamp()
{
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof(text), "%Y%m%d%H%M%S", std::gmtime(&now));
    return text;
}

std::string lowerExtension(const std::string& path)
{
    return osgDB::convertToLowerCase(osgDB::getFileExtension(path));
}

void printUsage()
{
    const char* const lines[] = {
        "Usage: quintar -input_dir <folder> [options]",
        "Packs the scene described in <folder> into a .orvana package.",
        "  -input_dir <folder>    folder holding the description files and the files they name (required)",
        "  -metadata <file>       metadata file in the input folder naming the description files",
        "  -scene <file>          scene file (default scene.xml)",
        "  -audio <file>          audio file (default audio.xml)",
        "  -markers <file>        markers file (default markers.xml)",
        "  -lighting <file>       lighting file (default lighting.xml)",
        "  -output_file <path>    package to write (default model_<UTC time>.orvana)",
        "  -query version|copyright",
        "  -h, --help             this text"};
    for (const char* line : lines)
        fatal(line);
}

void addUnique(std::vector<std::string>& list, const std::string& item)
{
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

// A model of the scene: a file, or a folder holding its file.
struct ModelEntry {
    std::string name;   // the source as the scene names it; signatures are stored under it
    std::string file;   // the model file, empty for a folder without a named source
    std::string folder; // the model folder, empty for a plain file
};

struct Export {
    std::string inputDir;
    std::string sceneFile = "scene.xml";
    std::string audioFile = "audio.xml";
    std::string markersFile = "markers.xml";
    std::string lightingFile = "lighting.xml";
    std::string outputPath;

    MarkersSettings markers;
    SceneSettings scene;
    AudioSettings audio;
    bool iOS = false;

    std::string patternsFile;
    std::string transformsFile;
    std::vector<std::string> markerFiles;
    std::vector<ModelEntry> models;
    std::vector<std::string> objectFiles;
    std::vector<std::string> soundtracks;
    std::map<std::string, std::string> signatures;

    std::string path(const std::string& name) const { return joinPath(inputDir, localPath(name)); }

    void addModel(const std::string& source, const std::string& folder)
    {
        ModelEntry model;
        model.name = source;
        if (!folder.empty()) {
            model.folder = path(folder);
            if (!source.empty())
                model.file = joinPath(model.folder, localPath(source));
        } else {
            model.file = path(source);
        }
        for (const ModelEntry& known : models)
            if (known.file == model.file && known.folder == model.folder)
                return;
        models.push_back(model);
    }

    std::vector<std::string> modelFiles() const
    {
        std::vector<std::string> files;
        for (const ModelEntry& model : models)
            if (model.folder.empty())
                addUnique(files, model.file);
        return files;
    }

    std::vector<std::string> modelFolders() const
    {
        std::vector<std::string> folders;
        for (const ModelEntry& model : models)
            if (!model.folder.empty())
                addUnique(folders, model.folder);
        return folders;
    }

    std::vector<std::string> descriptionFiles() const
    {
        return {path(modelDataFileName), patternsFile,      path(sceneFile),
                path(audioFile),         path(markersFile), path(signaturesFileName),
                path(lightingFile)};
    }
};

template <typename Reader, typename Settings>
bool readDescription(const std::string& path, const std::string& what, Settings& settings)
{
    Reader reader(path);
    if (!reader.loadXMLFile() || !reader.readSettings()) {
        fatal(" WARNING: failed to read " + what + " configuration (file not valid).");
        return false;
    }
    if (!reader.checkSettings()) {
        fatal(" WARNING: failed to read " + what + " configuration (data not valid).");
        return false;
    }
    settings = reader.getSettings();
    return true;
}

bool collectMarkers(Export& job)
{
    if (!readDescription<XMLMarkersParserManager>(job.path(job.markersFile), "markers", job.markers))
        return false;

    if (!job.markers.transforms_file.empty()) {
        const std::string transforms = job.path(job.markers.transforms_file);
        if (isFile(transforms)) {
            addUnique(job.markerFiles, transforms);
            job.transformsFile = transforms;
        } else {
            fatal(" WARNING: a (top level) transforms file has been specified but it does not exist.");
        }
    }
    for (const MarkerSettings& marker : job.markers.markers) {
        if (marker.isMulti()) {
            for (const SubmarkerSettings& submarker : marker.submarkers)
                addUnique(job.markerFiles, job.path(submarker.path));
        } else {
            addUnique(job.markerFiles, job.path(marker.path));
            if (!marker.image.empty())
                addUnique(job.markerFiles, job.path(marker.image));
        }
        if (!marker.transforms_file.empty()) {
            const std::string transforms = job.path(marker.transforms_file);
            if (isFile(transforms))
                addUnique(job.markerFiles, transforms);
            else
                fatal(" WARNING: a (local) transforms file has been specified but it does not exist.");
        }
    }

    job.patternsFile = job.path(job.markers.patterns_file);
    if (!isFile(job.patternsFile)) {
        fatal("ERROR: could not find patterns file.");
        return false;
    }
    return true;
}

bool collectScene(Export& job)
{
    if (!readDescription<XMLSceneParserManager>(job.path(job.sceneFile), "scene", job.scene))
        return false;
    if (job.scene.platform == "iOS") {
        job.iOS = true;
        fatal(" WARNING: exporting for iOS player.");
    }
    if (!job.scene.source.empty() || !job.scene.source_folder.empty())
        job.addModel(job.scene.source, job.scene.source_folder);
    for (const SceneObjectSettings& object : job.scene.objects) {
        if (!object.source.empty() || !object.source_folder.empty())
            job.addModel(object.source, object.source_folder);
        for (const std::string* file : {&object.description_file, &object.events_file, &object.menu_file})
            if (!file->empty())
                addUnique(job.objectFiles, job.path(*file));
    }
    return true;
}

bool collectAudio(Export& job)
{
    if (!readDescription<XMLAudioParserManager>(job.path(job.audioFile), "audio", job.audio))
        return false;
    for (const SoundtrackSettings& soundtrack : job.audio.soundtracks)
        addUnique(job.soundtracks, job.path(soundtrack.source));
    return true;
}

// True when `path`, with its links and ".." steps resolved, lies inside `root`.
bool resolvesInside(const fs::path& root, const fs::path& path)
{
    std::error_code status;
    const fs::path base = fs::weakly_canonical(root, status);
    if (status)
        return false;
    const fs::path resolved = fs::weakly_canonical(path, status);
    if (status)
        return false;
    const fs::path relative = resolved.lexically_relative(base);
    return !relative.empty() && *relative.begin() != "..";
}

// A package holds only what the input folder holds: a named file, or anything in a model folder,
// that leads elsewhere (through "..", an absolute name or a link) is refused.
bool everythingInsideInput(const Export& job, const std::vector<std::string>& files)
{
    auto refuse = [](const std::string& path) {
        fatal(" ERROR: file outside the input directory: " + path);
        return false;
    };
    for (const std::string& file : files)
        if (!resolvesInside(job.inputDir, file))
            return refuse(file);
    for (const std::string& folder : job.modelFolders()) {
        if (!resolvesInside(job.inputDir, folder))
            return refuse(folder);
        std::error_code status;
        for (fs::recursive_directory_iterator entry(folder, status), end; !status && entry != end;
             entry.increment(status))
            if (entry->is_symlink(status) && !resolvesInside(job.inputDir, entry->path()))
                return refuse(entry->path().string());
    }
    return true;
}

bool checkRequiredFiles(const Export& job)
{
    std::vector<std::string> files = job.markerFiles;
    for (const ModelEntry& model : job.models)
        if (!model.file.empty())
            files.push_back(model.file);
    files.insert(files.end(), job.objectFiles.begin(), job.objectFiles.end());
    files.insert(files.end(), job.soundtracks.begin(), job.soundtracks.end());
    for (const std::string& folder : job.modelFolders()) {
        if (!isFolder(folder)) {
            fatal(" WARNING: could not find required file: " + folder);
            return false;
        }
    }
    for (const std::string& file : files) {
        if (!isFile(file)) {
            fatal(" WARNING: could not find required file: " + file);
            return false;
        }
    }
    files.push_back(job.patternsFile);
    return everythingInsideInput(job, files);
}

// A folder of the system's temporary folder, removed with everything in it when this dies.
class TemporaryFolder
{
public:
    TemporaryFolder()
    {
        std::error_code status;
        const fs::path base = fs::temp_directory_path(status);
        std::random_device random;
        for (int attempt = 0; !status && attempt < 100; ++attempt) {
            const fs::path candidate = base / ("quintar-kmz-" + std::to_string(random()));
            if (fs::create_directory(candidate, status)) {
                _path = candidate.string();
                return;
            }
        }
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        if (!_path.empty())
            fs::remove_all(_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return _path; }

private:
    std::string _path;
};

// The model file inside a KMZ archive, found as the player finds it, unpacked into `folder`;
// empty when the archive holds none.
std::string unpackKmzModel(const std::string& archive, const TemporaryFolder& folder)
{
    if (folder.path().empty() || !unzipArchive(archive, folder.path())) {
        fatal(" ERROR: could not unpack KMZ archive: " + archive);
        return {};
    }
    const std::vector<std::string> models = findKmzModels(folder.path());
    if (models.empty()) {
        fatal(" ERROR: no model found in KMZ archive: " + archive);
        return {};
    }
    notice(" Using model: " + models.front());
    return models.front();
}

// Converts the scene's one model for the mobile player; from then on the converted file stands
// for the model.
bool convertForIOS(Export& job)
{
    if (job.markers.markers.size() > 1) {
        fatal(" ERROR: more than 1 marker specified, expected 1 (iOS).");
        return false;
    }
    if (job.models.size() > 1) {
        fatal(" ERROR: more than 1 model file specified, expected 1 (iOS).");
        return false;
    }
    if (job.models.empty())
        return true;

    ModelEntry& model = job.models.front();
    const bool alreadyConverted = lowerExtension(model.file) == "osgb";
    const std::string converted =
        alreadyConverted ? model.file : osgDB::getNameLessExtension(model.file) + ".osgb";
    // A KMZ archive is converted from the model inside it, whose textures lie beside it there.
    std::optional<TemporaryFolder> unpacked;
    std::string source = model.file;
    if (lowerExtension(model.file) == "kmz")
        source = unpackKmzModel(model.file, unpacked.emplace());
    if (source.empty() || !convertModel(source, converted, lowerExtension(source) == "fbx")) {
        fatal(packageErrorIOS);
        return false;
    }
    if (!alreadyConverted) {
        std::error_code ignored;
        fs::remove(model.file, ignored);
    }
    // The package stores no paths, so the scene names the converted model by its simple name.
    model.name = osgDB::getSimpleFileName(converted);
    model.file = converted;
    model.folder.clear();
    return true;
}

bool signModels(Export& job)
{
    for (const ModelEntry& model : job.models) {
        if (model.file.empty())
            continue;
        const std::string signature = computeModelSignature(model.file);
        if (signature.empty()) {
            fatal(" WARNING: could not read model file: " + model.file);
            fatal(packageError);
            return false;
        }
        notice(" generated signature: " + signature);
        job.signatures[model.name] = signature;
    }
    if (!writeSignatures(job.path(signaturesFileName), job.signatures)) {
        fatal(packageError);
        return false;
    }
    return true;
}

bool writeMobileFiles(const Export& job)
{
    const MarkerSettings marker =
        job.markers.markers.empty() ? MarkerSettings() : job.markers.markers.front();
    const std::string model = job.models.empty() ? std::string() : job.models.front().name;
    const std::string signature = job.signatures.count(model) ? job.signatures.at(model) : std::string();

    std::string transforms;
    if (!marker.transforms_file.empty() && isFile(job.path(marker.transforms_file)))
        transforms = job.path(marker.transforms_file);
    else
        transforms = job.transformsFile;

    const bool written =
        writeMarkersData(job.path(markersDataFileName), job.markers) &&
        writeObjectsData(job.path(objectsDataFileName), marker, model, transforms) &&
        writePlist(job.path(plistFileName), job.scene, marker, model, marker.image, signature) &&
        rewriteScene(job.path(job.sceneFile), job.scene, model, false);
    if (!written)
        fatal(packageErrorIOS);
    return written;
}

bool buildPackage(const Export& job)
{
    if (!writeModelData(job.path(modelDataFileName), job.sceneFile, job.audioFile, job.markersFile,
                        signaturesFileName, job.lightingFile)) {
        fatal(packageError);
        return false;
    }

    std::vector<std::vector<std::string>> groups = {job.descriptionFiles(), job.markerFiles, job.modelFiles(),
                                                    job.objectFiles, job.soundtracks};
    const std::vector<std::string> mobileFiles = {job.path(plistFileName), job.path(markersDataFileName),
                                                  job.path(objectsDataFileName)};
    if (job.iOS)
        groups.push_back(mobileFiles);

    std::vector<std::string> allFiles;
    for (const auto& group : groups)
        allFiles.insert(allFiles.end(), group.begin(), group.end());
    const std::string collision = findEntryNameCollision(allFiles, job.modelFolders());
    if (!collision.empty()) {
        fatal(collision);
        fatal(packageError);
        return false;
    }

    PackageArchive archive(job.outputPath);
    bool built = archive.open();
    if (built) {
        archive.addFiles(groups[0]);
        archive.addFiles(groups[1]);
        archive.addFiles(groups[2]);
        archive.addFolders(job.modelFolders());
        archive.addFiles(groups[3]);
        archive.addFiles(groups[4]);
        if (job.iOS)
            archive.addFiles(mobileFiles);
        built = archive.close();
    }
    if (job.iOS) {
        std::error_code ignored;
        for (const std::string& file : mobileFiles)
            fs::remove(file, ignored);
    }
    if (!built)
        fatal(packageError);
    return built;
}

bool exportPackage(osg::ArgumentParser& arguments)
{
    Export job;
    fatal(" Exporting...");

    bool given = false;
    job.inputDir = lastValue(arguments, "-input_dir", given);
    if (!given) {
        fatal(" ERROR: please specify an input directory.");
        return false;
    }
    if (!isFolder(job.inputDir)) {
        fatal(" ERROR: could not find input directory.");
        return false;
    }
    notice(" Input directory found.");

    const std::string metadata = lastValue(arguments, "-metadata", given);
    if (given) {
        const std::string metadataPath = job.path(metadata);
        if (!isFile(metadataPath)) {
            fatal("ERROR: could not find metadata file.");
            return false;
        }
        for (auto [key, name] :
             {std::pair{"scene", &job.sceneFile}, std::pair{"audio", &job.audioFile},
              std::pair{"markers", &job.markersFile}, std::pair{"lighting", &job.lightingFile}})
            if (std::string value = readMetadataValue(metadataPath, key); !value.empty())
                *name = value;
    } else {
        for (auto [option, name] :
             {std::pair{"-scene", &job.sceneFile}, std::pair{"-audio", &job.audioFile},
              std::pair{"-markers", &job.markersFile}, std::pair{"-lighting", &job.lightingFile}})
            if (std::string value = lastValue(arguments, option, given); given)
                *name = value;
    }

    if (!isFile(job.path(job.sceneFile))) {
        fatal("ERROR: could not find scene settings.");
        return false;
    }
    if (!isFile(job.path(job.audioFile))) {
        // The export ends here, so the line is shown like the errors.
        fatal("WARNING: could not find audio settings.");
        return false;
    }
    if (!isFile(job.path(job.markersFile))) {
        fatal("ERROR: could not find markers settings.");
        return false;
    }
    if (!isFile(job.path(job.lightingFile))) {
        fatal("ERROR: could not find lighting settings.");
        return false;
    }

    job.outputPath = lastValue(arguments, "-output_file", given);
    if (!given) {
        fatal(" WARNING: Output file not specified.");
        job.outputPath = "model_" + utcTimeStamp() + ".orvana";
    } else {
        const std::string extension = osgDB::getFileExtension(job.outputPath);
        if (extension != "orvana" && extension != "ORVANA") {
            notice(" Appending (.orvana) to target file.");
            job.outputPath += ".orvana";
        }
    }

    if (!collectMarkers(job) || !collectScene(job) || !collectAudio(job))
        return false;
    if (!checkRequiredFiles(job)) {
        fatal(packageError);
        return false;
    }
    if (job.iOS && !convertForIOS(job))
        return false;
    if (!signModels(job))
        return false;
    if (job.iOS && !writeMobileFiles(job))
        return false;
    if (!buildPackage(job))
        return false;
    fatal(" Exporting...done.");
    return true;
}

} // namespace

int runQuintar(int argc, char** argv)
{
    installInterruptCleanup();
    osgDB::Registry* registry = osgDB::Registry::instance();
    osgDB::FilePathList plugins = registry->getLibraryFilePathList();
    plugins.push_front("osgplugins");
    registry->setLibraryFilePathList(plugins);

    osg::ArgumentParser arguments(&argc, argv);
    if (arguments.read("-h") || arguments.read("--help")) {
        printUsage();
        return 0;
    }

    bool queried = false;
    const std::string query = lastValue(arguments, "-query", queried);
    if (queried) {
        if (query == "version")
            fatal(std::string("Quintar") + " v" + std::to_string(2) + "." + std::to_string(3) + " " +
                  "(PRO)" + " " + "Autodesk(R) 3dsMax(R)");
        else if (query == "copyright")
            fatal("Quintar, the Orvana scene exporter. Copyright (C) the Orvana developers.");
        else
            fatal(" WARNING: wrong parameters.");
        return 0;
    }

    exportPackage(arguments);
    return 0;
}

} // namespace Orvana
