#pragma once

#include <map>
#include <string>

namespace Orvana
{

struct SceneSettings;
struct MarkersSettings;
class MarkerSettings;

// Writers of the files a package holds besides the description files and assets. Each returns
// false, with its message, when the file cannot be written; the file is then left as it was or
// incomplete, never silently reported as written.

// model.dat: the description file names of the package, as key@value lines.
bool writeModelData(const std::string& path, const std::string& sceneFile, const std::string& audioFile,
                    const std::string& markersFile, const std::string& signaturesFile,
                    const std::string& lightingFile);

// signatures.xml from model source names to their signatures. An empty map writes nothing.
bool writeSignatures(const std::string& path, const std::map<std::string, std::string>& signatures);

// metadata.plist of a mobile package.
bool writePlist(const std::string& path, const SceneSettings& scene, const MarkerSettings& marker,
                const std::string& model, const std::string& image, const std::string& signature);

// custom_markers.dat: the single markers of a mobile package (multi markers are skipped).
bool writeMarkersData(const std::string& path, const MarkersSettings& markers);

// custom_objects.dat: the placement of the model on the marker; identity without a transforms
// file, else the inverse of the marker's pose in the transforms file.
bool writeObjectsData(const std::string& path, const MarkerSettings& marker, const std::string& model,
                      const std::string& transformsFile);

// Writes a scene record as a scene file that the scene reader accepts.
bool writeScene(const std::string& path, const SceneSettings& scene);

// Rewrites the scene file so that every model it names is modelName (rotated by -90 degrees about
// X when rotate is set).
bool rewriteScene(const std::string& scenePath, const SceneSettings& scene, const std::string& modelName,
                  bool rotate);

// Text as XML character data: ampersand, less-than and double quote as entity references.
std::string escapeXmlText(const std::string& text);

} // namespace Orvana
