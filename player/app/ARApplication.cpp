#include "player/app/ARApplication.h"

#include <cfloat>
#include <cstdlib>

#include <osg/Camera>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/MatrixTransform>
#include <osg/Notify>
#include <osg/PolygonMode>
#include <osg/Projection>
#include <osg/Switch>
#include <osg/TexMat>
#include <osg/Texture2D>
#include <osgDB/FileNameUtils>
#include <osgUtil/Optimizer>

#include "osgART/ARSceneNode.h"
#include "osgART/Tracker.h"
#include "osgART/Video.h"
#include "osgART/VideoLayer.h"
#include "player/app/ARViewer.h"
#include "player/common/FileUtilities.h"
#include "player/effects/ARClippingManager.h"
#include "player/effects/ARShadowsManager.h"
#include "player/objects/ARMarkerNode.h"
#include "player/objects/ARObject.h"
#include "player/objects/ARSoundtrack.h"
#include "player/objects/ARVideo.h"
#include "scene_description/KmzArchive.h"
#include "scene_description/XMLAudioParserManager.h"
#include "scene_description/XMLConfigurationParserManager.h"
#include "scene_description/XMLMarkersParserManager.h"
#include "scene_description/XMLSceneParserManager.h"
#include "scene_description/XMLVideoParserManager.h"

namespace Orvana
{

namespace
{

// Reads one description file into `record`, reporting each failed step; the record is replaced
// only when the file was loaded, read and found valid.
template <typename Reader, typename Record>
bool loadRecord(const std::string& name, const std::string& directory, const char* what,
                std::optional<Record>& record)
{
    const std::string path = isAbsolutePath(name) ? name : joinPath(directory, name);
    Reader reader(path);
    if (!reader.loadXMLFile()) {
        osg::notify(osg::FATAL) << " WARNING: failed to open " << what << " (file not valid)." << std::endl;
        return false;
    }
    if (!reader.readSettings()) {
        osg::notify(osg::FATAL) << " WARNING: failed to set " << what << " (file not valid)." << std::endl;
        return false;
    }
    if (!reader.checkSettings()) {
        osg::notify(osg::FATAL) << " WARNING: failed to set " << what << " (data not valid)." << std::endl;
        return false;
    }
    record = reader.getSettings();
    return true;
}

// Frames to render before stopping by itself, from OSG_RUN_MAX_FRAME_COUNT; 0 for no limit.
unsigned int maximumFrameCount()
{
    const char* text = std::getenv("OSG_RUN_MAX_FRAME_COUNT");
    if (!text)
        return 0;
    const long count = std::strtol(text, nullptr, 10);
    return count > 0 ? static_cast<unsigned int>(count) : 0;
}

} // namespace

ARApplication::ARApplication() : _viewer(new ARViewer) {}

ARApplication::~ARApplication()
{
    _soundtracks.clear();
    _objects.clear();
    _markers.clear();
}

bool ARApplication::setConfiguration(const std::string& name)
{
    return loadRecord<XMLConfigurationParserManager>(name, _workingDirectory, "configuration",
                                                     _configuration);
}

bool ARApplication::setTracker(const std::string& name)
{
    return loadRecord<XMLTrackerParserManager>(name, _workingDirectory, "tracker configuration", _tracker);
}

bool ARApplication::setVideo(const std::string& name)
{
    return loadRecord<XMLVideoParserManager>(name, _workingDirectory, "video configuration", _video);
}

bool ARApplication::setScene(const std::string& name)
{
    return loadRecord<XMLSceneParserManager>(name, _temporaryDirectory, "scene configuration", _scene);
}

bool ARApplication::setAudio(const std::string& name)
{
    return loadRecord<XMLAudioParserManager>(name, _temporaryDirectory, "audio configuration", _audio);
}

bool ARApplication::setMarkers(const std::string& name)
{
    return loadRecord<XMLMarkersParserManager>(name, _temporaryDirectory, "markers configuration",
                                               _markersSettings);
}

bool ARApplication::setLighting(const std::string& name)
{
    return loadRecord<XMLLightingParserManager>(name, _temporaryDirectory, "lighting configuration",
                                                _lighting);
}

void ARApplication::setVideoDevice(const std::string& device)
{
    const int number = std::atoi(device.c_str());
    if (number >= 1 && number <= 9) {
        _videoDevice = device;
    } else {
        _videoDevice = "1";
        osg::notify(osg::NOTICE) << " using default device: 1" << std::endl;
    }
}

void ARApplication::setApplicationHint()
{
    if (!_scene) {
        osg::notify(osg::FATAL) << " WARNING: cannot set application hint - scene configuration empty."
                                << std::endl;
        return;
    }
    const std::string& software = _scene->authoring_software;
    const std::pair<const char*, int> hints[] = {
        {"sketchup", hint_sketchup},       {"3dsmax", hint_3dsmax}, {"scia_engineer", hint_scia_engineer},
        {"vectorworks", hint_vectorworks}, {"maya", hint_maya},     {"cinema4d", hint_cinema4d}};
    _applicationHint = hint_none;
    for (const auto& [text, hint] : hints)
        if (software == text) {
            _applicationHint = hint;
            break;
        }
}

bool ARApplication::init()
{
    if (!initGraphicLibrary()) {
        osg::notify(osg::FATAL) << "init graphic library failure (" << 0 << ")" << std::endl;
        return false;
    }
    if (!initTrackingLibrary()) {
        osg::notify(osg::FATAL) << "init tracking library failure (" << 1 << ")" << std::endl;
        return false;
    }
    if (!initScene()) {
        osg::notify(osg::FATAL) << "init scene failure" << std::endl;
        return false;
    }
    if (!initMarkers()) {
        osg::notify(osg::FATAL) << "init markers failure (" << 2 << ")" << std::endl;
        return false;
    }
    if (!initMarkersTransform()) {
        osg::notify(osg::FATAL) << "init markers transform failure (" << 3 << ")" << std::endl;
        return false;
    }
    if (!initViewer()) {
        osg::notify(osg::FATAL) << "init viewer failure" << std::endl;
        return false;
    }
    if (!initSounds()) {
        osg::notify(osg::FATAL) << "init sounds failure" << std::endl;
        return false;
    }
    return true;
}

bool ARApplication::initScene()
{
    if (!_configuration) {
        osg::notify(osg::FATAL) << " WARNING: NULL configuration." << std::endl;
        return false;
    }
    const int mode = static_cast<int>(_configuration->mode);
    _debug = _configuration->debug;

    _root = new osg::Group;
    _root->addChild(_arScene.get());
    _modeSwitch = new osg::Switch;
    _arScene->addChild(_modeSwitch.get());
    osg::ref_ptr<osg::Group> simpleMode = new osg::Group;
    simpleMode->setName("SimpleModeGroup");
    _projection = new osg::Projection(_trackerPlugin->getProjectionMatrix());
    _modelView = new osg::MatrixTransform;
    _modelView->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    _arSwitch = new osg::Switch;

    osg::notify(osg::NOTICE) << "Setting up debug mode..." << std::endl;
    auto* debugField = _trackerPlugin->getField<bool>("debug");
    auto* debugImageField = _trackerPlugin->getField<osg::Image*>("debug_image");
    if (!debugField)
        osg::notify(osg::FATAL) << "Field 'debug' not supported for this tracker" << std::endl;
    if (!debugImageField)
        osg::notify(osg::FATAL) << "Field 'debug_image' not supported for this tracker" << std::endl;
    if (debugField) {
        debugField->set(!debugField->get());
        if (debugField->get() && debugImageField) {
            auto hasPixels = [](const osg::Image* image) {
                return image && image->s() && image->t() && image->r() && image->data() &&
                       image->getPixelFormat();
            };
            if (!hasPixels(debugImageField->get())) {
                _videoPlugin->dirty();
                _trackerPlugin->update();
            }
            osg::Image* debugImage = debugImageField->get();
            if (!hasPixels(debugImage)) {
                osg::notify(osg::FATAL) << "Could not initialize debug image!" << std::endl;
            } else {
                if (!_debugLayer)
                    _debugLayer = new osgART::VideoLayer(debugImage, 1);
                _debugLayer->init();
                _arSwitch->addChild(_debugLayer.get(), _debug);
                _debugLayer->setNodeMask(0xFFFFFFFF);
            }
        }
    }
    osg::notify(osg::NOTICE) << "Setting up debug mode...Done." << std::endl;

    _videoLayer = new osgART::VideoLayer(_videoPlugin.get(), 1);
    _videoLayer->setTextureMode(_glTextureRectangle ? osgART::VideoLayer::TEXTURE_RECTANGLE
                                                    : osgART::VideoLayer::TEXTURE_2D);
    _videoLayer->init();

    _sceneGroup = new osg::Group;
    _sceneGroup->getOrCreateStateSet()->setRenderBinDetails(3, "RenderBin");

    simpleMode->addChild(_projection.get());
    _projection->addChild(_modelView.get());
    _modelView->addChild(_arSwitch.get());
    _arSwitch->addChild(_videoLayer.get(), !_debug);
    _videoLayer->getOrCreateStateSet()->setRenderBinDetails(2, "RenderBin");
    _arSwitch->addChild(_sceneGroup.get());

    _shadowedGroup = new osg::Group;
    _notShadowedGroup = new osg::Group;
    _sceneGroup->addChild(_notShadowedGroup.get());
    createShadowsManager();

    const osg::StateAttribute::GLModeValue lightingOn =
        osg::StateAttribute::ON | osg::StateAttribute::PROTECTED;
    osg::StateSet* plain = _notShadowedGroup->getOrCreateStateSet();
    plain->setMode(GL_LIGHTING, lightingOn);
    plain->setMode(GL_LIGHT0, osg::StateAttribute::ON);
    plain->setMode(GL_LIGHT7, osg::StateAttribute::OFF);
    osg::StateSet* shadowed = _shadowedGroup->getOrCreateStateSet();
    shadowed->setMode(GL_LIGHTING, lightingOn);
    shadowed->setMode(GL_LIGHT0, osg::StateAttribute::OFF);
    shadowed->setMode(GL_LIGHT7, osg::StateAttribute::ON);

    osg::ref_ptr<osg::Group> mixedMode = new osg::Group;
    mixedMode->setName("MixedModeGroup");
    osg::ref_ptr<osg::Group> fakeMode = new osg::Group;
    fakeMode->setName("FakeModeGroup");
    _modeSwitch->addChild(simpleMode.get(), mode == 0);
    _modeSwitch->addChild(mixedMode.get(), mode == 1);
    _modeSwitch->addChild(fakeMode.get(), mode == 2);
    return true;
}

unsigned int ARApplication::getMarkersCount() const
{
    return _trackerPlugin.valid() ? _trackerPlugin->getMarkerCount() : 0;
}

void ARApplication::setRescaleNormal(bool enable)
{
    if (_arScene.valid())
        _arScene->getOrCreateStateSet()->setMode(GL_RESCALE_NORMAL,
                                                 enable ? osg::StateAttribute::ON : osg::StateAttribute::OFF);
}

std::string ARApplication::resolveModelFile(const std::string& path)
{
    const std::string extension = lowerCaseExtension(path);
    if (extension == "wrl") {
        setenv("OPENVRML_DATADIR", "support", 1);
        setenv("OPENVRML_NODE_PATH", "node", 1);
        return path;
    }
    if (extension != "kmz")
        return path;
    osg::notify(osg::NOTICE) << " KMZ: " << path << std::endl;
    const std::string folder = osgDB::getNameLessExtension(path) + "_kmz.tmp";
    osg::notify(osg::NOTICE) << " tmp kmz dir: " << folder << std::endl;
    addTemporaryDirectory(folder);
    removeDirectoryTree(folder);
    unzipArchive(path, folder);
    const std::vector<std::string> models = findKmzModels(folder);
    if (models.empty()) {
        osg::notify(osg::FATAL) << " No valid KMZ models in archive." << std::endl;
        return path;
    }
    osg::notify(osg::NOTICE) << " Using model: " << models.front() << std::endl;
    return models.front();
}

void ARApplication::run()
{
    if (!_configuration) {
        osg::notify(osg::FATAL) << " WARNING: NULL configuration." << std::endl;
        return;
    }
    _viewer->setSceneData(_root.get());
    setupShadows();

    setupRendering();
    bindShadowPassTexture(_shadowsManager.valid() && _shadowsManager->getMode() == 1 &&
                          _shadowsManager->getTechnique());
    _viewer->realize();
    if (_configuration->mirror)
        toggleMirrorHorizontal();
    _viewer->setFullscreen(_configuration->fullscreen);
    cacheTextures();

    for (const osg::ref_ptr<ARObject>& object : _objects) {
        object->initActions();
        object->onInit();
    }
    for (const osg::ref_ptr<ARObject>& object : _objects)
        if (object->hasEvent("on_mouse_in") || object->hasEvent("on_mouse_out") ||
            object->hasEvent("on_mouse_over"))
            _mouseHoverEvents = true;

    if (_audio && _audio->autoplay) {
        if (ARSoundtrack* soundtrack = getCurrentSoundtrack())
            soundtrack->play();
    }
    createClippingManager();

    if (_root.valid()) {
        osgUtil::Optimizer::StateVisitor sharing(true, true, true);
        _root->accept(sharing);
        sharing.optimize();
    } else {
        osg::notify(osg::FATAL) << " WARNING: root not created yet, cannot optimize scene." << std::endl;
    }
    for (const osg::ref_ptr<ARObject>& object : _objects)
        object->optimize();
    applySmallFeatureCulling();
    if (_applicationHint == hint_scia_engineer) {
        _smallFeatureCullingPixelSize = 5.0f;
        applySmallFeatureCulling();
    }

    if (_videoPlugin.valid())
        _videoPlugin->start();

    const unsigned int frameLimit = maximumFrameCount();
    unsigned int frames = 0;
    while (!_viewer->done() && (frameLimit == 0 || frames < frameLimit)) {
        _viewer->frame(DBL_MAX);
        ++frames;
    }

    if (ARSoundtrack* soundtrack = getCurrentSoundtrack())
        soundtrack->stop();
    if (_videoPlugin.valid()) {
        _videoPlugin->stop();
        _videoPlugin->close(true);
    }
}

void ARApplication::applySmallFeatureCulling()
{
    if (!_arCamera.valid()) {
        osg::notify(osg::FATAL) << " WARNING: AR camera not created yet, cannot optimize rendering."
                                << std::endl;
        return;
    }
    osg::CullSettings::CullingMode mode = _arCamera->getCullingMode();
    if (_smallFeatureCullingPixelSize > 0.0f) {
        _arCamera->setCullingMode(mode | osg::CullSettings::SMALL_FEATURE_CULLING);
        _arCamera->setSmallFeatureCullingPixelSize(_smallFeatureCullingPixelSize);
    } else {
        _arCamera->setCullingMode(mode & ~osg::CullSettings::SMALL_FEATURE_CULLING);
    }
}

void ARApplication::cleanup()
{
    _soundtracks.clear();
    for (const osg::ref_ptr<ARObject>& object : _objects) {
        if (!dynamic_cast<ARVideo*>(object.get()))
            object->stopVideos();
    }
    for (const std::string& file : _temporaryFiles)
        removeFile(file);
    for (const std::string& directory : _temporaryDirectories)
        removeDirectoryTree(directory);
}

osgART::GenericTracker* ARApplication::getTrackerPlugin() const
{
    return _trackerPlugin.get();
}

osgART::GenericVideo* ARApplication::getVideoPlugin() const
{
    return _videoPlugin.get();
}

osg::Group* ARApplication::getRoot() const
{
    return _root.get();
}

osg::Group* ARApplication::getShadowedGroup() const
{
    return _shadowedGroup.get();
}

osg::Group* ARApplication::getNotShadowedGroup() const
{
    return _notShadowedGroup.get();
}

osg::Camera* ARApplication::getARCamera() const
{
    return _arCamera.get();
}

} // namespace Orvana
