#pragma once

#include <string>

#include <osg/ref_ptr>

namespace osg
{
class Image;
class Node;
} // namespace osg

namespace osgDB
{
class Options;
}

namespace Orvana
{

// Largest picture side read as an image; bigger ones are refused before decoding.
constexpr int kMaximumImageSide = 16384;

// Reads a model through the scene-graph library's registry. A reader that throws (a corrupt file
// asking for an absurd allocation, say) is reported with the file's name and gives null, as an
// unreadable file does.
osg::ref_ptr<osg::Node> loadModelFile(const std::string& path, const osgDB::Options* options = nullptr);

// Reads an image the same way; a header that declares a side over kMaximumImageSide is refused
// before decoding.
osg::ref_ptr<osg::Image> loadImageFile(const std::string& path, const osgDB::Options* options = nullptr);

// Runs a loader of another library that may throw (many size their buffers from a file's header);
// an exception counts as a failed load.
template <typename Load> bool loadWithoutThrowing(Load&& load) noexcept
{
    try {
        return load();
    } catch (...) {
        return false;
    }
}

} // namespace Orvana
