#include "carmodels.h"

#include <memory>

#include <QFileInfo>
#include <QScopeGuard>

#include "actionid.h"
#include "ordixerror.h"
#include "pricefields.h"
#include "pricefilter.h"
#include "progressreporter.h"
#include "recordtable.h"
#include "schemafile.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    // The reader's mark for a first field that is no number: a leading line
    // whose first field reads as this value is a header line as well.
    constexpr qint32 NotANumber = -10101;

    // The first `count` fields of a line, trimmed; missing ones are empty.
    QStringList recordFields(const QString &line, QChar separator, int count)
    {
        QStringList fields;
        int position = 1;
        while (fields.size() < count && position <= line.size())
            fields.append(trimControls(SplitField(line, position, separator)));
        while (fields.size() < count)
            fields.append(QString());
        return fields;
    }

    // Index of the first record: leading lines whose first field, untrimmed,
    // is no whole number are a header.
    qsizetype firstRecord(const QStringList &lines, QChar separator)
    {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            int position = 1;
            const QString first = SplitField(lines.at(i), position, separator);
            qint32 value = 0;
            if (isWholeNumber(first, &value) && value != NotANumber)
                return i;
        }
        return lines.size();
    }

    // 5 + 45 × i / (n − 1) and the like, cut to a whole number.
    int progressAt(int base, qsizetype i, qsizetype n)
    {
        if (n <= 1)
            return base;
        return base + int(qint64(45) * i / (n - 1));
    }

    QList<FieldDef> modelFields()
    {
        return {FieldDef{QStringLiteral("CODE"), FieldType::I2, 0},
                FieldDef{QStringLiteral("Brand"), FieldType::String, 20},
                FieldDef{QStringLiteral("Model"), FieldType::String, 51}};
    }

    // The part code is as wide as the price list's CODE, so that every part
    // of the list can be assigned.
    QList<FieldDef> assignmentFields()
    {
        return {FieldDef{QStringLiteral("CODEMODEL"), FieldType::I2, 0},
                FieldDef{QStringLiteral("CODESPAIR"), FieldType::I4, 0}};
    }

    void defineTable(RecordTable &table, const QString &schemaFile, const QList<FieldDef> &fields)
    {
        SchemaFile::write(schemaFile, fields);
        table.open(SchemaFile::read(schemaFile));
        table.empty();
        table.clearIndexDefs();
        for (const FieldDef &field : fields)
            table.addIndexDef(field.name, field.name);
    }

    void unloadTable(RecordTable &table, const QString &schemaFile)
    {
        if (!table.isActive())
            return;
        if (table.isLinked())
            table.unlink();
        table.setFiltered(false);
        table.setFilter(QString());
        table.empty();
        table.setIndexName(QString());
        table.clearIndexDefs();
        table.close();
        SchemaFile::remove(schemaFile);
    }

    // The brand box's filter for one brand. Apostrophes are doubled; a brand
    // that ends with "*" would read as a prefix under "=", so it is matched
    // with LIKE, where "*" is an ordinary character; when it also holds "%",
    // which LIKE reads as a wildcard, it is taken as the range from the
    // brand up to the brand followed by a blank: no other brand (one without
    // control characters) lies there.
    QString brandFilter(const QString &brand)
    {
        QString quoted = brand;
        quoted.replace(QLatin1Char('\''), QLatin1String("''"));
        if (brand.endsWith(QLatin1Char('*')) && brand.contains(QLatin1Char('%'))) {
            return QStringLiteral("Brand>='") + quoted + QStringLiteral("' AND NOT Brand>='") + quoted
                + QStringLiteral(" '");
        }
        if (brand.endsWith(QLatin1Char('*')))
            return QStringLiteral("Brand LIKE '") + quoted + QLatin1Char('\'');
        return QStringLiteral("Brand='") + quoted + QLatin1Char('\'');
    }
}

CarModels::CarModels(Workspace &workspace)
    : QObject(&workspace)
    , m_workspace(workspace)
{
    setObjectName(QStringLiteral("CarModels"));
}

CarModels *CarModels::install(Workspace &workspace)
{
    CarModels *models = of(workspace);
    if (!models) {
        models = new CarModels(workspace);
        PriceFilter *filter = PriceFilter::of(workspace);
        if (!filter)
            filter = PriceFilter::install(workspace);
        // A refused expression switches the model condition off: the
        // command must then offer to switch it on again.
        connect(filter, &PriceFilter::applied, models, [models] {
            if (models->m_applyToImage == ApplyToImageOn && !models->m_workspace.filter().modelActive)
                models->showApplyToState();
        });
    }
    ActionList &actions = workspace.actions();
    actions.setHandler(ActionId::Models_LoadSMAsg, [models] { models->loadSMAsg(); });
    actions.setHandler(ActionId::Models_CloseSMAsg, [models] { models->closeSMAsg(); });
    actions.setHandler(ActionId::Models_Panel, [models] { models->modelsPanel(); });
    actions.setHandler(ActionId::Models_Apply_To, [models] { models->applyTo(); });
    actions.setHandler(ActionId::Models_BuildFilter, [models] { models->buildFilter(); });
    actions.setHandler(ActionId::Models_BuildSumMenus, [models] { models->buildSubMenus(); });
    actions.setHandler(ActionId::Models_FreeSubMenus, [models] { models->freeSubMenus(); });
    return models;
}

CarModels *CarModels::of(const Workspace &workspace)
{
    return workspace.findChild<CarModels *>(QStringLiteral("CarModels"), Qt::FindDirectChildrenOnly);
}

// --- loading and unloading ---------------------------------------------------

void CarModels::loadSMAsg()
{
    m_workspace.execute(ActionId::Models_CloseSMAsg);
    if (!QFileInfo(modelsFileName()).isFile() || !QFileInfo(assignmentsFileName()).isFile())
        throw OrdixError(QStringLiteral("Не существует файлов со списком моделей."));

    try {
        defineTables();
        m_workspace.setLabel(Workspace::Label::Status, QStringLiteral("Открытие списка моделей......."));
        ProgressReporter &progress = m_workspace.progress();
        progress.startProgress(QStringLiteral("Loading data..."), 0, 100);
        const ProgressFinish endProgress(progress);

        const QStringList models = TextFile::readLines(modelsFileName());
        progress.stepProgress(5);
        readModels(models);
        progress.stepProgress(51);
        const QStringList assignments = TextFile::readLines(assignmentsFileName());
        progress.stepProgress(55);
        readAssignments(assignments);
    } catch (...) {
        // Half-loaded tables are unloaded again.
        closeSMAsg();
        throw;
    }
    m_workspace.setLabel(Workspace::Label::Status, QStringLiteral("Список моделей загружен"));

    showModelsPanel(true);
    fillBrandList();

    m_modelBoxEnabled = false;
    m_modelKey = allModelsKey();
    m_modelBoxBound = true;
    const int rows = m_workspace.models().rowCount();
    m_dropDownCount = rows < 13 ? rows + 1 : 16;
    emit modelBoxChanged();

    m_applicabilityVisible = true;
    emit subMenuChanged();
}

void CarModels::defineTables()
{
    RecordTable &models = m_workspace.models();
    defineTable(models, modelsSchemaFileName(), modelFields());
    models.setIndexName(QStringLiteral("CODE"));
    defineTable(m_workspace.modelsAsg(), assignmentsSchemaFileName(), assignmentFields());
}

namespace
{
    // Appends the records of a file's lines to the table: the first
    // `fieldCount` fields of a line, kept when the first `required` of them
    // are not empty. The bar moves from `progressFrom` on every tenth line.
    void readRecords(Workspace &workspace, RecordTable &table, const QStringList &lines, int fieldCount, int required,
                     int progressFrom)
    {
        ProgressReporter &progress = workspace.progress();
        const QChar separator = workspace.settings().priceSeparator;
        const qsizetype first = firstRecord(lines, separator);
        const qsizetype n = lines.size() - first;
        table.suspendViews();
        auto resume = qScopeGuard([&table] { table.resumeViews(); });
        for (qsizetype i = 0; i < n; ++i) {
            const QStringList fields = recordFields(lines.at(first + i), separator, fieldCount);
            bool complete = true;
            for (int f = 0; f < required; ++f)
                complete = complete && !fields.at(f).isEmpty();
            if (complete) {
                try {
                    table.appendRow(fields);
                } catch (...) {
                    // A record that does not convert is skipped.
                }
            }
            if (i % 10 == 0)
                progress.stepProgress(progressAt(progressFrom, i, n));
        }
    }
}

void CarModels::readModels(const QStringList &lines)
{
    // A model without a code can never be chosen or assigned.
    readRecords(m_workspace, m_workspace.models(), lines, 3, 1, 5);
}

void CarModels::readAssignments(const QStringList &lines)
{
    // An assignment needs both its model's code and its part's code.
    readRecords(m_workspace, m_workspace.modelsAsg(), lines, 2, 2, 55);
}

void CarModels::fillBrandList()
{
    RecordTable &table = m_workspace.models();
    m_brands.clear();
    m_brands.append(allBrandsText());
    table.setIndexName(QStringLiteral("Brand"));
    const int brand = table.fieldByName(QStringLiteral("Brand"));
    table.suspendViews();
    {
        auto resume = qScopeGuard([&table] { table.resumeViews(); });
        for (table.first(); !table.atEnd(); table.next()) {
            if (table.isGroupFirst())
                m_brands.append(table.asString(brand));
        }
        table.first();
    }
    m_brandIndex = 0;
    emit brandsChanged();
}

void CarModels::closeSMAsg()
{
    showModelsPanel(false);
    if (m_workspace.models().isActive()) {
        m_modelBoxEnabled = false;
        m_modelBoxBound = false;
        m_modelKey = allModelsKey();
        unloadTable(m_workspace.models(), modelsSchemaFileName());
    }
    unloadTable(m_workspace.modelsAsg(), assignmentsSchemaFileName());
    m_brands.clear();
    m_brandIndex = -1;
    m_applicabilityVisible = false;
    m_entries.clear();
    emit brandsChanged();
    emit modelBoxChanged();
    emit subMenuChanged();

    // Without the models the condition could no longer be switched off:
    // unloading them ends the selection by models.
    Workspace::FilterState state = m_workspace.filter();
    if (state.modelActive || !state.modelCondition.isEmpty()) {
        const bool wasActive = state.modelActive;
        state.modelActive = false;
        state.modelCondition.clear();
        m_workspace.setFilter(state);
        if (wasActive) {
            if (m_workspace.price().isActive())
                applyPriceFilter();
            showApplyToState();
        }
    }
}

// --- panel and brand / model boxes -------------------------------------------

void CarModels::showModelsPanel(bool on)
{
    m_workspace.setPanelVisible(Workspace::Panel::Models, on);
    const QString caption = on ? QStringLiteral("Скрыть окно моделей") : QStringLiteral("Показать окно моделей");
    ActionList &actions = m_workspace.actions();
    actions.setCaption(ActionId::Models_Panel, caption);
    actions.setHint(ActionId::Models_Panel, caption);
}

void CarModels::modelsPanel()
{
    if (m_hideSearch)
        m_hideSearch();
    showModelsPanel(!m_workspace.isPanelVisible(Workspace::Panel::Models));
}

void CarModels::brandListChange(int index)
{
    RecordTable &table = m_workspace.models();
    if (!table.isActive() || index < 0 || index >= m_brands.size())
        return;
    m_brandIndex = index;
    if (index > 0) {
        m_modelBoxEnabled = true;
        table.setFilter(brandFilter(m_brands.at(index)));
        table.setFiltered(true);
        table.first();
        const int rows = table.rowCount();
        m_dropDownCount = rows < 13 ? rows + 1 : 16;
    } else {
        m_modelBoxEnabled = false;
    }
    m_modelKey = allModelsKey();
    emit modelBoxChanged();
}

void CarModels::setModelKey(const QString &key)
{
    RecordTable &table = m_workspace.models();
    QString chosen = allModelsKey();
    if (key != allModelsKey() && !key.isEmpty() && table.isActive()) {
        try {
            if (table.locate(QStringLiteral("CODE"), key))
                chosen = key;
        } catch (...) {
            // Not a model code: the box shows "< Все модели >".
        }
    }
    if (chosen == m_modelKey)
        return;
    m_modelKey = chosen;
    emit modelBoxChanged();
}

QList<CarModels::ModelItem> CarModels::modelBoxItems() const
{
    QList<ModelItem> items;
    items.append({allModelsKey(), allModelsText()});
    const RecordTable &table = m_workspace.models();
    if (!m_modelBoxBound || !table.isActive())
        return items;
    const int code = table.findField(QStringLiteral("CODE"));
    const int model = table.findField(QStringLiteral("Model"));
    const int rows = table.rowCount();
    items.reserve(rows + 1);
    for (int r = 0; r < rows; ++r)
        items.append({table.stringAt(r, code), table.stringAt(r, model)});
    return items;
}

// --- the model condition -----------------------------------------------------

QString CarModels::modelSpareCodes(const QSet<qint64> &present, QList<qint64> *added)
{
    RecordTable &table = m_workspace.modelsAsg();
    const int part = table.fieldByName(QStringLiteral("CODESPAIR"));
    QString result;
    const int rows = table.rowCount();
    for (int r = 0; r < rows; ++r) {
        if (table.isNullAt(r, part))
            continue;
        const qint64 code = table.integerAt(r, part);
        // The set stands for the text the condition already holds: the
        // piece "Code=N " occurs in it exactly when N is in the set.
        if (present.contains(code))
            continue;
        if (!result.isEmpty())
            result += QLatin1String("or ");
        result += QLatin1String("Code=") + QString::number(code) + QLatin1Char(' ');
        if (added)
            added->append(code);
    }
    if (rows > 0)
        table.first();
    return result;
}

void CarModels::buildFilter()
{
    RecordTable &models = m_workspace.models();
    RecordTable &assignments = m_workspace.modelsAsg();

    if (m_brandIndex > 0 && models.isActive() && assignments.isActive()) {
        setModelCondition(QString());
        QString condition;
        {
            assignments.linkToMaster(&models, QStringLiteral("CODEMODEL"), QStringLiteral("CODE"));
            auto unlink = qScopeGuard([&assignments] { assignments.unlink(); });
            QSet<qint64> present;
            if (m_modelKey != allModelsKey()) {
                // The chosen model is the current row, unless something
                // moved the cursor since it was chosen.
                try {
                    models.locate(QStringLiteral("CODE"), m_modelKey);
                } catch (...) {
                }
                condition = modelSpareCodes(present);
            } else {
                QString text;
                for (models.first(); !models.atEnd(); models.next()) {
                    QList<qint64> added;
                    const QString codes = modelSpareCodes(present, &added);
                    if (!codes.isEmpty() && !text.isEmpty())
                        text += QLatin1String("or ");
                    text += codes;
                    for (qint64 code : std::as_const(added))
                        present.insert(code);
                }
                models.first();
                condition = text;
            }
        }
        setModelCondition(condition.isEmpty() ? QStringLiteral("Code=-1") : condition);
        if (!m_workspace.filter().modelActive)
            m_workspace.execute(ActionId::Models_Apply_To);
        else
            applyPriceFilter();
    } else {
        setModelCondition(QString());
        m_workspace.execute(ActionId::Models_Apply_To);
    }
}

void CarModels::applyTo()
{
    Workspace::FilterState state = m_workspace.filter();
    state.modelActive = !state.modelActive;
    if (!state.modelActive)
        state.modelCondition.clear();
    m_workspace.setFilter(state);
    const quint64 applied = m_applyCount;
    if (state.modelActive)
        m_workspace.execute(ActionId::Models_BuildFilter);
    // Models_BuildFilter has applied the filter already when it ran to its end.
    if (m_workspace.price().isActive() && m_applyCount == applied)
        applyPriceFilter();
    showApplyToState();
}

void CarModels::setModelCondition(const QString &condition)
{
    Workspace::FilterState state = m_workspace.filter();
    state.modelCondition = condition;
    m_workspace.setFilter(state);
}

void CarModels::showApplyToState()
{
    const bool active = m_workspace.filter().modelActive;
    ActionList &actions = m_workspace.actions();
    const QString name = ActionId::Models_Apply_To;
    if (active) {
        actions.setCaption(name, QStringLiteral("Отменить отбор"));
        actions.setHint(name, QStringLiteral("Отменить отбор по моделям|Отменить отбор запчастей"));
    } else {
        actions.setCaption(name, QStringLiteral("Отбор по моделям"));
        actions.setHint(name,
                        QStringLiteral("Отбор по моделям|Использовать отбор запчастей по заданной модели автомобиля"));
    }
    const int image = active ? ApplyToImageOn : ApplyToImageOff;
    if (image != m_applyToImage) {
        m_applyToImage = image;
        emit applyToImageChanged(image);
    }
}

void CarModels::applyPriceFilter()
{
    ++m_applyCount;
    if (PriceFilter *filter = PriceFilter::of(m_workspace))
        filter->applyPriceFilter();
}

// --- "Применяемость" ---------------------------------------------------------

void CarModels::freeSubMenus()
{
    if (m_entries.isEmpty())
        return;
    m_entries.clear();
    emit subMenuChanged();
}

void CarModels::buildSubMenus()
{
    m_workspace.execute(ActionId::Models_FreeSubMenus);
    RecordTable &models = m_workspace.models();
    RecordTable &assignments = m_workspace.modelsAsg();
    RecordTable &price = m_workspace.price();
    if (!models.isActive() || !assignments.isActive() || !price.isActive() || price.rowCount() == 0)
        return;

    std::unique_ptr<RecordTable> clone = models.clone();
    auto cleanup = qScopeGuard([&] {
        if (assignments.isLinked())
            assignments.unlink();
        clone.reset();
    });

    assignments.linkToMaster(&price, QStringLiteral("CODESPAIR"), PriceFields::name(PriceFields::Code));
    const int modelCode = assignments.fieldByName(QStringLiteral("CODEMODEL"));
    QString condition;
    const int rows = assignments.rowCount();
    for (int r = 0; r < rows; ++r) {
        if (!condition.isEmpty())
            condition += QLatin1String(" or ");
        condition += QLatin1String("Code=") + assignments.stringAt(r, modelCode);
    }
    if (rows > 0)
        assignments.first();
    if (condition.isEmpty())
        return;

    clone->setFilter(condition);
    clone->setFiltered(true);
    const int code = clone->fieldByName(QStringLiteral("CODE"));
    const int brand = clone->fieldByName(QStringLiteral("Brand"));
    const int model = clone->fieldByName(QStringLiteral("Model"));
    QList<MenuEntry> entries;
    for (int r = 0; r < clone->rowCount(); ++r) {
        entries.append({QStringLiteral("gml_") + clone->stringAt(r, code),
                        clone->stringAt(r, brand) + QLatin1Char(' ') + clone->stringAt(r, model)});
    }
    m_entries = entries;
}

void CarModels::popupMenuPopup()
{
    m_workspace.actions().run(ActionId::Models_BuildSumMenus);
    m_applicabilityEnabled = !m_entries.isEmpty();
    m_noneVisible = m_entries.isEmpty();
    emit subMenuChanged();
}

void CarModels::selectModelEntry(const QString &entryName)
{
    const qsizetype underscore = entryName.indexOf(QLatin1Char('_'));
    bool ok = false;
    const int code = underscore >= 0 ? entryName.mid(underscore + 1).toInt(&ok) : -1;
    if (!ok || code <= 0)
        return;

    RecordTable &table = m_workspace.models();
    if (!table.isActive())
        return;
    table.setFiltered(false);
    if (!table.locate(QStringLiteral("CODE"), code))
        return;
    const QString brand = table.asString(table.fieldByName(QStringLiteral("Brand")));
    const int index = m_brands.indexOf(brand, 1);
    if (index < 1)
        return;
    brandListChange(index);
    emit brandsChanged();
    setModelKey(QString::number(code));
    m_workspace.execute(ActionId::Models_BuildFilter);
}
