#include "applicationwindows.h"

#include <QApplication>

#include "about.h"
#include "addtoorder.h"
#include "catalogmenu.h"
#include "desktoplinks.h"
#include "filter.h"
#include "listrep.h"
#include "gridcontroller.h"
#include "main.h"
#include "ordergui.h"
#include "qtprompts.h"
#include "programicon.h"
#include "progress.h"
#include "props.h"
#include "runcatalog.h"
#include "windowretirement.h"

ApplicationWindows::ApplicationWindows()
    : m_mainForm(std::make_unique<TMakeOrderForm>())
    , m_addToOrderForm(std::make_unique<TAddToOrderForm>(m_mainForm.get()))
    , m_aboutBox(std::make_unique<TAboutBox>(m_mainForm.get()))
    , m_propertiesDlg(std::make_unique<TPropertiesDlg>(m_mainForm.get()))
    , m_listForm(std::make_unique<TListForm>(m_mainForm.get()))
    , m_progressDialog(std::make_unique<TProgressDialog>(m_mainForm.get()))
    , m_filterDialog(std::make_unique<TFilterDialog>(m_mainForm.get()))
{
    // Every window of the program shows the program's icon.
    QApplication::setWindowIcon(ProgramIcon::icon());
    m_mainForm->setPropertiesDialog(m_propertiesDlg.get());
    m_mainForm->setProgressDialog(m_progressDialog.get());

    Workspace &ws = m_mainForm->workspace();
    TAddToOrderForm *quantityDialog = m_addToOrderForm.get();
    m_mainForm->qtPrompts().setQuantityDialog(
        [quantityDialog](const UserPrompts::QuantityRequest &request, int *quantity) {
            return quantityDialog->ask(request, quantity);
        });
    GridController *priceGrid = m_mainForm->priceGridController();
    OrderGui::install(ws, priceGrid, m_mainForm->orderGridController());
    m_filterDialog->attach(ws,
                           {[priceGrid] { return priceGrid->selectedColumn(); },
                            [priceGrid] { return priceGrid->selectedFieldName(); },
                            [priceGrid] { priceGrid->layoutSideBar(); }});
    m_listForm->installActions(ws);
    DesktopLinks::installActions(ws, m_aboutBox.get());
    TMakeOrderForm *form = m_mainForm.get();
    CatalogMenu *catalog =
        CatalogMenu::install(ws, {form, form->catalogMenu(), form->showItemAction(), quantityDialog});
    QObject::connect(form, &TMakeOrderForm::firstActivated, catalog, &CatalogMenu::attach);
    QObject::connect(form, &TMakeOrderForm::closing, &catalog->host(), &RunCatalog::unload);
}

ApplicationWindows::~ApplicationWindows()
{
    // Hidden first, and gone only once the window system is done with them.
    WindowRetirement::settle({m_filterDialog.get(), m_progressDialog.get(), m_propertiesDlg.get(), m_aboutBox.get(),
                              m_addToOrderForm.get(), m_mainForm.get()});
}
