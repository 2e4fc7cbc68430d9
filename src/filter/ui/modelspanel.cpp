#include "modelspanel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include "carmodels.h"
#include "ordixerror.h"
#include "workspace.h"

ModelsPanel *ModelsPanel::install(QWidget *panel, Workspace &workspace, QAction *buildFilter, QAction *applyTo,
                                  QWidget *incrementalSearch)
{
    CarModels *models = CarModels::of(workspace);
    if (!models)
        models = CarModels::install(workspace);

    auto *self = new ModelsPanel(panel, workspace, models);

    auto *bar = new QToolBar(panel);
    bar->setObjectName(QStringLiteral("ToolBarModels"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->addWidget(new QLabel(QStringLiteral(" Марка "), bar));
    self->m_brandBox = new QComboBox(bar);
    self->m_brandBox->setObjectName(QStringLiteral("MBrand_List"));
    self->m_brandBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    self->m_brandBox->setMinimumContentsLength(20);
    bar->addWidget(self->m_brandBox);
    bar->addWidget(new QLabel(QStringLiteral(" Модель "), bar));
    self->m_modelBox = new QComboBox(bar);
    self->m_modelBox->setObjectName(QStringLiteral("MModel_Lookup"));
    self->m_modelBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    self->m_modelBox->setMinimumContentsLength(24);
    self->m_modelBox->view()->setMinimumWidth(ModelListWidth);
    bar->addWidget(self->m_modelBox);
    if (buildFilter) {
        bar->addAction(buildFilter);
        if (auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(buildFilter))) {
            button->setObjectName(QStringLiteral("ButtonModels_BuildFilter"));
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        }
    }
    if (!panel->layout())
        new QHBoxLayout(panel);
    panel->layout()->setContentsMargins(0, 0, 0, 0);
    panel->layout()->addWidget(bar);

    connect(self->m_brandBox, &QComboBox::activated, self, &ModelsPanel::brandPicked);
    connect(self->m_modelBox, &QComboBox::activated, self, &ModelsPanel::modelPicked);
    connect(models, &CarModels::brandsChanged, self, &ModelsPanel::showBrands);
    connect(models, &CarModels::modelBoxChanged, self, &ModelsPanel::showModelBox);

    if (incrementalSearch) {
        QPointer<QWidget> search(incrementalSearch);
        models->setHideIncrementalSearch([search] {
            if (search)
                search->hide();
        });
    }
    if (applyTo) {
        QPointer<QAction> action(applyTo);
        const QIcon offIcon = applyTo->icon();
        connect(models, &CarModels::applyToImageChanged, self, [action, offIcon, panel](int image) {
            if (!action)
                return;
            if (image == CarModels::ApplyToImageOn)
                action->setIcon(QIcon::fromTheme(QStringLiteral("process-stop"),
                                                 panel->style()->standardIcon(QStyle::SP_DialogCancelButton)));
            else
                action->setIcon(offIcon);
        });
    }

    self->showBrands();
    self->showModelBox();
    return self;
}

ModelsPanel::ModelsPanel(QWidget *panel, Workspace &workspace, CarModels *models)
    : QObject(panel)
    , m_workspace(workspace)
    , m_models(models)
{
    setObjectName(QStringLiteral("ModelsPanel"));
}

void ModelsPanel::showBrands()
{
    if (!m_brandBox)
        return;
    QSignalBlocker block(m_brandBox);
    const QStringList &brands = m_models->brands();
    QStringList shown;
    for (int i = 0; i < m_brandBox->count(); ++i)
        shown.append(m_brandBox->itemText(i));
    if (shown != brands) {
        m_brandBox->clear();
        m_brandBox->addItems(brands);
    }
    m_brandBox->setCurrentIndex(m_models->brandIndex());
}

void ModelsPanel::showModelBox()
{
    if (!m_modelBox)
        return;
    QSignalBlocker block(m_modelBox);
    m_modelBox->clear();
    int current = 0;
    const QList<CarModels::ModelItem> items = m_models->modelBoxItems();
    for (int i = 0; i < items.size(); ++i) {
        m_modelBox->addItem(items.at(i).text, items.at(i).key);
        if (items.at(i).key == m_models->modelKey())
            current = i;
    }
    m_modelBox->setCurrentIndex(current);
    m_modelBox->setMaxVisibleItems(m_models->modelBoxDropDownCount());
    m_modelBox->setEnabled(m_models->modelBoxEnabled());
}

void ModelsPanel::brandPicked(int index)
{
    try {
        m_models->brandListChange(index);
    } catch (const OrdixError &error) {
        report(error.message());
    } catch (const std::exception &error) {
        report(QString::fromUtf8(error.what()));
    }
}

void ModelsPanel::modelPicked(int index)
{
    try {
        m_models->setModelKey(m_modelBox->itemData(index).toString());
    } catch (const OrdixError &error) {
        report(error.message());
    } catch (const std::exception &error) {
        report(QString::fromUtf8(error.what()));
    }
}

void ModelsPanel::report(const QString &text)
{
    m_workspace.actions().reportError(text);
}
