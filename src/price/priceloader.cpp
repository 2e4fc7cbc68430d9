#include "priceloader.h"

#include <cmath>

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include "cp1251.h"
#include "ordixerror.h"
#include "progressreporter.h"
#include "schemafile.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    int g_lastSkipped = 0;

    // Field positions of the price table.
    enum PriceField
    {
        FAvailability = 0,
        FCode,
        FName,
        FCatalogId,
        FProducer,
        FPack,
        FPrice,
        FGroup,
        FAnalogue,
        FOldPrice
    };

    // Latin letters are compared without regard to case, Cyrillic exactly:
    // fold only ASCII letters on both sides.
    QString foldAscii(const QString &text)
    {
        QString result = text;
        for (QChar &ch : result) {
            if (ch.unicode() >= 'A' && ch.unicode() <= 'Z')
                ch = QChar(ch.unicode() + ('a' - 'A'));
        }
        return result;
    }

    bool containsMarker(const QString &foldedLine, const QString &marker)
    {
        return foldedLine.contains(foldAscii(marker));
    }

    QString priceTitle(int priceMode)
    {
        switch (priceMode) {
        case 1:
            return QStringLiteral("Цена (мелкооптовая)");
        case 2:
            return QStringLiteral("Цена (специальная)");
        default:
            return QStringLiteral("Цена");
        }
    }

    void selectCurrencyFromRateLine(Workspace &workspace, const QString &line)
    {
        Settings &settings = workspace.settings();
        settings.currencyRateLine = line;
        CurrencyList &list = workspace.currencyList();
        list.rebuild(line, settings.priceSeparator, Decimal::separator());
        list.selectSymbol(settings.defaultCurrency);
        settings.currentCurrency = list.selected();
    }

    bool firstFieldIsRateKeyword(const QByteArray &line, char separator)
    {
        int position = 1;
        const QString first = Cp1251::decode(SplitField(QByteArrayView(line), position, separator)).toLower();
        return first == u"курс" || first == QLatin1String("rate");
    }

    bool startsData(const QByteArray &line, char separator)
    {
        int position = 1;
        const QByteArrayView first = SplitField(QByteArrayView(line), position, separator);
        qint32 value = 0;
        return isWholeNumber(first, &value) && value != -10101;
    }

    // Closes the progress window whatever way the load ends.
    class ProgressGuard final
    {
    public:
        explicit ProgressGuard(ProgressReporter &progress)
            : m_progress(progress)
        {
        }
        ~ProgressGuard() { m_progress.stepProgress(101); }

    private:
        ProgressReporter &m_progress;
    };
}

QList<FieldDef> PriceLoader::priceFields()
{
    return {
        {QStringLiteral("AvailabilityFlag"), FieldType::I2, 0},
        {QStringLiteral("CODE"), FieldType::I4, 0},
        {QStringLiteral("Name"), FieldType::String, 200},
        {QStringLiteral("CatalogID"), FieldType::String, 100},
        {QStringLiteral("ProductionOf"), FieldType::String, 100},
        {QStringLiteral("Pack"), FieldType::String, 20},
        {QStringLiteral("Price"), FieldType::R8, 0},
        {QStringLiteral("Group"), FieldType::String, 200},
        {QStringLiteral("Analogue"), FieldType::String, 200},
        {QStringLiteral("OldPrice"), FieldType::R8, 0},
    };
}

bool PriceLoader::isRussianHeader(const QString &line)
{
    const QString folded = foldAscii(line);
    return (folded.contains(QStringLiteral("|Код")) || folded.contains(QStringLiteral("Код|")))
        && (folded.contains(QStringLiteral("|Наименование")) || folded.contains(QStringLiteral("Наименование|")));
}

bool PriceLoader::isEnglishHeader(const QString &line)
{
    const QString folded = foldAscii(line);
    return (containsMarker(folded, QStringLiteral("|Code")) || containsMarker(folded, QStringLiteral("Code|")))
        && (containsMarker(folded, QStringLiteral("|Name")) || containsMarker(folded, QStringLiteral("Name|")));
}

PriceColumns PriceLoader::columnsFromHeader(const QString &line, QChar separator, int priceMode, bool english)
{
    PriceColumns columns;
    const auto is = [english](const QString &name, const char16_t *russian, const char *latin) {
        return english ? name.compare(QLatin1String(latin), Qt::CaseInsensitive) == 0
                       : name.compare(QString::fromUtf16(russian), Qt::CaseInsensitive) == 0;
    };
    const auto startsWith = [english](const QString &name, const char16_t *russian, const char *latin) {
        return english ? name.startsWith(QLatin1String(latin), Qt::CaseInsensitive)
                       : name.startsWith(QString::fromUtf16(russian), Qt::CaseInsensitive);
    };

    int position = 1;
    int number = 0;
    while (position <= line.size()) {
        const QString name = SplitField(line, position, separator);
        ++number;
        if (is(name, u"КодРодителя", "ParentCode"))
            continue;
        if (is(name, u"Код", "Code"))
            columns.code = number;
        else if (is(name, u"Наименование", "Name"))
            columns.name = number;
        else if (is(name, u"Артикул", "ItemMark"))
            columns.catalogId = number;
        else if (is(name, u"Производитель", "Producer"))
            columns.producer = number;
        else if (is(name, u"НормаУпаковки", "Package"))
            columns.pack = number;
        else if (is(name, u"Цена", "Price"))
            columns.price = number;
        else if (is(name, u"ЦенаМелОпт", "SmallWholesalePrice")) {
            if (priceMode == 1)
                columns.price = number;
        } else if (is(name, u"ЦенаОпт", "WholesalePrice")) {
            if (priceMode == 2)
                columns.price = number;
        } else if (startsWith(name, u"Статус", "Status"))
            columns.status = number;
        else if (is(name, u"Каталоги", "Catalogues"))
            columns.groups = number;
        else if (is(name, u"Аналоги(Коды)", "Analogues(Codes)"))
            columns.analogues = number;
    }
    return columns;
}

int PriceLoader::lastSkippedLines()
{
    return g_lastSkipped;
}

void PriceLoader::initializePriceDataSet(Workspace &workspace)
{
    const QList<FieldDef> fields = priceFields();
    SchemaFile::write(schemaFileName(), fields);

    RecordTable &table = workspace.price();
    if (table.isActive())
        table.close();
    table.open(SchemaFile::read(schemaFileName()));
    table.empty();
    table.clearIndexDefs();
    for (int i = 0; i < fields.size() - 1; ++i) {
        const QString &name = fields.at(i).name;
        table.addIndexDef(QStringLiteral("Pre") + name, name, false);
        table.addIndexDef(QStringLiteral("Rev") + name, name, true);
    }
    table.setIndexName(QStringLiteral("PreName"));
    table.setDisplayFormat(FPrice, QStringLiteral("# ### ##0.00 р."));
    table.setDisplayFormat(FCode, QStringLiteral("00000"));

    GridLayout &grid = workspace.grid(Workspace::Grid::Price);
    grid.clear();
    grid.sortMark = 4;
    const auto column = [&](const QString &field, int position, const QString &title, int width, bool visible = true) {
        GridColumn c;
        c.fieldName = field;
        c.fieldPosition = position;
        c.title = title;
        c.width = width;
        c.visible = visible;
        grid.columns.append(c);
    };
    column(QStringLiteral("NPP"), -1, QStringLiteral("№"), 40);
    column(fields.at(FAvailability).name, FAvailability, QStringLiteral("..."), 18);
    column(fields.at(FCode).name, FCode, QStringLiteral("Код"), 50);
    column(fields.at(FName).name, FName, QStringLiteral("Наименование / артикул производителя"), 400);
    column(fields.at(FCatalogId).name, FCatalogId, QStringLiteral("OEM номер"),
           workspace.textWidth(QStringLiteral("0000000000000000")));
    column(fields.at(FProducer).name, FProducer, QStringLiteral("Производство"), 100);
    column(fields.at(FPack).name, FPack, QStringLiteral("Упаковка"), workspace.textWidth(QStringLiteral("0000")));
    column(fields.at(FPrice).name, FPrice, priceTitle(workspace.settings().priceMode),
           workspace.textWidth(QStringLiteral("00 000.00 р")) + 16);
    column(fields.at(FGroup).name, FGroup, QStringLiteral("Группа"), 150);
    column(fields.at(FAnalogue).name, FAnalogue, QStringLiteral("Аналоги"), 150, false);
    workspace.gridColumnsRebuilt(Workspace::Grid::Price);
}

void PriceLoader::loadPriceList(Workspace &workspace, const QString &primaryName, const QString &fallbackName)
{
    workspace.execute(QStringLiteral("PriceClose"));
    workspace.setLabel(Workspace::Label::Status, QStringLiteral("Открытие прайс-листа......."));
    workspace.priceFileName.clear();

    QString chosen;
    if (!primaryName.isEmpty() && QFileInfo(primaryName).isFile()) {
        chosen = primaryName;
    } else if (!fallbackName.isEmpty() && QFileInfo(fallbackName).isFile()) {
        const QString question = QStringLiteral("Открыть устаревший прайс лист (")
            + TextFile::dateTimeText(TextFile::fileDateTime(fallbackName)) + QLatin1Char(')');
        if (workspace.prompts().askYesNo(question) == UserPrompts::Answer::Yes)
            chosen = fallbackName;
    }
    if (chosen.isEmpty()) {
        UserPrompts::FileDialog dialog;
        dialog.title = QStringLiteral("Открыть файл прайс-листа");
        dialog.defaultExtension = QStringLiteral("txt");
        dialog.filter = QStringLiteral("Прайс-лист (*.txt)|*.txt");
        chosen = workspace.prompts().openFile(dialog);
    }
    if (chosen.isEmpty())
        return;

    loadFile(workspace, chosen);

    if (!chosen.toUpper().contains(QLatin1String("_OLD")))
        workspace.execute(QStringLiteral("ComparePrices"));

    workspace.setPanelVisible(Workspace::Panel::Price, true);
    if (workspace.isPanelVisible(Workspace::Panel::Order))
        workspace.execute(QStringLiteral("PanelOrderPosition"));
    if (workspace.filter.modelActive)
        workspace.execute(QStringLiteral("Models_BuildFilter"));
    workspace.requestGridFocus(Workspace::Grid::Price);
}

void PriceLoader::loadFile(Workspace &workspace, const QString &path)
{
    g_lastSkipped = 0;
    workspace.priceFileName = path;
    try {
        initializePriceDataSet(workspace);
    } catch (...) {
        workspace.priceFileName.clear();
        throw;
    }

    RecordTable &table = workspace.price();
    ProgressReporter &progress = workspace.progress();
    GridLayout &grid = workspace.grid(Workspace::Grid::Price);
    const char separator = char(Cp1251::fromUnicode(workspace.settings().priceSeparator.unicode()));
    const int priceMode = workspace.settings().priceMode;

    int skipped = 0;
    bool stopped = false;
    {
        ProgressGuard progressGuard(progress);
        progress.startProgress(QStringLiteral("Loading data..."), 0, 100);

        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw OrdixError(QStringLiteral("Не удалось открыть файл прайс-листа %1: %2").arg(path, file.errorString()));
        QByteArray contents = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw OrdixError(QStringLiteral("Не удалось прочитать файл прайс-листа %1: %2").arg(path, file.errorString()));
        file.close();
        QList<QByteArray> lines = TextFile::splitLines(contents);
        contents = QByteArray();
        progress.stepProgress(10);

        if (lines.isEmpty())
            throw OrdixError(QStringLiteral("Файл прайс-листа %1 пуст").arg(path));

        qsizetype first = 0;
        if (firstFieldIsRateKeyword(lines.first(), separator)) {
            selectCurrencyFromRateLine(workspace, Cp1251::decode(lines.first()));
            first = 1;
        } else {
            workspace.settings().currencyRateLine.clear();
        }

        PriceColumns columns;
        while (first < lines.size()) {
            const QByteArray &line = lines.at(first);
            if (startsData(line, separator))
                break;
            const QString text = Cp1251::decode(line);
            if (isRussianHeader(text))
                columns = columnsFromHeader(text, workspace.settings().priceSeparator, priceMode, false);
            else if (isEnglishHeader(text))
                columns = columnsFromHeader(text, workspace.settings().priceSeparator, priceMode, true);
            ++first;
        }

        const int map[9] = {columns.status, columns.code, columns.name, columns.catalogId, columns.producer,
                            columns.pack, columns.price, columns.groups, columns.analogues};
        int maxColumn = 0;
        for (int c : map)
            maxColumn = qMax(maxColumn, c);

        int widest[7] = {0, 0, 0, 0, 0, 0, 0};
        const qsizetype dataLines = lines.size() - first;
        QByteArrayView fields[64];
        QByteArrayView values[9];
        QList<QByteArrayView> spill;

        table.suspendViews();
        try {
            for (qsizetype r = 0; r < dataLines; ++r) {
                const QByteArrayView line(lines.at(first + r));
                // Split the fields the header names; those beyond are ignored.
                int count = 0;
                int position = 1;
                spill.clear();
                while (position <= line.size() && count < maxColumn) {
                    const QByteArrayView field = SplitField(line, position, separator);
                    if (count < 64)
                        fields[count] = field;
                    else
                        spill.append(field);
                    ++count;
                }
                for (int v = 0; v < 9; ++v) {
                    const int column = map[v];
                    if (column == 0 || column > count)
                        values[v] = QByteArrayView();
                    else
                        values[v] = column <= 64 ? fields[column - 1] : spill.at(column - 65);
                }
                for (int v = 0; v < 7; ++v) {
                    const int length = int(values[v].size());
                    const int wanted = v == FPrice ? 8 * length + 16 : 7 * length + 4;
                    if (wanted > widest[v])
                        widest[v] = wanted;
                }
                try {
                    table.appendRowRaw(values, 9);
                } catch (const OrdixError &) {
                    ++skipped;
                }
                if (r % 10 == 0 && dataLines > 1)
                    progress.stepProgress(int(std::lround(double(r) / double(dataLines - 1) * 90.0 + 10.0)));
                if (progress.stopRequested()) {
                    stopped = true;
                    break;
                }
            }
        } catch (...) {
            table.resumeViews();
            throw;
        }
        for (int v = 0; v < 7; ++v)
            grid.raisePreferredWidth(v + 1, widest[v]);
        table.first();
        table.resumeViews();
    }
    if (stopped)
        workspace.prompts().message(QStringLiteral("Action stopped"), UserPrompts::Icon::Information);
    g_lastSkipped = skipped;

    QString status = QStringLiteral("Прайс-лист загружен");
    if (skipped > 0)
        status += QStringLiteral(". Пропущено строк с ошибками: %1").arg(skipped);
    workspace.setLabel(Workspace::Label::Status, status);
    workspace.setLabel(Workspace::Label::Title, QStringLiteral("Прайс-лист фирмы \"Золт\" на ")
                                                   + TextFile::dateTimeText(TextFile::fileDateTime(path)));
    workspace.setLabel(Workspace::Label::CurDate, TextFile::longDate(QDate::currentDate()));
    grid.fixedColumns = 2;
    workspace.gridColumnsRebuilt(Workspace::Grid::Price);
}
