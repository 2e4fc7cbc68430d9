#include "applicabilitymenu.h"

#include <QAction>
#include <QMenu>

#include "carmodels.h"
#include "ordixerror.h"
#include "workspace.h"

ApplicabilityMenu *ApplicabilityMenu::install(QMenu *popupMenu, Workspace &workspace)
{
    CarModels *models = CarModels::of(workspace);
    if (!models)
        models = CarModels::install(workspace);

    auto *self = new ApplicabilityMenu(popupMenu, workspace, models);
    self->m_modelsMenu = popupMenu->findChild<QMenu *>(QStringLiteral("PUM_Models"));
    QAction *first = popupMenu->actions().value(0);
    if (!self->m_modelsMenu) {
        auto *menu = new QMenu(QStringLiteral("Применяемость"), popupMenu);
        menu->setObjectName(QStringLiteral("PUM_Models"));
        popupMenu->insertMenu(first, menu);
        self->m_modelsMenu = menu;
    }
    self->m_none = self->m_modelsMenu->findChild<QAction *>(QStringLiteral("PUM_none"));
    if (!self->m_none) {
        auto *none = new QAction(CarModels::noModelsText(), self->m_modelsMenu);
        none->setObjectName(QStringLiteral("PUM_none"));
        self->m_modelsMenu->addAction(none);
        self->m_none = none;
    }
    self->m_none->setEnabled(false);
    for (QAction *action : popupMenu->actions()) {
        if (action->objectName() == QLatin1String("PUM_ModelsLine"))
            self->m_line = action;
    }
    if (!self->m_line) {
        QAction *afterMenu = nullptr;
        const QList<QAction *> actions = popupMenu->actions();
        const qsizetype at = actions.indexOf(self->m_modelsMenu->menuAction());
        if (at >= 0 && at + 1 < actions.size())
            afterMenu = actions.at(at + 1);
        QAction *line = popupMenu->insertSeparator(afterMenu);
        line->setObjectName(QStringLiteral("PUM_ModelsLine"));
        self->m_line = line;
    }

    connect(popupMenu, &QMenu::aboutToShow, self, [self] { self->m_models->popupMenuPopup(); });
    connect(models, &CarModels::subMenuChanged, self, &ApplicabilityMenu::rebuild);
    self->rebuild();
    return self;
}

ApplicabilityMenu::ApplicabilityMenu(QMenu *popupMenu, Workspace &workspace, CarModels *models)
    : QObject(popupMenu)
    , m_workspace(workspace)
    , m_models(models)
    , m_popupMenu(popupMenu)
{
    setObjectName(QStringLiteral("ApplicabilityMenu"));
}

QList<QAction *> ApplicabilityMenu::entries() const
{
    QList<QAction *> result;
    for (const QPointer<QAction> &entry : m_entries) {
        if (entry)
            result.append(entry);
    }
    return result;
}

void ApplicabilityMenu::rebuild()
{
    if (!m_modelsMenu || !m_none || !m_line)
        return;
    for (const QPointer<QAction> &entry : std::as_const(m_entries)) {
        if (entry) {
            m_modelsMenu->removeAction(entry);
            entry->deleteLater();
        }
    }
    m_entries.clear();

    for (const CarModels::MenuEntry &entry : m_models->subMenuEntries()) {
        auto *action = new QAction(entry.caption, m_modelsMenu);
        action->setObjectName(entry.name);
        const QString name = entry.name;
        connect(action, &QAction::triggered, this, [this, name] { choose(name); });
        m_modelsMenu->addAction(action);
        m_entries.append(action);
    }
    m_none->setVisible(m_models->noneEntryVisible());
    m_modelsMenu->menuAction()->setEnabled(m_models->applicabilityEnabled());
    m_modelsMenu->menuAction()->setVisible(m_models->applicabilityVisible());
    m_line->setVisible(m_models->applicabilityVisible());
}

void ApplicabilityMenu::choose(const QString &entryName)
{
    try {
        m_models->selectModelEntry(entryName);
    } catch (const OrdixError &error) {
        m_workspace.actions().reportError(error.message());
    } catch (const std::exception &error) {
        m_workspace.actions().reportError(QString::fromUtf8(error.what()));
    }
}
