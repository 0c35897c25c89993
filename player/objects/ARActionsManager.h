#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Orvana
{

class ARAction;
class ARObjectDirectory;
class ARObject;

// Creates, owns and resolves the actions of one object.
class ARActionsManager
{
public:
    explicit ARActionsManager(ARObject* owner);
    ~ARActionsManager();
    ARActionsManager(const ARActionsManager&) = delete;
    ARActionsManager& operator=(const ARActionsManager&) = delete;

    // A new action for the command word (exact, case-sensitive); null with a warning when the word
    // is not a command. The caller hands it to add().
    std::unique_ptr<ARAction> create(const std::string& command) const;
    // Takes ownership; returns the action.
    ARAction* add(std::unique_ptr<ARAction> action);

    void setApplication(ARObjectDirectory* application) { _application = application; }
    ARObjectDirectory* getApplication() const { return _application; }
    ARObject* getOwner() const { return _owner; }

    // False without an application; otherwise every action's init, in creation order.
    bool resolveAll();
    // The owner for "_self_", else the application's first object of that name; null when none.
    ARObject* resolve(const std::string& name) const;

    const std::map<std::string, int>& getCommands() const { return _commands; }
    const std::vector<std::unique_ptr<ARAction>>& getActions() const { return _actions; }

private:
    ARObjectDirectory* _application = nullptr;
    ARObject* _owner;
    std::map<std::string, int> _commands;
    std::vector<std::unique_ptr<ARAction>> _actions;
};

} // namespace Orvana
