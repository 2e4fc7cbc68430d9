#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

// The list of the main window's commands as the logic sees them. Every user
// command and every internal step that other handlers run goes through here:
// running an action evaluates its enabling rule first, and a disabled action
// does nothing and keeps its tag. The window mirrors each entry as a QAction
// with the same object name.
class ActionList final
{
public:
    // The completion marker of actions the user can cancel.
    static constexpr int ActionDone = 1565723;

    struct Action
    {
        QString name;
        QString caption;
        QString hint;          // "tool tip|status text"; without "|" both
        QString shortcut;      // portable text, "Ctrl+O"; several separated by ", "
        bool internal = false; // run by other handlers, never shown
        bool visible = true;
        bool checkable = false;
        bool checked = false;
        int tag = 0;
        std::function<bool()> rule; // empty: always enabled; only reads the state
        // Shows what the rule answered (a hint, a check mark) each time it is
        // asked; empty: nothing to show.
        std::function<void(bool enabled)> follow;
        std::function<void()> handler; // empty: does nothing

        QString toolTip() const;
        QString statusText() const;
    };

    ActionList();
    ~ActionList();

    ActionList(const ActionList &) = delete;
    ActionList &operator=(const ActionList &) = delete;

    // Adds an action; the name must be new.
    Action &add(const QString &name, const QString &caption, const QString &hint = QString(),
                const QString &shortcut = QString());
    Action *find(const QString &name);
    const Action *find(const QString &name) const;
    // Throws OrdixError for an unknown name.
    Action &get(const QString &name);
    const Action &get(const QString &name) const;
    QStringList names() const; // in the order added

    void setHandler(const QString &name, std::function<void()> handler);
    void setRule(const QString &name, std::function<bool()> rule);

    // Evaluates the rule now.
    bool isEnabled(const QString &name) const;
    // Runs the action when its rule allows; returns whether it ran. Errors of
    // the handler propagate to the caller.
    bool execute(const QString &name);
    // As execute(), but catches every error and hands its text to the error
    // report: the boundary of a user's command.
    bool run(const QString &name);

    int tag(const QString &name) const;
    void setTag(const QString &name, int tag);
    bool isDone(const QString &name) const { return tag(name) == ActionDone; }

    void setCaption(const QString &name, const QString &caption);
    void setHint(const QString &name, const QString &hint);
    void setVisible(const QString &name, bool visible);
    void setChecked(const QString &name, bool checked);

    // Called with the action's name after caption, hint, visibility or check
    // state changed, so the window can update its QAction.
    void setChangeListener(std::function<void(const QString &)> listener);
    // The application error report: receives the text of every error that a
    // user's command did not handle.
    void setErrorReport(std::function<void(const QString &)> report);
    void reportError(const QString &text);

private:
    void changed(const QString &name);
    // The rule's answer, with the action's follower told.
    static bool evaluate(const Action &action);

    std::vector<std::unique_ptr<Action>> m_actions;
    QHash<QString, Action *> m_byName;
    std::function<void(const QString &)> m_changeListener;
    std::function<void(const QString &)> m_errorReport;
};
