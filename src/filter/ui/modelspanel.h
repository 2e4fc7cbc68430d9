#pragma once

#include <QComboBox>
#include <QObject>
#include <QPointer>

class CarModels;
class QAction;
class QWidget;
class Workspace;

// The widgets of the models panel `PanelModels_Select`: a tool bar with the
// brand box `MBrand_List`, the model box `MModel_Lookup` and the button of
// Models_BuildFilter. They mirror the car models' state and hand the user's
// picks to it; the panel's visibility follows the workspace.
class ModelsPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelsPanel)

public:
    static constexpr int ModelListWidth = 300;

    // Fills `panel` (an empty widget with a layout, or none). `buildFilter`
    // and `applyTo` are the window's QActions of Models_BuildFilter and
    // Models_Apply_To; `incrementalSearch` is the price grid's search box,
    // hidden by Models_Panel. Installs the car models when the workspace has
    // none yet. The panel object belongs to `panel`.
    static ModelsPanel *install(QWidget *panel, Workspace &workspace, QAction *buildFilter, QAction *applyTo,
                                QWidget *incrementalSearch = nullptr);

    QComboBox *brandBox() const { return m_brandBox; }
    QComboBox *modelBox() const { return m_modelBox; }

private:
    ModelsPanel(QWidget *panel, Workspace &workspace, CarModels *models);

    void showBrands();
    void showModelBox();
    void brandPicked(int index);
    void modelPicked(int index);
    void report(const QString &text);

    Workspace &m_workspace;
    CarModels *m_models;
    QPointer<QComboBox> m_brandBox;
    QPointer<QComboBox> m_modelBox;
};
