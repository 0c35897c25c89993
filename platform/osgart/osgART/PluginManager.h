#pragma once

#include <map>
#include <string>

#include <osg/Referenced>
#include <osg/ref_ptr>

#include "osgART/Export.h"

namespace osgDB
{
class DynamicLibrary;
}

namespace osgART
{

// Loads tracking modules by name and hands out the objects they register. A module registers its
// objects from a static initialiser when it is loaded.
class OSGART_EXPORT PluginManager
{
public:
    static PluginManager* instance();

    // Loads the module `name` (osgplugins/ first, then the scene-graph library's library path).
    // Loading a module that is already loaded succeeds without loading it again.
    bool load(const std::string& name);

    // The object registered under `name`, or null.
    osg::Referenced* get(const std::string& name);

    // Called by modules when they are loaded.
    void registerObject(const std::string& name, osg::Referenced* object);

private:
    PluginManager();
    ~PluginManager();

    std::map<std::string, osg::ref_ptr<osg::Referenced>> _objects;
    std::map<std::string, osg::ref_ptr<osgDB::DynamicLibrary>> _libraries;
};

} // namespace osgART
