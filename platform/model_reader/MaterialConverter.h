#pragma once

#include <map>
#include <string>
#include <utility>

#include <osg/ref_ptr>

struct aiMaterial;
struct aiScene;
struct aiTexture;

namespace osg
{
class Image;
class StateSet;
} // namespace osg

namespace osgDB
{
class Options;
}

namespace Orvana::ModelReader
{

// Turns the materials of an imported scene into state sets: colours, shininess, opacity with
// blending, two-sided lighting and the diffuse texture, read from a file beside the model or from
// the data embedded in it. State sets and images are shared between the meshes that use them.
class MaterialConverter
{
public:
    MaterialConverter(const aiScene& scene, const std::string& modelPath, const osgDB::Options* options);
    ~MaterialConverter();
    MaterialConverter(const MaterialConverter&) = delete;
    MaterialConverter& operator=(const MaterialConverter&) = delete;

    // The state set of material `index`; `vertexColours` makes the mesh's colours drive the
    // ambient and diffuse colours. Null for an index the scene does not have.
    osg::StateSet* stateSet(unsigned int index, bool vertexColours);

private:
    osg::ref_ptr<osg::StateSet> convert(const aiMaterial& material, bool vertexColours);
    osg::Image* image(const std::string& reference);
    osg::ref_ptr<osg::Image> readEmbedded(const aiTexture& texture, const std::string& reference) const;
    osg::ref_ptr<osg::Image> readExternal(const std::string& reference) const;

    const aiScene& _scene;
    std::string _modelFolder;
    osg::ref_ptr<osgDB::Options> _options;
    std::map<std::pair<unsigned int, bool>, osg::ref_ptr<osg::StateSet>> _stateSets;
    // Images by the reference the materials use; a null entry marks one that could not be read.
    std::map<std::string, osg::ref_ptr<osg::Image>> _images;
};

} // namespace Orvana::ModelReader
