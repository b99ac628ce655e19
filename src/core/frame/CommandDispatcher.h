#pragma once

#include <functional>
#include <vector>

namespace zandel {

// One owner's commands: the handler of each id it carries out, bound where the owner is built. A command that
// needs idle (cmdflag::kNeedsIdle) does nothing while the owner says it is busy: the run holds the list.
class CommandBindings final {
public:
    explicit CommandBindings(std::function<bool()> busy = {});

    void Bind(int id, std::function<void()> handler);
    // A run-time range (recent files, favourites): the handler is given the id and says whether it acted.
    void BindRange(int first, int last, std::function<bool(int id)> handler);

    bool Handles(int id) const;
    // False when the id is not bound here; true for a command swallowed while busy.
    bool Run(int id) const;

private:
    struct Binding {
        int first;
        int last;
        std::function<bool(int id)> handler;
    };
    const Binding* Find(int id) const;

    std::function<bool()> m_busy;
    std::vector<Binding> m_bindings;
};

// Where a command was chosen: the main window's menu bar, toolbar, keys and bars, or a popup (the list's
// context menu, the notification-area menu).
enum class CommandChooser { Window, Popup };

// The one place a chosen command goes: it finds the owner that bound the id and follows the command's flags
// (bring the window back first, run now or once the choosing command has returned).
class CommandDispatcher final {
public:
    using Post = std::function<void(std::function<void()> later)>;
    // `post` runs its argument once the current event is done; `restore` brings the main window back.
    CommandDispatcher(Post post, std::function<void()> restore);

    // `after` runs after each command of this owner that was carried out (e.g. the recent files changed).
    void Add(const CommandBindings& owner, std::function<void()> after = {});
    // The owner is going: its commands do nothing from now on, queued ones included.
    void Remove(const CommandBindings& owner);

    // False when no owner has bound the id.
    bool Dispatch(int id, CommandChooser chooser);
    bool IsBound(int id) const;

private:
    struct Owner {
        const CommandBindings* bindings;
        std::function<void()> after;
    };
    bool RunNow(int id);
    const Owner* Find(int id) const;

    Post m_post;
    std::function<void()> m_restore;
    std::vector<Owner> m_owners;
};

} // namespace zandel
