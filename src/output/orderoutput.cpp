#include "orderoutput.h"

#include "actionid.h"
#include "textexport.h"
#include "workspace.h"
#include "xl_work.h"

void OrderOutput::installActions(Workspace &workspace)
{
    ActionList &actions = workspace.actions();
    Workspace *ws = &workspace;
    actions.setHandler(ActionId::ExportExcel, [ws] { XL_Work::ExportExcelExecute(*ws); });
    actions.setHandler(ActionId::ExportText, [ws] { TextExport::ExportTextExecute(*ws); });
    actions.setCaption(ActionId::ExportExcel, QStringLiteral("В формат MS Excel (xlsx)"));
    actions.setVisible(ActionId::ExportExcel, XL_Work::SpreadsheetInstalled());
}
