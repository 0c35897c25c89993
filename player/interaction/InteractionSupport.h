#pragma once

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

// printf-style formatting into a small buffer, for the status messages.
std::string formatMessage(const char* format, double value);
std::string formatMessage(const char* format, int value);

} // namespace Orvana
