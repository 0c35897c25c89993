#pragma once

#include <string>
#include <vector>

#include "scene_description/MetadataFile.h"

namespace Orvana
{

// True for a drive-letter path ("C:\scene\file.xml") and for a POSIX absolute path ("/tmp/x").
bool isAbsolutePath(const std::string& path);
// The scene-graph library's path join.
std::string joinPath(const std::string& directory, const std::string& name);
// A file that a description file names, with this system's separators; a relative one lies in
// `directory`.
std::string scenePath(const std::string& directory, const std::string& name);
bool fileExists(const std::string& path);
// Deletes one file; a failure is silent.
void removeFile(const std::string& path);
// Deletes a folder with everything in it, reporting what it did.
void removeDirectoryTree(const std::string& directory);
// The lower-case extension of a path, without the dot.
std::string lowerCaseExtension(const std::string& path);

} // namespace Orvana
