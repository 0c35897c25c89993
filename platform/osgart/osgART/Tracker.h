#pragma once

#include <map>
#include <string>
#include <vector>

#include <osg/Matrixd>
#include <osg/Referenced>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include "osgART/Export.h"
#include "osgART/Field.h"

namespace osg
{
class Image;
}

namespace osgART
{

class GenericVideo;
class Marker;

// Finds markers in the frames of a video and reports their poses.
class OSGART_EXPORT GenericTracker : public osg::Referenced
{
public:
    GenericTracker();

    // Reads the camera file and the patterns file for frames of the video's size. The markers the
    // patterns file lists are added. False, with a message, when the tracker cannot work.
    virtual bool init(GenericVideo* video, const std::string& patternsFile,
                      const std::string& cameraFile) = 0;

    // Adds a marker from "single;PATTERN;WIDTH;X;Y" or "multi;MULTI_MARKER_FILE"; null when the
    // text or its files are not usable.
    virtual Marker* addMarker(const std::string& configuration) = 0;

    // Processes the video's current image: every marker's validity and pose for this frame.
    virtual void update() = 0;

    unsigned int getMarkerCount() const { return static_cast<unsigned int>(_markers.size()); }
    Marker* getMarker(unsigned int index) const;

    // Projection of the camera for the video's size, so that a marker point carried through it and
    // the marker's transform lands on that point of the video image as shown.
    const osg::Matrixd& getProjectionMatrix() const { return _projection; }

    // A parameter by name, or null; cast it to its TypedField to read and write it.
    Field* get(const std::string& name) const;

    template <typename T> TypedField<T>* getField(const std::string& name) const
    {
        return dynamic_cast<TypedField<T>*>(get(name));
    }

protected:
    ~GenericTracker() override;

    void addField(const std::string& name, Field* field);

    std::vector<osg::ref_ptr<Marker>> _markers;
    osg::Matrixd _projection;
    std::map<std::string, osg::ref_ptr<Field>> _fields;
    osg::observer_ptr<GenericVideo> _video;
};

} // namespace osgART
