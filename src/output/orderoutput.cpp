#include "orderoutput.h"

#include "textexport.h"
#include "workspace.h"
#include "xl_work.h"

void OrderOutput::installActions(Workspace &workspace)
{
    ActionList &actions = workspace.actions();
    Workspace *ws = &workspace;
    actions.setHandler(QStringLiteral("ExportExcel"), [ws] { XL_Work::ExportExcelExecute(*ws); });
    actions.setHandler(QStringLiteral("ExportText"), [ws] { TextExport::ExportTextExecute(*ws); });
    actions.setCaption(QStringLiteral("ExportExcel"), QStringLiteral("В формат MS Excel (xlsx)"));
    actions.setVisible(QStringLiteral("ExportExcel"), XL_Work::SpreadsheetInstalled());
}
