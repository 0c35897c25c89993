#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <osg/Notify>

namespace Orvana
{

// Every program calls this first: each message line goes to standard output and is flushed at
// once, and only fatal lines are shown unless the user set OSG_NOTIFY_LEVEL.
void installMessageHandler();

// Lines a program wrote through osg::notify, each with its severity.
using MessageLine = std::pair<osg::NotifySeverity, std::string>;
using MessageLines = std::vector<MessageLine>;

// While alive, collects every message line (threshold raised to NOTICE) instead of printing it;
// restores the previous handler and threshold when destroyed.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    const MessageLines& lines() const;
    std::vector<std::string> texts() const;
    void clear();

    // True when some line equals text exactly, at the given severity.
    bool contains(osg::NotifySeverity severity, const std::string& text) const;

private:
    struct State;
    std::unique_ptr<State> _state;
};

} // namespace Orvana
