#include "messages/Messages.h"

#include <cstdio>
#include <cstdlib>

#include <osg/ref_ptr>

namespace Orvana
{

namespace
{

class StdoutNotifyHandler : public osg::NotifyHandler
{
public:
    void notify(osg::NotifySeverity, const char* message) override
    {
        std::fputs(message, stdout);
        std::fflush(stdout);
    }
};

// osg hands over whatever was buffered up to a flush; it may hold several lines or part of one.
class CaptureNotifyHandler : public osg::NotifyHandler
{
public:
    void notify(osg::NotifySeverity severity, const char* message) override
    {
        for (const char* c = message; *c; ++c) {
            if (*c == '\n') {
                if (!_partial.empty() && _partial.back() == '\r')
                    _partial.pop_back();
                _lines.emplace_back(severity, _partial);
                _partial.clear();
            } else {
                _partial.push_back(*c);
            }
        }
    }

    MessageLines _lines;
    std::string _partial;
};

} // namespace

void installMessageHandler()
{
    osg::setNotifyHandler(new StdoutNotifyHandler);
    if (!std::getenv("OSG_NOTIFY_LEVEL"))
        osg::setNotifyLevel(osg::FATAL);
}

struct MessageCapture::State {
    osg::ref_ptr<osg::NotifyHandler> previousHandler;
    osg::NotifySeverity previousLevel;
    osg::ref_ptr<CaptureNotifyHandler> capture;
};

MessageCapture::MessageCapture() : _state(new State)
{
    _state->previousHandler = osg::getNotifyHandler();
    _state->previousLevel = osg::getNotifyLevel();
    _state->capture = new CaptureNotifyHandler;
    osg::setNotifyHandler(_state->capture.get());
    osg::setNotifyLevel(osg::NOTICE);
}

MessageCapture::~MessageCapture()
{
    osg::notify(osg::ALWAYS).flush();
    osg::setNotifyHandler(_state->previousHandler.get());
    osg::setNotifyLevel(_state->previousLevel);
}

const MessageLines& MessageCapture::lines() const
{
    return _state->capture->_lines;
}

std::vector<std::string> MessageCapture::texts() const
{
    std::vector<std::string> out;
    for (const MessageLine& line : lines())
        out.push_back(line.second);
    return out;
}

void MessageCapture::clear()
{
    _state->capture->_lines.clear();
}

bool MessageCapture::contains(osg::NotifySeverity severity, const std::string& text) const
{
    for (const MessageLine& line : lines())
        if (line.first == severity && line.second == text)
            return true;
    return false;
}

} // namespace Orvana
