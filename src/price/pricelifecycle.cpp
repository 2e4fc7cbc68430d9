#include "pricelifecycle.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "actionid.h"
#include "gridposition.h"
#include "inordermark.h"
#include "pricecompare.h"
#include "pricesearch.h"
#include "priceloader.h"
#include "schemafile.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    constexpr int AvailabilityField = 0;
}

void PriceLifecycle::installActions(Workspace &workspace)
{
    ActionList &actions = workspace.actions();
    Workspace *ws = &workspace;
    actions.setHandler(ActionId::PriceFileOpen, [ws] { priceFileOpen(*ws); });
    actions.setHandler(ActionId::PriceFileOpenSpecial, [ws] { priceFileOpenSpecial(*ws); });
    actions.setHandler(ActionId::PriceDataOpen, [ws] { priceDataOpen(*ws); });
    actions.setHandler(ActionId::PriceClose, [ws] { priceClose(*ws); });
    actions.setHandler(ActionId::RestorePriceData, [ws] { restorePriceData(*ws); });
    actions.setHandler(ActionId::InitializePriceDataSet, [ws] { PriceLoader::initializePriceDataSet(*ws); });
    actions.setHandler(ActionId::ComparePrices, [ws] { PriceCompare::comparePrices(*ws); });
    workspace.setPriceLoader(
        [ws](const QString &primary, const QString &fallback) { PriceLoader::loadPriceList(*ws, primary, fallback); });
}

void PriceLifecycle::priceFileOpen(Workspace &workspace)
{
    PriceLoader::loadPriceList(workspace, PriceLoader::defaultFileName(), PriceLoader::defaultOldFileName());
}

void PriceLifecycle::priceFileOpenSpecial(Workspace &workspace)
{
    int &priceMode = workspace.settings().priceMode;
    const int remembered = priceMode;
    const auto restore = qScopeGuard([&priceMode, remembered] { priceMode = remembered; });
    priceMode = 2;
    const QString primary =
        workspace.priceFileName().isEmpty() ? PriceLoader::defaultFileName() : workspace.priceFileName();
    PriceLoader::loadPriceList(workspace, primary, QString());
}

void PriceLifecycle::priceDataOpen(Workspace &workspace)
{
    PriceLoader::loadPriceList(workspace, QString(), QString());
}

void PriceLifecycle::priceClose(Workspace &workspace)
{
    RecordTable &table = workspace.price();
    if (!table.isActive())
        return;

    workspace.setPanelVisible(Workspace::Panel::Price, false);
    workspace.execute(ActionId::PanelOrderPosition);
    if (PriceSearch *search = PriceSearch::of(workspace))
        search->priceClosed();

    table.setFiltered(false);
    table.setFilter(QString());
    table.first();
    table.empty();
    table.setIndexName(QString());
    table.clearIndexDefs();
    table.close();
    SchemaFile::remove(PriceLoader::schemaFileName());
    workspace.grid(Workspace::Grid::Price).clear();
    workspace.gridColumnsRebuilt(Workspace::Grid::Price);

    // A default list loaded by its bare name and a day old or more becomes
    // the old list that the next comparison finds.
    const QString current = PriceLoader::defaultFileName();
    if (workspace.priceFileName().toUpper() == current && QFileInfo(current).isFile()) {
        const QDateTime modified = TextFile::fileDateTime(current);
        if (modified.addDays(1) < QDateTime::currentDateTime()) {
            const QString old = PriceLoader::defaultOldFileName();
            if (QFileInfo::exists(old))
                QFile::remove(old);
            QFile::rename(current, old);
        }
    }

    workspace.execute(ActionId::DeletePricesInOrder);
    workspace.setPriceFileName(QString());
    workspace.setOldPriceFileName(QString());
}

void PriceLifecycle::restorePriceData(Workspace &workspace)
{
    RecordTable &table = workspace.price();
    GridFreeze freeze(workspace, Workspace::Grid::Price);
    const bool wasFiltered = table.isFiltered();
    const QString oldFilter = table.filter();
    const auto restore = qScopeGuard([&] {
        table.setFiltered(false);
        table.setFilter(oldFilter);
        if (wasFiltered) {
            try {
                table.setFiltered(true);
            } catch (...) {
                // The user's filter parsed before; nothing to report here.
            }
        }
    });
    table.setFiltered(false);
    table.setFilter(Availability::inOrderCondition());
    table.setFiltered(true);
    table.first();
    while (!table.atEnd()) {
        table.edit();
        table.setInteger(AvailabilityField, Availability::withoutInOrder(table.asInteger(AvailabilityField)));
        table.post();
    }
}
