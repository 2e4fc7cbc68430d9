#pragma once

#include <QAction>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>

class CarModels;
class Workspace;

// "Применяемость" in the price grid's context menu `PopupMenu1`: the submenu
// `PUM_Models` with the fixed entry "- НЕТ -" (`PUM_none`) and the separator
// `PUM_ModelsLine` after it. Every opening of the context menu rebuilds the
// entries for the current part; choosing one filters the price list by that
// model.
class ApplicabilityMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ApplicabilityMenu)

public:
    // Uses the submenu, entry and separator of `popupMenu` when it has them
    // (by name), otherwise adds them at its top. Installs the car models when
    // the workspace has none yet. The object belongs to `popupMenu`.
    static ApplicabilityMenu *install(QMenu *popupMenu, Workspace &workspace);

    QMenu *modelsMenu() const { return m_modelsMenu; }
    QAction *noneEntry() const { return m_none; }
    QAction *separator() const { return m_line; }
    // The entries made by the last opening, in order.
    QList<QAction *> entries() const;

private:
    ApplicabilityMenu(QMenu *popupMenu, Workspace &workspace, CarModels *models);

    void rebuild();
    void choose(const QString &entryName);

    Workspace &m_workspace;
    CarModels *m_models;
    QPointer<QMenu> m_popupMenu;
    QPointer<QMenu> m_modelsMenu;
    QPointer<QAction> m_none;
    QPointer<QAction> m_line;
    QList<QPointer<QAction>> m_entries;
};
