#include "platform/safe_loading/SafeLoading.h"

#include <exception>
#include <new>

#include <osg/Image>
#include <osg/Node>
#include <osg/Notify>
#include <osgDB/ReadFile>

#include "platform/safe_loading/ImageHeader.h"

namespace Orvana
{

namespace
{

template <typename Read>
auto guarded(const std::string& path, const char* kind, Read read) -> decltype(read())
{
    try {
        return read();
    } catch (const std::bad_alloc&) {
        osg::notify(osg::FATAL) << " WARNING: " << kind
                                << " file asks for more memory than there is: " << path << std::endl;
    } catch (const std::exception& error) {
        osg::notify(osg::FATAL) << " WARNING: could not read " << kind << " file: " << path << " ("
                                << error.what() << ")" << std::endl;
    } catch (...) {
        osg::notify(osg::FATAL) << " WARNING: could not read " << kind << " file: " << path << std::endl;
    }
    return nullptr;
}

} // namespace

osg::ref_ptr<osg::Node> loadModelFile(const std::string& path, const osgDB::Options* options)
{
    return guarded(path, "model", [&] { return osgDB::readRefNodeFile(path, options); });
}

osg::ref_ptr<osg::Image> loadImageFile(const std::string& path, const osgDB::Options* options)
{
    int width = 0;
    int height = 0;
    if (readImageHeaderSize(path, width, height) &&
        (width > kMaximumImageSide || height > kMaximumImageSide)) {
        osg::notify(osg::FATAL) << " WARNING: image too large (" << width << "x" << height << "): " << path
                                << std::endl;
        return nullptr;
    }
    return guarded(path, "image", [&] { return osgDB::readRefImageFile(path, options); });
}

} // namespace Orvana
