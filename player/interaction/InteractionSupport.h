#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <osg/ApplicationUsage>
#include <osg/ref_ptr>

namespace osgGA
{
class GUIActionAdapter;
class GUIEventAdapter;
} // namespace osgGA

namespace Orvana
{

class ARViewer;

// The interaction modes, in the order of the function keys F1 to F8.
enum InteractionMode : int {
    mode_visualization = 0,
    mode_objects = 1,
    mode_animations = 2,
    mode_sounds = 3,
    mode_layers = 4,
    mode_clipping = 5,
    mode_tracking = 6,
    mode_lighting = 7
};

// Help bindings as (description, key text) pairs, in display order.
using HelpBindings = std::vector<std::pair<std::string, std::string>>;

// A usage named after the product, with `description`, the given bindings and then the bindings
// common to every mode (F1 to F8, ESC).
osg::ref_ptr<osg::ApplicationUsage> createUsage(const std::string& description, const HelpBindings& bindings);

// The player's viewer when it is the one that delivered the event; null otherwise.
ARViewer* playerViewer(osgGA::GUIActionAdapter& adapter);

bool isCtrlHeld(const osgGA::GUIEventAdapter& event);
bool isAltHeld(const osgGA::GUIEventAdapter& event);
// The same tests on a modifier mask: CTRL is either control key, ALT either alt or super key.
bool hasCtrl(unsigned int modifiers);
bool hasAlt(unsigned int modifiers);

// A key as it went down: its symbol then, its symbol without modifiers, and the modifiers held at
// its press or at its release.
struct HeldKey {
    int key = 0;
    int unmodifiedKey = 0;
    unsigned int modifiers = 0;
};

// Remembers the keys that are down, for modes that act at a key's release: people often let go of
// CTRL, ALT or SHIFT an instant before the key itself, and the window system then reports the
// release without them (SHIFT+a released as 'a').
class KeyPresses
{
public:
    void press(const osgGA::GUIEventAdapter& event);
    // The key released, as it was pressed; a release whose press was not seen stands for itself.
    HeldKey release(const osgGA::GUIEventAdapter& event);

private:
    std::map<int, HeldKey> _held;
};

// printf-style formatting into a small buffer, for the status messages.
std::string formatMessage(const char* format, double value);
std::string formatMessage(const char* format, int value);

} // namespace Orvana
