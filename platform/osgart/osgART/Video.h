#pragma once

#include <string>

#include <osg/ImageStream>

#include "osgART/Export.h"

namespace osgART
{

struct VideoConfiguration {
    // Options of the device, such as "-devNum=1 -flipV" or "-movie=PATH".
    std::string deviceconfig;
};

// A video source whose image is the newest frame. Frames keep the camera's row order (first row at
// the top of the picture); the image's origin says how it is to be shown: TOP_LEFT when flipped
// vertically (upright on screen), BOTTOM_LEFT otherwise, as the rows arrive.
class OSGART_EXPORT GenericVideo : public osg::ImageStream
{
public:
    GenericVideo();

    // The configuration the next open reads, or null when the video takes none.
    virtual VideoConfiguration* getVideoConfiguration() { return &_configuration; }

    void setFlip(bool horizontal, bool vertical);
    bool isFlippedHorizontally() const { return _flipHorizontal; }
    bool isFlippedVertically() const { return _flipVertical; }

    virtual bool open() = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void close(bool waitForThread = true) = 0;

    int getWidth() const { return s(); }
    int getHeight() const { return t(); }

    // Counts frames handed to the image, so a consumer can tell a new frame from an old one.
    unsigned int getFrameNumber() const { return _frameNumber; }

protected:
    ~GenericVideo() override = default;

    void applyOrigin();

    VideoConfiguration _configuration;
    bool _flipHorizontal = false;
    bool _flipVertical = false;
    unsigned int _frameNumber = 0;
};

} // namespace osgART
