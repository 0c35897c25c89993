#include "player/interaction/InteractionSupport.h"

#include <cstdio>

#include <osgGA/GUIEventAdapter>

#include "player/app/ARViewer.h"

namespace Orvana
{

osg::ref_ptr<osg::ApplicationUsage> createUsage(const std::string& description, const HelpBindings& bindings)
{
    osg::ref_ptr<osg::ApplicationUsage> usage = new osg::ApplicationUsage;
    usage->setApplicationName("Orvana Framework 2.2.0");
    usage->setDescription(description);
    for (const auto& [text, key] : bindings)
        usage->addKeyboardMouseBinding(key, text);
    const std::pair<const char*, const char*> common[] = {
        {"F1", "Switch to Visualization Management Mode"},
        {"F2", "Switch to Object/Scene Interaction Mode"},
        {"F3", "Switch to Animations Management Mode"},
        {"F4", "Switch to Sounds Management Mode"},
        {"F5", "Switch to Layers/Sequences Management Mode"},
        {"F6", "Switch to Clipping Management Mode"},
        {"F7", "Switch to Tracking Management Mode"},
        {"F8", "Switch to Lighting Management Mode"},
        {"ESC", "Quit"}};
    for (const auto& [key, text] : common)
        usage->addKeyboardMouseBinding(key, text);
    return usage;
}

ARViewer* playerViewer(osgGA::GUIActionAdapter& adapter)
{
    return dynamic_cast<ARViewer*>(&adapter);
}

bool hasCtrl(unsigned int modifiers)
{
    return (modifiers &
            (osgGA::GUIEventAdapter::MODKEY_LEFT_CTRL | osgGA::GUIEventAdapter::MODKEY_RIGHT_CTRL)) != 0;
}

bool hasAlt(unsigned int modifiers)
{
    return (modifiers &
            (osgGA::GUIEventAdapter::MODKEY_LEFT_ALT | osgGA::GUIEventAdapter::MODKEY_RIGHT_ALT |
             osgGA::GUIEventAdapter::MODKEY_LEFT_SUPER | osgGA::GUIEventAdapter::MODKEY_RIGHT_SUPER)) != 0;
}

bool isCtrlHeld(const osgGA::GUIEventAdapter& event)
{
    return hasCtrl(event.getModKeyMask());
}

bool isAltHeld(const osgGA::GUIEventAdapter& event)
{
    return hasAlt(event.getModKeyMask());
}

namespace
{

// The key without modifiers identifies a key from its press to its release.
int physicalKey(const osgGA::GUIEventAdapter& event)
{
    return event.getUnmodifiedKey() > 0 ? event.getUnmodifiedKey() : event.getKey();
}

} // namespace

void KeyPresses::press(const osgGA::GUIEventAdapter& event)
{
    HeldKey& held = _held[physicalKey(event)];
    held.key = event.getKey();
    held.unmodifiedKey = event.getUnmodifiedKey();
    held.modifiers = static_cast<unsigned int>(event.getModKeyMask());
}

HeldKey KeyPresses::release(const osgGA::GUIEventAdapter& event)
{
    HeldKey released{event.getKey(), event.getUnmodifiedKey(),
                     static_cast<unsigned int>(event.getModKeyMask())};
    const auto found = _held.find(physicalKey(event));
    if (found != _held.end()) {
        released.key = found->second.key;
        released.unmodifiedKey = found->second.unmodifiedKey;
        released.modifiers |= found->second.modifiers;
        _held.erase(found);
    }
    return released;
}

std::string formatMessage(const char* format, double value)
{
    char buffer[128];
    std::snprintf(buffer, sizeof(buffer), format, value);
    return buffer;
}

std::string formatMessage(const char* format, int value)
{
    char buffer[128];
    std::snprintf(buffer, sizeof(buffer), format, value);
    return buffer;
}

} // namespace Orvana
