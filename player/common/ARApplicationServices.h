#pragma once

#include <string>

namespace osg
{
class ImageStream;
}

namespace Orvana
{

class ARObject;

// Application hint, from the scene's authoring software.
enum ApplicationHint : int {
    hint_none = 0,
    hint_sketchup = 1,
    hint_3dsmax = 2,
    hint_scia_engineer = 3,
    hint_vectorworks = 4,
    hint_maya = 5,
    hint_cinema4d = 6
};

// The small services the player's objects, actions, marker nodes and effects reach the application
// through, so that none of them depends on the application itself. The application implements all
// of them and outlives everything it hands them to.

// Scene objects by name, for actions that act on another object.
class ARObjectDirectory
{
public:
    virtual ~ARObjectDirectory() = default;
    // The first object, in creation order, whose node name is `name`; null when none.
    virtual ARObject* findObject(const std::string& name) const = 0;
};

// The HUD's full-screen video: a video object hands its stream over and takes it back.
class ARVideoHUDService
{
public:
    virtual ~ARVideoHUDService() = default;
    virtual void goFullscreenVideo(osg::ImageStream* stream) = 0;
    virtual void resignFullscreenVideo() = 0;
};

// The authoring software's conventions, which decide how content is fitted on a marker.
class ARSceneConventions
{
public:
    virtual ~ARSceneConventions() = default;
    // One of ApplicationHint.
    virtual int getApplicationHint() const = 0;
};

// The picture the shadow pass draws into.
class ARShadowPassService
{
public:
    virtual ~ARShadowPassService() = default;
    virtual void bindShadowPassTexture(bool bind) = 0;
};

// Everything the player's parts need from the application, in one pointer.
class ARApplicationServices : public ARObjectDirectory,
                              public ARVideoHUDService,
                              public ARSceneConventions,
                              public ARShadowPassService
{
};

} // namespace Orvana
