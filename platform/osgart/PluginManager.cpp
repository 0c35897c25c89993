#include "osgART/PluginManager.h"

#include <algorithm>

#include <osg/Notify>
#include <osgDB/DynamicLibrary>
#include <osgDB/FileUtils>

namespace osgART
{

namespace
{

#if defined(_WIN32)
const char* moduleExtension = ".dll";
#else
const char* moduleExtension = ".so";
#endif

void addPluginFolderToLibraryPath()
{
    osgDB::FilePathList& paths = osgDB::getLibraryFilePathList();
    if (std::find(paths.begin(), paths.end(), "osgplugins") == paths.end())
        paths.push_front("osgplugins");
}

} // namespace

PluginManager* PluginManager::instance()
{
    static PluginManager manager;
    return &manager;
}

PluginManager::PluginManager() = default;

// Objects made by a module must go before the module's code is unloaded.
PluginManager::~PluginManager()
{
    _objects.clear();
    _libraries.clear();
}

bool PluginManager::load(const std::string& name)
{
    if (_libraries.count(name))
        return true;
    addPluginFolderToLibraryPath();
    std::string path = osgDB::findLibraryFile(name + moduleExtension);
    if (path.empty()) {
        osg::notify(osg::WARN) << "osgART: module not found: " << name << std::endl;
        return false;
    }
    osg::ref_ptr<osgDB::DynamicLibrary> library = osgDB::DynamicLibrary::loadLibrary(path);
    if (!library) {
        osg::notify(osg::WARN) << "osgART: could not load module: " << path << std::endl;
        return false;
    }
    _libraries[name] = library;
    return true;
}

osg::Referenced* PluginManager::get(const std::string& name)
{
    auto found = _objects.find(name);
    return found == _objects.end() ? nullptr : found->second.get();
}

void PluginManager::registerObject(const std::string& name, osg::Referenced* object)
{
    _objects[name] = object;
}

} // namespace osgART
