#include "osgART/Tracker.h"

#include "osgART/Marker.h"
#include "osgART/Video.h"

namespace osgART
{

GenericTracker::GenericTracker() = default;

GenericTracker::~GenericTracker() = default;

Marker* GenericTracker::getMarker(unsigned int index) const
{
    return index < _markers.size() ? _markers[index].get() : nullptr;
}

Field* GenericTracker::get(const std::string& name) const
{
    auto found = _fields.find(name);
    return found == _fields.end() ? nullptr : found->second.get();
}

void GenericTracker::addField(const std::string& name, Field* field)
{
    _fields[name] = field;
}

} // namespace osgART
