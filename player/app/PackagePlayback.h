#pragma once

#include <cstdint>
#include <string>

namespace osg
{
class ArgumentParser;
}

namespace Orvana
{

// Reads every value of a command-line option into `value`, so that the last one wins; false when
// the option is absent.
bool readLastOption(osg::ArgumentParser& arguments, const char* option, std::string& value);

// Plays a .orvana package as it is: unpacks it into a private temporary folder, checks its models
// against their signatures, and names the folders the player reads its description files from.
// The folder is removed when this object dies, so every way out of the player cleans up, and
// also when a signal ends the process (one package per process).
class ARPackagePlayback
{
public:
    ARPackagePlayback() = default;
    ~ARPackagePlayback();
    ARPackagePlayback(const ARPackagePlayback&) = delete;
    ARPackagePlayback& operator=(const ARPackagePlayback&) = delete;

    // Reads -package (and, with it, -working_directory) from the command line. Without -package
    // it does nothing and succeeds; with it, false means the package cannot be played and a
    // message said why.
    bool prepare(osg::ArgumentParser& arguments);

    // The folders the player should read from; "." when no package is played.
    std::string workingDirectory() const;
    std::string temporaryDirectory() const;

    // Limits on what a package may unpack to, inner archives included.
    static constexpr std::uint64_t maximumUnpackedBytes = std::uint64_t(2) << 30;
    static constexpr std::uint64_t maximumEntries = 20000;
    // Where the build keeps the player's own configuration, tracker and video files, relative to
    // the folder the player runs in (like data/).
    static const char* const defaultsDirectory;

private:
    bool open(const std::string& package, const std::string& workingDirectory);
    bool unpack(const std::string& package);
    bool verifyModels() const;

    std::string _folder;
    std::string _sceneDirectory;
    std::string _workingDirectory;
};

} // namespace Orvana
