#include "enablingrules.h"

#include "actionid.h"
#include "workspace.h"

namespace EnablingRules
{
    bool EnabledWhilePriceIsOpen(const Workspace &ws)
    {
        return ws.priceOpen();
    }

    bool EnabledWhileOrderIsOpen(const Workspace &ws)
    {
        return ws.orderOpen();
    }

    bool EnabledWhilePriceIsNotEmpty(const Workspace &ws)
    {
        return ws.priceNotEmpty();
    }

    bool EnabledWhileOrderIsNotEmpty(const Workspace &ws)
    {
        return ws.orderNotEmpty();
    }

    bool EnabledWhileBothNotEmpty(const Workspace &ws)
    {
        if (!ws.orderNotEmpty())
            return false;
        // Coordination looks parts up in the whole list: a filter that
        // hides every row leaves it enabled while the list has rows at all.
        const RecordTable &price = ws.price();
        return ws.priceNotEmpty() || (price.isActive() && price.isFiltered() && price.storedRowCount() > 0);
    }

    bool PriceDownloadNew_Update(const Workspace &ws)
    {
        return !ws.settings().url.isEmpty();
    }

    bool FilterPriceUpdate(const Workspace &ws)
    {
        return !ws.filter().priceCondition.isEmpty();
    }

    bool EnableWhileMSAActive(Workspace &ws)
    {
        return ws.models().isActive() || ws.modelsAsg().isActive();
    }

    bool EnableWhileMSANotEmpty(Workspace &ws)
    {
        return ws.models().isActive() && ws.models().rowCount() > 0 && ws.modelsAsg().isActive()
            && ws.modelsAsg().rowCount() > 0;
    }

    bool Models_BuildFilterUpdate(Workspace &ws)
    {
        return ws.actions().isEnabled(ActionId::Models_Apply_To) && ws.price().isActive()
            && (ws.price().rowCount() > 0 || ws.price().isFiltered());
    }
}
