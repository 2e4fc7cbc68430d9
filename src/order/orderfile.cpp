#include "orderfile.h"

#include <QDir>

#include "actionlist.h"
#include "gridposition.h"
#include "orderreader.h"
#include "orderrecovery.h"
#include "ordertable.h"
#include "orderwriter.h"
#include "safefilename.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    const QString SaveAction = QStringLiteral("OrderFileSave");

    UserPrompts::FileDialog orderDialog(const QString &title, const QString &fileName)
    {
        UserPrompts::FileDialog dialog;
        dialog.title = title;
        dialog.filter = QStringLiteral("Файл заказа (*.txt)|*.txt");
        dialog.defaultExtension = QStringLiteral("txt");
        dialog.fileName = fileName;
        dialog.overwritePrompt = true;
        return dialog;
    }
}

QString OrderFile::proposedName(const QString &customer, const QDate &date)
{
    return MakeSafeFileName(QStringLiteral("order ") + customer + QLatin1Char(' ') + TextFile::shortDate(date)
                            + QStringLiteral(".txt"));
}

void OrderFile::save(Workspace &workspace)
{
    ActionList &actions = workspace.actions();
    actions.setTag(SaveAction, 0);

    if (workspace.orderFileName.isEmpty()) {
        const QString proposed = proposedName(workspace.settings().customer, QDate::currentDate());
        const QString path = workspace.prompts().saveFile(orderDialog(QStringLiteral("Сохранить файл заказа"), proposed));
        if (path.isEmpty())
            return;
        workspace.orderFileName = path;
    }

    QStringList lines;
    OrderWriter::write(workspace, lines, OrderWriter::Form::File);
    // Replaces the file in one step: a failed write throws and leaves the
    // old file whole and the order in its changed state.
    TextFile::writeLines(workspace.orderFileName, lines);

    workspace.orderChanged = false;
    if (OrderRecovery *recovery = OrderRecovery::find(workspace))
        recovery->discard();
    actions.setTag(SaveAction, ActionList::ActionDone);
    workspace.setLabel(Workspace::Label::OrderTitle, OrderTable::titleFor(workspace.orderFileName));
    workspace.setLabel(Workspace::Label::Status,
                       QStringLiteral("Заказ сохранён: ") + QDir::toNativeSeparators(workspace.orderFileName));
}

void OrderFile::saveAs(Workspace &workspace)
{
    const QString remembered = workspace.orderFileName;
    workspace.orderFileName.clear();
    try {
        workspace.execute(SaveAction);
    } catch (...) {
        if (workspace.orderFileName.isEmpty())
            workspace.orderFileName = remembered;
        throw;
    }
    if (workspace.orderFileName.isEmpty())
        workspace.orderFileName = remembered;
}

QString OrderFile::askFileToOpen(Workspace &workspace)
{
    UserPrompts::FileDialog dialog = orderDialog(QStringLiteral("Открыть файл заказа"), QString());
    dialog.overwritePrompt = false;
    return workspace.prompts().openFile(dialog);
}

QString OrderFile::loadedText(int skipped)
{
    QString status = QStringLiteral("Заказ загружен");
    if (skipped > 0)
        status += QStringLiteral(". Пропущено строк с ошибками: %1").arg(skipped);
    return status;
}

int OrderFile::read(Workspace &workspace, const QString &path)
{
    // Read first: a file that cannot be read leaves no order pointing at it.
    const QStringList lines = TextFile::readLines(path);
    int skipped = 0;
    const QList<OrderReader::Item> items = OrderReader::parse(lines, workspace.settings().priceSeparator, &skipped);

    OrderTable::startNew(workspace);
    workspace.orderFileName = path;
    RecordTable &table = workspace.order();
    {
        const GridFreeze freeze(workspace, Workspace::Grid::Order);
        skipped += int(items.size()) - OrderReader::append(workspace, items);
    }
    workspace.orderChanged = false;
    table.first();
    workspace.orderTotal = 0;
    OrderTable::showOrderSum(workspace);
    workspace.setLabel(Workspace::Label::OrderTitle, OrderTable::titleFor(path));
    workspace.setLabel(Workspace::Label::Status, loadedText(skipped));
    return skipped;
}
