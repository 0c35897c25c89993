#pragma once

#include "player/objects/ARObject.h"

namespace Orvana
{

// A scene object that plays media; actions and keyboard modes control it without knowing its kind.
class ARMultimediaInterface : public ARObject
{
public:
    using ARObject::ARObject;

    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void togglePause() = 0;
    virtual void rewind() = 0;
    virtual void toggleLoop() = 0;
    virtual void setLoop(bool loop) = 0;

protected:
    ~ARMultimediaInterface() override = default;
};

} // namespace Orvana
