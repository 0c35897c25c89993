#pragma once

#include <osg/Timer>
#include <osgAnimation/BasicAnimationManager>

namespace Orvana
{

// A skeletal animation manager with its own clock: while paused, time stands still for its
// animations, and they resume where they stopped.
class ARBasicAnimationManagerPlus : public osgAnimation::BasicAnimationManager
{
public:
    ARBasicAnimationManagerPlus();
    // Takes over the animations of a manager read from a model.
    explicit ARBasicAnimationManagerPlus(const osgAnimation::AnimationManagerBase& other);

    void operator()(osg::Node* node, osg::NodeVisitor* nv) override;

    void setPaused(bool paused);
    bool isPaused() const { return _paused; }
    void togglePaused() { setPaused(!_paused); }
    // The animation time for a frame at this simulation time.
    double getAnimationTime(double simulationTime) const;

protected:
    ~ARBasicAnimationManagerPlus() override = default;

private:
    bool _paused = true;
    double _totalPausedTime = 0.0;
    osg::Timer_t _pauseStart;
};

} // namespace Orvana
