#include "pricefilter.h"

#include <QScopeGuard>

#include "actionid.h"
#include "pricefields.h"
#include "recordtable.h"
#include "workspace.h"

PriceFilter::PriceFilter(Workspace &workspace)
    : QObject(&workspace)
    , m_workspace(workspace)
{
    setObjectName(QStringLiteral("PriceFilter"));
}

PriceFilter *PriceFilter::install(Workspace &workspace)
{
    PriceFilter *filter = of(workspace);
    if (!filter)
        filter = new PriceFilter(workspace);
    ActionList &actions = workspace.actions();
    actions.setHandler(ActionId::FilterCreate, [filter] { filter->filterCreate(); });
    actions.setHandler(ActionId::FilterQ, [filter] { filter->filterQ(); });
    actions.setHandler(ActionId::FilterPrice, [filter] { filter->filterPrice(); });
    filter->refreshStatusLabel();
    return filter;
}

PriceFilter *PriceFilter::of(const Workspace &workspace)
{
    return workspace.findChild<PriceFilter *>(QStringLiteral("PriceFilter"), Qt::FindDirectChildrenOnly);
}

void PriceFilter::applyPriceFilter()
{
    Workspace::FilterState state = m_workspace.filter();
    const QString model = state.modelActive ? state.modelCondition : QString();
    const QString price = state.priceActive ? state.priceCondition : QString();

    QString expression;
    if (!model.isEmpty() && !price.isEmpty())
        expression = QLatin1Char('(') + model + QStringLiteral(") and (") + price + QLatin1Char(')');
    else
        expression = model.isEmpty() ? price : model;

    RecordTable &table = m_workspace.price();
    bool filtered = false;
    if (table.isActive()) {
        const int codeField = PriceFields::find(table, PriceFields::Code);
        QString code;
        if (codeField >= 0 && table.rowCount() > 0)
            code = table.asString(codeField);

        table.suspendViews();
        {
            auto resume = qScopeGuard([&table] { table.resumeViews(); });
            table.setFiltered(false);
            table.setFilter(expression);
            if (!expression.isEmpty()) {
                try {
                    table.setFiltered(true);
                } catch (...) {
                    // A refused expression leaves the list unfiltered.
                    if (table.isFiltered())
                        table.setFiltered(false);
                }
            }
            filtered = table.isFiltered();
            state.priceActive = !price.isEmpty() && filtered;
            state.modelActive = !model.isEmpty() && filtered;
            m_workspace.setFilter(state);
            refreshStatusLabel();

            if (!code.isEmpty()) {
                try {
                    table.locate(PriceFields::name(PriceFields::Code), code);
                } catch (...) {
                    // The first row of the new view stays current.
                }
            }
        }
    } else {
        // Without a price list the conditions wait for the next one.
        filtered = !expression.isEmpty();
        state.priceActive = !price.isEmpty() && filtered;
        state.modelActive = !model.isEmpty() && filtered;
        m_workspace.setFilter(state);
        refreshStatusLabel();
    }
    if (m_sideBarRefresh)
        m_sideBarRefresh();
    emit applied();
}

void PriceFilter::refreshStatusLabel()
{
    const Workspace::FilterState &state = m_workspace.filter();
    QStringList applied;
    if (state.priceActive) {
        const int score = m_builder.conditionScore();
        if (score >= 10)
            applied.append(QStringLiteral("по условию"));
        if (score % 2 == 1)
            applied.append(QStringLiteral("по наличию"));
    }
    if (state.modelActive)
        applied.append(QStringLiteral("по моделям"));

    if (applied.isEmpty()) {
        m_workspace.setLabel(Workspace::Label::FilterStatus, QString());
        m_workspace.setLabel(Workspace::Label::FilterStatusHint, QStringLiteral("Фильтры не применены"));
    } else {
        m_workspace.setLabel(Workspace::Label::FilterStatus,
                             QStringLiteral("Применено фильтров: ") + QString::number(applied.size()));
        m_workspace.setLabel(Workspace::Label::FilterStatusHint,
                             QStringLiteral("Применены фильтры: ") + applied.join(QStringLiteral(", ")));
    }
}

void PriceFilter::filterCreate()
{
    const bool keep = m_dialogRunner ? m_dialogRunner() : true;
    Workspace::FilterState state = m_workspace.filter();
    if (keep) {
        state.priceCondition = m_builder.dialogFilterText();
        state.priceActive = true;
    } else {
        state.priceActive = false;
    }
    m_workspace.setFilter(state);
    applyPriceFilter();
}

void PriceFilter::filterQ()
{
    const QString selected = m_selectedField ? m_selectedField() : QString();
    const RecordTable &table = m_workspace.price();
    const bool haveRow = table.isActive() && table.rowCount() > 0;
    const auto value = [&](const QString &name) {
        const int position = haveRow ? table.findField(name) : -1;
        return position >= 0 ? table.asString(position) : QString();
    };

    QString text;
    QChar separator = QLatin1Char(',');
    int mode = FilterDialogState::AnyWord;
    bool numeric = false;
    QString field;
    if (PriceFields::is(selected, PriceFields::Group)) {
        field = PriceFields::name(PriceFields::Group);
    } else if (PriceFields::is(selected, PriceFields::CatalogID)) {
        field = PriceFields::name(PriceFields::CatalogID);
        separator = QLatin1Char(' ');
        mode = FilterDialogState::ExactPhrase;
    } else if (PriceFields::is(selected, PriceFields::Name)) {
        field = PriceFields::name(PriceFields::Name);
        separator = QLatin1Char(' ');
    } else if (PriceFields::is(selected, PriceFields::ProductionOf)) {
        field = PriceFields::name(PriceFields::ProductionOf);
    }

    if (!field.isEmpty()) {
        text = value(field);
    } else {
        // The quick filter has always spelled the code field so.
        field = QStringLiteral("Code");
        numeric = true;
        text = analogueList(value(field), value(PriceFields::name(PriceFields::Analogue)));
    }

    Workspace::FilterState state = m_workspace.filter();
    state.priceCondition = m_builder.buildFilterText(text, separator, mode, true, numeric, field);
    state.priceActive = true;
    m_workspace.setFilter(state);
    applyPriceFilter();
}

void PriceFilter::filterPrice()
{
    Workspace::FilterState state = m_workspace.filter();
    state.priceActive = !state.priceActive;
    m_workspace.setFilter(state);
    applyPriceFilter();
    showFilterPriceCaption();
}

void PriceFilter::showFilterPriceCaption()
{
    m_workspace.actions().setCaption(ActionId::FilterPrice,
                                     m_workspace.filter().priceActive ? QStringLiteral("Отменить фильтр")
                                                                      : QStringLiteral("Применить фильтр"));
}

void PriceFilter::applyToNewList()
{
    const Workspace::FilterState &state = m_workspace.filter();
    if ((state.priceActive || state.modelActive) && !m_workspace.price().isFiltered())
        applyPriceFilter();
    showFilterPriceCaption();
}

QString PriceFilter::analogueList(const QString &code, const QString &analogue)
{
    if (analogue.isEmpty())
        return code + QLatin1Char(',');
    if (analogue.startsWith(QLatin1Char(',')))
        return code + analogue;
    if (analogue.endsWith(QLatin1Char(',')))
        return analogue + code;
    return code + QLatin1Char(',') + analogue;
}
