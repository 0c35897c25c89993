#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <osg/ref_ptr>
#include <osgGA/GUIEventHandler>

#include "player/common/ARApplicationServices.h"
#include "player/interaction/HUDManager.h"
#include "scene_description/AudioSettings.h"
#include "scene_description/ConfigurationSettings.h"
#include "scene_description/MarkersSettings.h"
#include "scene_description/SceneSettings.h"
#include "scene_description/VideoSettings.h"

namespace osg
{
class Camera;
class Geode;
class Geometry;
class Group;
class ImageStream;
class MatrixTransform;
class Node;
class Projection;
class Switch;
class TexMat;
class Texture2D;
} // namespace osg

namespace osgART
{
class ARSceneNode;
class GenericTracker;
class GenericVideo;
class VideoLayer;
} // namespace osgART

namespace Orvana
{

class ARClippingManager;
class ARMarkerNode;
class ARObject;
class ARShadowsManager;
struct SceneObjectSettings;
class ARSoundtrack;
class ARViewer;

// The player's central object: the settings records, the tracker and video, the markers, the
// scene graph, the viewer, the scene objects and soundtracks, and the temporary data to remove at
// exit. Objects, actions, marker nodes and effects reach it through the services it implements;
// handlers keep a plain pointer to it. It outlives all of them.
class ARApplication : public ARApplicationServices
{
public:
    using MarkerMap = std::map<std::uint32_t, osg::ref_ptr<ARMarkerNode>>;
    using ObjectList = std::vector<osg::ref_ptr<ARObject>>;

    ARApplication();
    ~ARApplication() override;
    ARApplication(const ARApplication&) = delete;
    ARApplication& operator=(const ARApplication&) = delete;

    // Description files: a relative name is joined to the working directory (configuration,
    // tracker, video) or the temporary directory (the others). On failure the previous record stays.
    bool setConfiguration(const std::string& name);
    bool setTracker(const std::string& name);
    bool setVideo(const std::string& name);
    bool setScene(const std::string& name);
    bool setAudio(const std::string& name);
    bool setMarkers(const std::string& name);
    bool setLighting(const std::string& name);

    void setTitle(const std::string& title) { _title = title; }
    const std::string& getTitle() const { return _title; }
    void setWorkingDirectory(const std::string& directory) { _workingDirectory = directory; }
    void setTemporaryDirectory(const std::string& directory) { _temporaryDirectory = directory; }
    const std::string& getWorkingDirectory() const { return _workingDirectory; }
    const std::string& getTemporaryDirectory() const { return _temporaryDirectory; }
    void setVideoDevice(const std::string& device);
    const std::string& getVideoDevice() const { return _videoDevice; }

    void setApplicationHint();
    int getApplicationHint() const override { return _applicationHint; }

    // Graphics, tracking, scene graph, markers, marker transforms, viewer, soundtracks.
    bool init();
    void initEventsHandlers();
    // Creates the scene objects from the scene record and attaches them to their markers.
    void initObjects();

    void showMessage(const std::string& text);
    void setMessage(const std::string& text);

    // Interaction: the attached mode handler (0 to 7, see InteractionMode) with its help, the
    // HUD panels and the state the keyboard modes change.
    void setInteractionMode(int mode);
    HUDManager& getHUDManager() { return _hudManager; }
    int getStatusMessage() const { return _statusMessage; }
    osgGA::GUIEventHandler* getModeHandler(int mode) const;
    osgGA::GUIEventHandler* getCurrentModeHandler() const { return _currentModeHandler.get(); }
    osgGA::GUIEventHandler* getHelpHandler() const { return _helpHandler.get(); }
    // True when the scene has a light the lighting mode can work on.
    bool hasSceneLight() const;
    float getSmallFeatureCullingPixelSize() const { return _smallFeatureCullingPixelSize; }
    void setSmallFeatureCullingPixelSize(float pixels);
    void toggleWireframe();
    bool isMirrorHorizontal() const { return _mirrorHorizontal; }
    bool isFlipVertical() const { return _flipVertical; }
    void toggleOccluders();
    bool areOccludersVisible() const { return _occludersVisible; }
    float getAnimationSpeed() const { return _animationSpeed; }
    void setAnimationSpeed(float speed);
    void rewindAnimations();
    void togglePauseAnimations();
    // Shows the tracker's debug image instead of the video, or the video again.
    void toggleDebugMode();

    unsigned int getMarkersCount() const;
    std::size_t getObjectsCount() const { return _objects.size(); }
    void addObjectToMarker(ARObject* object, std::uint32_t markerId, int layer);
    void addObjectToAllMarkers(ARObject* object);
    ARObject* findObject(const std::string& name) const override;

    void setRescaleNormal(bool enable);
    // The path to load for a model file: KMZ archives are unpacked and their first model used.
    std::string resolveModelFile(const std::string& path);

    void run();
    void cleanup();

    // Full-screen movie on the HUD manager's video HUD.
    void goFullscreenVideo(osg::ImageStream* stream) override;
    void resignFullscreenVideo() override;

    // Clipping: one manager (box size 80), moved to the marker that clipping is enabled on; the
    // active marker is the first, in ID order, whose content is shown.
    void createClippingManager();
    ARClippingManager* getClippingManager() const;
    void enableClipping();
    void disableClipping();
    // Installs the camera callback that compiles the objects' textures before the first frame.
    void cacheTextures();

    // Tracking controls.
    void listVideoDevices();
    std::string chooseCameraFile(int width, int height);
    void setCameraFile(const std::string& name);
    const std::string& getCameraFile() const { return _cameraFile; }
    void setPatternsFile(const std::string& name);
    std::string getPatternsFile() const;
    void resetThreshold();
    void increaseThreshold(int step);
    void decreaseThreshold(int step);
    int getThreshold() const;
    void toggleFreeze();
    void toggleTrackingPlus();
    bool isFrozen() const { return _frozen; }
    bool isTrackingPlus() const { return _trackingPlus; }
    bool writeMultiMarkerFile(int markerIndex);

    // Viewer and composition.
    void setWireframe(bool on);
    void toggleMirrorHorizontal();
    void toggleFlipVertical();
    void bindShadowPassTexture(bool bind) override;

    // Lights and shadows.
    ARShadowsManager* getShadowsManager() const;
    // Shadows only: the picture's textures off, so that the deferred shadow image shows alone.
    void setShadowsOnly(bool on);

    // Records; null until their file was loaded.
    ConfigurationSettings* getConfigurationSettings() { return opt(_configuration); }
    TrackerSettings* getTrackerSettings() { return opt(_tracker); }
    MarkersSettings* getMarkersSettings() { return opt(_markersSettings); }
    VideoSettings* getVideoSettings() { return opt(_video); }
    SceneSettings* getSceneSettings() { return opt(_scene); }
    AudioSettings* getAudioSettings() { return opt(_audio); }
    LightingSettings* getLightingSettings() { return opt(_lighting); }

    MarkerMap& getMarkers() { return _markers; }
    const ObjectList& getObjects() const { return _objects; }
    bool isDebug() const { return _debug; }
    bool hasMouseHoverEvents() const { return _mouseHoverEvents; }

    osgART::GenericTracker* getTrackerPlugin() const;
    osgART::GenericVideo* getVideoPlugin() const;
    ARViewer* getViewer() const { return _viewer.get(); }
    osg::Group* getRoot() const;
    osg::Group* getShadowedGroup() const;
    osg::Group* getNotShadowedGroup() const;
    osg::Camera* getARCamera() const;

    void addTemporaryFile(const std::string& path) { _temporaryFiles.push_back(path); }
    void addTemporaryDirectory(const std::string& path) { _temporaryDirectories.push_back(path); }
    const std::vector<std::string>& getTemporaryFiles() const { return _temporaryFiles; }
    const std::vector<std::string>& getTemporaryDirectories() const { return _temporaryDirectories; }

    // Soundtracks of the audio record.
    std::size_t getSoundtracksCount() const { return _soundtracks.size(); }
    ARSoundtrack* getSoundtrack(std::size_t index) const;
    ARSoundtrack* getCurrentSoundtrack() const;
    int getCurrentSoundtrackIndex() const { return _currentSoundtrack; }
    void setCurrentSoundtrackIndex(int index) { _currentSoundtrack = index; }
    // Soundtrack controls; each acts only when the current index is a loaded soundtrack.
    void addSoundtrack(const std::string& fileName);
    void rewindSoundtrack();
    void toggleMusic();
    void nextSoundtrack();
    void previousSoundtrack();

private:
    template <typename T> static T* opt(std::optional<T>& value) { return value ? &*value : nullptr; }

    bool initGraphicLibrary();
    bool initTrackingLibrary();
    bool initScene();
    bool initMarkers();
    bool initMarkersTransform();
    bool initViewer();
    bool initSounds();
    void createMarkers(bool hasGlobalTransformsFile);
    void setupRendering();
    void checkGraphicsCapabilities();
    void applySmallFeatureCulling();
    void updateTextureMatrix();
    void stepSoundtrack(int step);
    void createShadowsManager();
    // initObjects' steps: the scene's own model, one entry's object (null, with a message, when it
    // cannot be made), its settings, and its markers.
    osg::ref_ptr<osg::Node> loadSceneModel();
    osg::ref_ptr<ARObject> createObject(const SceneObjectSettings& entry, osg::Node* sceneNode);
    void setupObject(ARObject& object, const SceneObjectSettings& entry,
                     const std::map<std::string, std::string>& videos);
    void attachObject(ARObject* object, const SceneObjectSettings& entry);
    osg::ref_ptr<ARObject> createLight(const SceneObjectSettings& entry, const std::string& modelPath,
                                       osg::Node* sceneNode);
    void setupShadows();
    void disableShadows();
    void attachShadowPass(int width, int height);
    void setupShadowsCamera(int width, int height);

    std::string _title = "Orvana(TM)";
    std::string _workingDirectory = ".";
    std::string _temporaryDirectory = ".";
    std::string _videoDevice = "1";
    std::string _cameraFile;

    std::optional<ConfigurationSettings> _configuration;
    std::optional<TrackerSettings> _tracker;
    std::optional<MarkersSettings> _markersSettings;
    std::optional<VideoSettings> _video;
    std::optional<SceneSettings> _scene;
    std::optional<AudioSettings> _audio;
    std::optional<LightingSettings> _lighting;

    int _applicationHint = hint_none;
    bool _debug = false;
    bool _mouseHoverEvents = false;
    float _smallFeatureCullingPixelSize = 0.0f;
    bool _frozen = false;
    bool _trackingPlus = true;

    osg::ref_ptr<osgART::GenericVideo> _videoPlugin;
    osg::ref_ptr<osgART::GenericTracker> _trackerPlugin;
    MarkerMap _markers;

    osg::ref_ptr<osg::Group> _root;
    osg::ref_ptr<osgART::ARSceneNode> _arScene;
    osg::ref_ptr<osg::Switch> _modeSwitch;
    osg::ref_ptr<osg::Projection> _projection;
    osg::ref_ptr<osg::MatrixTransform> _modelView;
    osg::ref_ptr<osg::Switch> _arSwitch;
    osg::ref_ptr<osgART::VideoLayer> _videoLayer;
    osg::ref_ptr<osgART::VideoLayer> _debugLayer;
    osg::ref_ptr<osg::Group> _sceneGroup;
    osg::ref_ptr<osg::Group> _shadowedGroup;
    osg::ref_ptr<osg::Group> _notShadowedGroup;
    osg::ref_ptr<ARShadowsManager> _shadowsManager;
    osg::ref_ptr<ARClippingManager> _clippingManager;
    // Kept here as well as on the camera: it uninstalls itself while the camera is running it.
    osg::ref_ptr<osg::Referenced> _textureCachingCallBack;

    // Graphics capabilities and composition.
    bool _glMultisample = false;
    bool _glNonPowerOfTwo = false;
    bool _glTextureRectangle = false;
    bool _glFramebufferObject = false;
    bool _mirrorHorizontal = false;
    bool _flipVertical = false;
    osg::ref_ptr<osg::Texture2D> _arTexture;
    osg::ref_ptr<osg::Texture2D> _shadowPassTexture;
    osg::ref_ptr<osg::Geometry> _quad;
    osg::ref_ptr<osg::Geode> _quadGeode;
    osg::ref_ptr<osg::TexMat> _textureMatrix;
    osg::ref_ptr<osg::Camera> _arCamera;
    osg::ref_ptr<osg::Camera> _shadowsCamera;
    osg::ref_ptr<ARViewer> _viewer;

    ObjectList _objects;
    std::vector<std::unique_ptr<ARSoundtrack>> _soundtracks;
    int _currentSoundtrack = 0;

    std::vector<std::string> _temporaryFiles;
    std::vector<std::string> _temporaryDirectories;

    HUDManager _hudManager;
    int _statusMessage = -1;
    osg::ref_ptr<osgGA::GUIEventHandler> _eventsHandlersManager;
    osg::ref_ptr<osgGA::GUIEventHandler> _mouseEventsHandler;
    std::vector<osg::ref_ptr<osgGA::GUIEventHandler>> _modeHandlers;
    osg::ref_ptr<osgGA::GUIEventHandler> _currentModeHandler;
    osg::ref_ptr<osgGA::GUIEventHandler> _helpHandler;
    bool _occludersVisible = false;
    float _animationSpeed = 1.0f;
};

} // namespace Orvana
