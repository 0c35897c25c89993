#include "player/app/PlayerEntry.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <osg/ArgumentParser>
#include <osg/Notify>
#include <osgDB/FileUtils>
#include <osgDB/ReadFile>

#include "messages/Messages.h"
#include "platform/safe_loading/SafeLoading.h"
#include "player/app/ARApplication.h"
#include "player/app/PackagePlayback.h"
#include "player/common/FileUtilities.h"
#include "player/objects/ARObject.h"

namespace Orvana
{

namespace
{

std::string readOption(osg::ArgumentParser& arguments, const char* option, const char* fallback)
{
    std::string value;
    readLastOption(arguments, option, value);
    return value.empty() ? std::string(fallback) : value;
}

void prepareEnvironment()
{
    setenv("OSG_MAX_TEXTURE_SIZE", "4096", 1);
    // Our own modules first; the scene-graph library's readers live in the system's folders.
    osgDB::FilePathList& paths = osgDB::getLibraryFilePathList();
    paths.erase(std::remove(paths.begin(), paths.end(), "osgplugins"), paths.end());
    paths.push_front("osgplugins");
    installMessageHandler();
}

void printUsage()
{
    const char* const lines[] = {
        "Usage: pellow [options]",
        "Plays a scene: reads its seven description files, tracks its markers and draws their objects.",
        "  -working_directory <folder>    folder of the config, tracker and video files (default .)",
        "  -temporary_directory <folder>  folder of the scene, audio, markers and lighting files and of",
        "                                 the metadata file (default .)",
        "  -metadata <file>               metadata file in the temporary folder naming the description",
        "                                 files (default model.dat, when it exists)",
        "  -config <file>                 configuration file (default config.xml)",
        "  -tracker <file>                tracker file (default tracker.xml)",
        "  -video <file>                  video file (default video.xml)",
        "  -scene <file>                  scene file (default scene.xml)",
        "  -audio <file>                  audio file (default audio.xml)",
        "  -markers <file>                markers file (default markers.xml)",
        "  -lighting <file>               lighting file (default lighting.xml)",
        "  -video_device <1..9>           camera number (default 1)",
        "  -package <file.orvana>         plays a package made by quintar: unpacks it into a private",
        "                                 temporary folder, checks its models' signatures, and uses",
        "                                 the build's defaults/ (or -working_directory) for the config,",
        "                                 tracker and video files",
        "  -query version|copyright|video_devices",
        "  -h, --help                     this text"};
    for (const char* line : lines)
        osg::notify(osg::FATAL) << line << std::endl;
}

struct DescriptionFile {
    const char* key;
    const char* option;
    const char* fallback;
    bool inWorkingDirectory;
    std::string name;
};

// The command line, read and checked: where the description files are and what they are called.
struct PlayerOptions {
    // A package being played: its unpacked folder lasts as long as the options do.
    ARPackagePlayback package;
    std::string videoDevice;
    std::string workingDirectory;
    std::string temporaryDirectory;
    std::vector<DescriptionFile> files;

    const DescriptionFile& file(const char* key) const
    {
        for (const DescriptionFile& entry : files)
            if (std::string(entry.key) == key)
                return entry;
        return files.front();
    }
};

void answerQuery(const std::string& query)
{
    if (query == "version") {
        osg::notify(osg::FATAL) << "Pellow"
                                << " v" << 2 << "." << 3 << " "
                                << "(PRO)"
                                << " "
                                << "Autodesk(R) 3dsMax(R)" << std::endl;
    } else if (query == "video_devices") {
        auto application = std::make_unique<ARApplication>();
        application->listVideoDevices();
    } else if (query == "copyright") {
        osg::notify(osg::FATAL) << "Pellow, Orvana(TM) augmented reality player. Copyright (C) Orvana."
                                << std::endl;
    } else {
        osg::notify(osg::FATAL) << " WARNING: wrong parameters." << std::endl;
    }
}

// The metadata file naming the description files: the one -metadata names, else model.dat when it
// exists, else none (empty). False when the named one is missing.
bool findMetadataFile(osg::ArgumentParser& arguments, const std::string& temporaryDirectory,
                      std::string& path)
{
    std::string metadata;
    if (readLastOption(arguments, "-metadata", metadata) && !metadata.empty()) {
        path = joinPath(temporaryDirectory, metadata);
        if (!fileExists(path)) {
            osg::notify(osg::FATAL) << "ERROR: could not find metadata file." << std::endl;
            return false;
        }
        return true;
    }
    path = joinPath(temporaryDirectory, "model.dat");
    if (!fileExists(path)) {
        osg::notify(osg::NOTICE) << "WARNING: could not find default metadata file." << std::endl;
        path.clear();
    }
    return true;
}

bool descriptionFilesExist(const PlayerOptions& options)
{
    const char* checkOrder[] = {"config", "tracker", "video", "scene", "audio", "markers", "lighting"};
    for (const char* key : checkOrder) {
        const DescriptionFile& file = options.file(key);
        const std::string& directory =
            file.inWorkingDirectory ? options.workingDirectory : options.temporaryDirectory;
        if (!fileExists(joinPath(directory, file.name))) {
            osg::notify(osg::FATAL) << "ERROR: could not find " << key << " settings." << std::endl;
            return false;
        }
    }
    return true;
}

// Reads the command line into `options`. Returns the exit status when the run ends here: help, a
// query, or a description file that cannot be found.
std::optional<int> parseOptions(osg::ArgumentParser& arguments, PlayerOptions& options)
{
    if (arguments.read("-h") || arguments.read("--help")) {
        printUsage();
        return 0;
    }
    std::string query;
    readLastOption(arguments, "-query", query);
    if (!query.empty()) {
        answerQuery(query);
        return 0;
    }

    options.videoDevice = readOption(arguments, "-video_device", "1");
    osg::notify(osg::NOTICE) << " video device: " << options.videoDevice << std::endl;
    if (!options.package.prepare(arguments))
        return -1;
    options.workingDirectory =
        readOption(arguments, "-working_directory", options.package.workingDirectory().c_str());
    options.temporaryDirectory =
        readOption(arguments, "-temporary_directory", options.package.temporaryDirectory().c_str());

    std::string metadataPath;
    if (!findMetadataFile(arguments, options.temporaryDirectory, metadataPath))
        return 0;
    options.files = {
        {"config", "-config", "config.xml", true, ""},       {"scene", "-scene", "scene.xml", false, ""},
        {"audio", "-audio", "audio.xml", false, ""},         {"tracker", "-tracker", "tracker.xml", true, ""},
        {"markers", "-markers", "markers.xml", false, ""},   {"video", "-video", "video.xml", true, ""},
        {"lighting", "-lighting", "lighting.xml", false, ""}};
    for (DescriptionFile& file : options.files) {
        if (!metadataPath.empty()) {
            file.name = readMetadataValue(metadataPath, file.key);
            if (file.name.empty())
                file.name = file.fallback;
        } else {
            file.name = readOption(arguments, file.option, file.fallback);
        }
    }
    if (!descriptionFilesExist(options))
        return 0;
    return std::nullopt;
}

// Loads the description files into an application, starts it and runs its frame loop.
int playScene(const PlayerOptions& options)
{
    auto application = std::make_unique<ARApplication>();
    application->setTitle("Orvana(TM) Plugin (Professional)");
    application->setVideoDevice(options.videoDevice);
    application->setWorkingDirectory(options.workingDirectory);
    application->setTemporaryDirectory(options.temporaryDirectory);
    using Loader = bool (ARApplication::*)(const std::string&);
    const std::pair<const char*, Loader> loaders[] = {
        {"config", &ARApplication::setConfiguration}, {"tracker", &ARApplication::setTracker},
        {"video", &ARApplication::setVideo},          {"scene", &ARApplication::setScene},
        {"audio", &ARApplication::setAudio},          {"markers", &ARApplication::setMarkers},
        {"lighting", &ARApplication::setLighting}};
    for (const auto& [key, load] : loaders) {
        if (!((*application).*load)(options.file(key).name)) {
            osg::notify(osg::FATAL) << "ERROR: init failure (" << key << ")." << std::endl;
            return -1;
        }
    }
    application->setApplicationHint();
    if (!application->init()) {
        osg::notify(osg::FATAL) << "ERROR: init failure." << std::endl;
        return -1;
    }
    application->initEventsHandlers();
    application->initObjects();
    if (const SceneSettings* scene = application->getSceneSettings(); scene && scene->show_message)
        application->getHUDManager().addTextHUD(scene->message, 7);
    application->showMessage("Starting...");

    if (application->getMarkersCount() == 0) {
        osg::notify(osg::FATAL) << " No valid markers were found. Exiting." << std::endl;
        application->cleanup();
        return 0;
    }
    if (application->getObjectsCount() == 0) {
        osg::ref_ptr<osg::Node> model = loadModelFile("data/orvana.ive");
        if (!model) {
            osg::notify(osg::FATAL) << "ERROR: Could't load default model (data/orvana.ive)." << std::endl;
            application->cleanup();
            return 0;
        }
        osg::notify(osg::FATAL) << "WARNING: Using default model." << std::endl;
        osg::ref_ptr<ARObject> object = new ARObject(model.get());
        application->addObjectToAllMarkers(object.get());
    }

    osg::notify(osg::NOTICE) << " Starting..." << std::endl;
    application->setRescaleNormal(true);
    application->run();
    application->cleanup();
    osg::notify(osg::NOTICE) << " Starting...done." << std::endl;
    return 0;
}

} // namespace

int runPlayer(int argc, char** argv)
{
    prepareEnvironment();
    osg::ArgumentParser arguments(&argc, argv);
    PlayerOptions options;
    if (std::optional<int> status = parseOptions(arguments, options))
        return *status;
    return playScene(options);
}

} // namespace Orvana
