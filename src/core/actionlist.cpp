#include "actionlist.h"

#include <exception>

#include "ordixerror.h"

QString ActionList::Action::toolTip() const
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.left(bar);
}

QString ActionList::Action::statusText() const
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}

ActionList::ActionList() = default;
ActionList::~ActionList() = default;

ActionList::Action &ActionList::add(const QString &name, const QString &caption, const QString &hint,
                                    const QString &shortcut)
{
    if (m_byName.contains(name))
        throw OrdixError(QStringLiteral("Action %1 is defined twice").arg(name));
    auto action = std::make_unique<Action>();
    action->name = name;
    action->caption = caption;
    action->hint = hint;
    action->shortcut = shortcut;
    Action *raw = action.get();
    m_actions.push_back(std::move(action));
    m_byName.insert(name, raw);
    return *raw;
}

ActionList::Action *ActionList::find(const QString &name)
{
    return m_byName.value(name, nullptr);
}

const ActionList::Action *ActionList::find(const QString &name) const
{
    return m_byName.value(name, nullptr);
}

ActionList::Action &ActionList::get(const QString &name)
{
    Action *action = find(name);
    if (!action)
        throw OrdixError(QStringLiteral("Action %1 not found").arg(name));
    return *action;
}

const ActionList::Action &ActionList::get(const QString &name) const
{
    const Action *action = find(name);
    if (!action)
        throw OrdixError(QStringLiteral("Action %1 not found").arg(name));
    return *action;
}

QStringList ActionList::names() const
{
    QStringList result;
    result.reserve(qsizetype(m_actions.size()));
    for (const auto &action : m_actions)
        result.append(action->name);
    return result;
}

void ActionList::setHandler(const QString &name, std::function<void()> handler)
{
    get(name).handler = std::move(handler);
}

void ActionList::setRule(const QString &name, std::function<bool()> rule)
{
    get(name).rule = std::move(rule);
}

bool ActionList::isEnabled(const QString &name) const
{
    return evaluate(get(name));
}

bool ActionList::evaluate(const Action &action)
{
    const bool enabled = !action.rule || action.rule();
    if (action.follow)
        action.follow(enabled);
    return enabled;
}

bool ActionList::execute(const QString &name)
{
    Action &action = get(name);
    if (!evaluate(action))
        return false;
    if (action.handler)
        action.handler();
    return true;
}

bool ActionList::run(const QString &name)
{
    try {
        return execute(name);
    } catch (const OrdixError &error) {
        reportError(error.message());
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
    }
    return true;
}

int ActionList::tag(const QString &name) const
{
    return get(name).tag;
}

void ActionList::setTag(const QString &name, int tag)
{
    get(name).tag = tag;
}

void ActionList::setCaption(const QString &name, const QString &caption)
{
    Action &action = get(name);
    if (action.caption == caption)
        return;
    action.caption = caption;
    changed(name);
}

void ActionList::setHint(const QString &name, const QString &hint)
{
    Action &action = get(name);
    if (action.hint == hint)
        return;
    action.hint = hint;
    changed(name);
}

void ActionList::setVisible(const QString &name, bool visible)
{
    Action &action = get(name);
    if (action.visible == visible)
        return;
    action.visible = visible;
    changed(name);
}

void ActionList::setChecked(const QString &name, bool checked)
{
    Action &action = get(name);
    if (action.checked == checked)
        return;
    action.checked = checked;
    changed(name);
}

void ActionList::setChangeListener(std::function<void(const QString &)> listener)
{
    m_changeListener = std::move(listener);
}

void ActionList::setErrorReport(std::function<void(const QString &)> report)
{
    m_errorReport = std::move(report);
}

void ActionList::reportError(const QString &text)
{
    if (m_errorReport)
        m_errorReport(text);
}

void ActionList::changed(const QString &name)
{
    if (m_changeListener)
        m_changeListener(name);
}
