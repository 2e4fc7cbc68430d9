#include "standardactions.h"

#include <QDebug>

#include "actionid.h"
#include "enablingrules.h"
#include "ordixerror.h"
#include "preferences.h"
#include "settings.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    using Rule = bool (*)(const Workspace &);
    using OwnRule = bool (*)(Workspace &);

    class Definer final
    {
    public:
        explicit Definer(Workspace &ws)
            : m_ws(ws)
        { }

        ActionList::Action &command(QLatin1StringView name, const QString &caption, const QString &hint,
                                    const char *shortcut = nullptr)
        {
            return m_ws.actions().add(name, caption, hint, shortcut ? QLatin1String(shortcut) : QString());
        }

        ActionList::Action &command(QLatin1StringView name, const QString &caption, const QString &hint,
                                    const char *shortcut, Rule rule)
        {
            ActionList::Action &action = command(name, caption, hint, shortcut);
            Workspace *ws = &m_ws;
            action.rule = [ws, rule] { return rule(*ws); };
            return action;
        }

        ActionList::Action &command(QLatin1StringView name, const QString &caption, const QString &hint,
                                    const char *shortcut, OwnRule rule)
        {
            ActionList::Action &action = command(name, caption, hint, shortcut);
            Workspace *ws = &m_ws;
            action.rule = [ws, rule] { return rule(*ws); };
            return action;
        }

        template<typename R>
        ActionList::Action &internal(QLatin1StringView name, const QString &caption, const QString &hint, R rule)
        {
            ActionList::Action &action = command(name, caption, hint, nullptr, rule);
            action.internal = true;
            return action;
        }

        ActionList::Action &internal(QLatin1StringView name, const QString &caption = QString(),
                                     const QString &hint = QString())
        {
            ActionList::Action &action = command(name, caption.isEmpty() ? QString(name) : caption, hint);
            action.internal = true;
            return action;
        }

    private:
        Workspace &m_ws;
    };
}

namespace StandardActions
{
    void install(Workspace &ws)
    {
        using namespace EnablingRules;
        Definer d(ws);

        // Price list
        d.command(ActionId::PriceFileOpen, QStringLiteral("Открыть прайс"),
                  QStringLiteral("Открыть|Открыть прайс (zolt.txt)"), "Ctrl+O");
        d.command(ActionId::PriceFileOpenSpecial, QStringLiteral("Загрузить спец. цены"),
                  QStringLiteral("СпецЦены|Загрузить специальные цены"));
        d.command(ActionId::PriceDataOpen, QStringLiteral("Открыть данные"),
                  QStringLiteral("Открыть данные|Открыть произвольный прайс лист"));
        d.command(ActionId::PriceClose, QStringLiteral("Закрыть прайс"),
                  QStringLiteral("Закрыть прайс|Закрытие текущего прайса"), nullptr, EnabledWhilePriceIsOpen);
        d.command(ActionId::PriceNew, QStringLiteral("Скачать"), QStringLiteral("Скачать новый прайс с адреса "),
                  nullptr, PriceDownloadNew_Update);
        d.command(ActionId::ComparePrices, QStringLiteral("Сравнить"),
                  QStringLiteral("Сравнить|Сравнить с другим прайсом"), nullptr, EnabledWhilePriceIsNotEmpty);
        // The window puts the keyboard into its part search field.
        d.command(ActionId::PartSearchFocus, QStringLiteral("Найти деталь…"),
                  QStringLiteral("Найти деталь|Поиск по коду, артикулу, названию и аналогам"), "Ctrl+K",
                  EnabledWhilePriceIsOpen);

        // Car models
        d.command(ActionId::Models_LoadSMAsg, QStringLiteral("Загрузить автомобили"),
                  QStringLiteral("Загрузить автомобили|Загрузить таблицу моделей автомобилей"));
        d.command(ActionId::Models_CloseSMAsg, QStringLiteral("Выгрузить"),
                  QStringLiteral("Выгрузить|Выгрузить модели автомобилей"), nullptr, EnableWhileMSAActive);
        d.command(ActionId::Models_Apply_To, QStringLiteral("Отбор по автомобилям"),
                  QStringLiteral("Отбор по автомобилям|Отбор запчастей по заданной модели автомобиля"), nullptr,
                  EnableWhileMSANotEmpty);
        d.command(ActionId::Models_Panel, QStringLiteral("Окно автомобилей"),
                  QStringLiteral("Скрыть/показать окно автомобилей"), nullptr, EnableWhileMSANotEmpty);
        d.command(ActionId::Models_BuildFilter, QStringLiteral("Применить"),
                  QStringLiteral("Применить отбор|Применить отбор по моделям автомобилей"), nullptr,
                  Models_BuildFilterUpdate);

        // Order
        d.command(ActionId::AddToOrder, QStringLiteral("Добавить в заказ"),
                  QStringLiteral("Добавить в заказ|Добавить текущую позицию в заказ"), nullptr,
                  EnabledWhilePriceIsNotEmpty);
        d.command(ActionId::RemoveFromOrder, QStringLiteral("Удалить из заказа"),
                  QStringLiteral("Удалить из заказа|Удалить текущую позицию из заказа"), nullptr,
                  EnabledWhileOrderIsNotEmpty);
        d.command(ActionId::OrderNew, QStringLiteral("Новый заказ"),
                  QStringLiteral("Новый заказ|Создать новый файл заказа"), "Ctrl+N");
        d.command(ActionId::OrderFileOpen, QStringLiteral("Открыть заказ"),
                  QStringLiteral("Открыть|Открыть существующий файл заказа"), "Ctrl+Alt+O");
        d.command(ActionId::OrderFileSave, QStringLiteral("Сохранить заказ"),
                  QStringLiteral("Сохранить|Сохранить сформированный заказ"), "Ctrl+S", EnabledWhileOrderIsNotEmpty);
        d.command(ActionId::OrderFileSaveAs, QStringLiteral("Сохранить заказ как..."),
                  QStringLiteral("Сохранить как|Сохранить сформированный заказ под произвольным именем"), nullptr,
                  EnabledWhileOrderIsNotEmpty);
        d.command(ActionId::OrderClose, QStringLiteral("Закрыть заказ"),
                  QStringLiteral("Закрыть заказ|Закрытие текущего заказа"), nullptr, EnabledWhileOrderIsOpen);
        d.command(ActionId::CoordinateOrder, QStringLiteral("Согласовать с прайсом"),
                  QStringLiteral("Согласовать заказ с прайсом|Согласовать цены в заказе с ценами в прайсе"), "F9",
                  EnabledWhileBothNotEmpty);
        d.command(ActionId::PrinterPrintOrder, QStringLiteral("Печать заказа"), QStringLiteral("Печать заказа"),
                  "Ctrl+P", EnabledWhileOrderIsNotEmpty);
        d.command(ActionId::PrinterPreviewOrder, QStringLiteral("Просмотр заказа"),
                  QStringLiteral("Просмотр заказа|Предварительный просмотр заказа"), nullptr,
                  EnabledWhileOrderIsNotEmpty);
        d.command(ActionId::ExportExcel, QStringLiteral("В формат MS Excel (xls)"), QString(), nullptr,
                  EnabledWhileOrderIsNotEmpty)
            .visible = false;
        d.command(ActionId::ExportClipboard, QStringLiteral("В буфер обмена"), QString(), nullptr,
                  EnabledWhileOrderIsNotEmpty);
        d.command(ActionId::ExportText, QStringLiteral("В текстовый файл"), QString(), nullptr,
                  EnabledWhileOrderIsNotEmpty);
        d.command(ActionId::SendOrder, QStringLiteral("Послать заказ"), QStringLiteral("Послать заказ по E-mail"),
                  "Ctrl+Alt+S", EnabledWhileOrderIsNotEmpty);
        d.command(ActionId::OrderPasteClipboard, QStringLiteral("Вставить заказ из буфера"),
                  QStringLiteral("Вставить заказ из буфера|Добавить в заказ строки «код количество» из буфера обмена"),
                  "Ctrl+Shift+V", EnabledWhilePriceIsNotEmpty);
        // The order subsystem sets their rules: enabled while there is a step
        // to undo or redo.
        d.command(ActionId::OrderUndo, QStringLiteral("Отменить"),
                  QStringLiteral("Отменить|Отменить последнее изменение заказа"), "Ctrl+Z");
        d.command(ActionId::OrderRedo, QStringLiteral("Повторить"),
                  QStringLiteral("Повторить|Повторить отменённое изменение заказа"), "Ctrl+Y, Ctrl+Shift+Z");

        // Filters
        d.command(ActionId::FilterCreate, QStringLiteral("Фильтр..."),
                  QStringLiteral("Задать фильтр|Изменение условий фильтрации прайс-листа"), "Ctrl+F",
                  EnabledWhilePriceIsOpen);
        d.command(ActionId::FilterQ, QStringLiteral("Автофильтр"),
                  QStringLiteral("Автоматический фильтр|Задать автоматический фильтр по выделению"), "F3",
                  EnabledWhilePriceIsOpen);
        d.command(ActionId::FilterPrice, QStringLiteral("Применить фильтр"),
                  QStringLiteral("Отфильтровать|Применить/отменить фильтрацию прайс-листа"), "Ctrl+F3",
                  FilterPriceUpdate)
            .checkable = true;

        // Grid, settings, help, program
        d.command(ActionId::CopyCell, QStringLiteral("Копировать"), QStringLiteral("Копировать"), "Ctrl+Ins, Ctrl+C");
        d.command(ActionId::Preferences, QStringLiteral("Настройки"),
                  QStringLiteral("Настройки|Изменить информацию о клиенте и пр."));
        d.command(ActionId::LegendSwitch, QStringLiteral("Легенда"), QStringLiteral("Скрыть/показать легенду"), "F1");
        d.command(ActionId::RunHTMLHelp, QStringLiteral("Помощь"), QStringLiteral("Помощь"));
        d.command(ActionId::ProgramAbout, QStringLiteral("О программе..."), QStringLiteral("О программе"));
        d.command(ActionId::CloseAll, QStringLiteral("Закрыть все"),
                  QStringLiteral("Закрыть все|Закрытие текущего заказа и прайса"));
        d.command(ActionId::ExitProg, QStringLiteral("Выход"), QStringLiteral("Выйти из программы"));

        // Internal actions, run by other handlers only.
        d.internal(ActionId::InitializePriceDataSet);
        d.internal(ActionId::RestorePriceData, ActionId::RestorePriceData, QString(), EnabledWhilePriceIsNotEmpty);
        d.internal(ActionId::DeletePricesInOrder, ActionId::DeletePricesInOrder, QString(),
                   EnabledWhileOrderIsNotEmpty);
        d.internal(ActionId::EditOrderRecord, ActionId::EditOrderRecord, QString(), EnabledWhileOrderIsNotEmpty);
        d.internal(ActionId::PanelOrderPosition);
        d.internal(ActionId::INILoad);
        d.internal(ActionId::INISave);
        d.internal(ActionId::Models_BuildSumMenus, ActionId::Models_BuildSumMenus, QString(), EnableWhileMSANotEmpty);
        d.internal(ActionId::Models_FreeSubMenus);
        d.internal(ActionId::DownLoadURL, QStringLiteral("&Download URL"), QStringLiteral("Download from URL"));
        d.internal(ActionId::SendOrderAction, QStringLiteral("Послать заказ"),
                   QStringLiteral("Послать заказ по E-mail"), EnabledWhileOrderIsNotEmpty);

        installFollowers(ws);

        ActionList &a = ws.actions();
        Workspace *w = &ws;
        a.setHandler(ActionId::CloseAll, [w] { CloseAllExecute(*w); });
        a.setHandler(ActionId::INILoad, [w] { INILoadExecute(*w); });
        a.setHandler(ActionId::INISave, [w] { INISaveExecute(*w); });
        a.setHandler(ActionId::LegendSwitch, [w] { LegendSwitchExecute(*w); });
    }

    void installFollowers(Workspace &ws)
    {
        ActionList &a = ws.actions();
        Workspace *w = &ws;
        // The hint names the download address, or tells where to set one.
        a.get(ActionId::PriceNew).follow = [w](bool enabled) {
            w->actions().setHint(ActionId::PriceNew,
                                 enabled ? QStringLiteral("Скачать новый прайс с адреса ") + w->settings().url
                                         : QStringLiteral("Чтобы скачать новый прайс установите адрес в настройках."));
        };
        // Checked while the price list's condition is in force, unchecked
        // whenever the command is disabled.
        a.get(ActionId::FilterPrice).follow = [w](bool enabled) {
            w->actions().setChecked(ActionId::FilterPrice, enabled && w->filter().priceActive);
        };
    }

    void startUp(Workspace &ws)
    {
        ActionList &a = ws.actions();
        a.execute(ActionId::INILoad);
        a.execute(ActionId::LegendSwitch);
        Decimal::setSeparator(ws.settings().effectiveDecimalSeparator());
        a.setTag(ActionId::OrderClose, ActionList::ActionDone);
        Workspace *w = &ws;
        a.setErrorReport([w](const QString &text) { reportError(*w, text); });
        ws.setCurrentDownloadURL(QString());
    }

    void CloseAllExecute(Workspace &ws)
    {
        ActionList &a = ws.actions();
        const QString orderClose = ActionId::OrderClose;
        a.execute(orderClose);
        // With no order open OrderClose is skipped and its tag may be stale
        // from an earlier cancelled close; nothing is left to keep open then.
        if (!a.isDone(orderClose) && a.isEnabled(orderClose))
            return;
        a.execute(ActionId::Models_CloseSMAsg);
        a.execute(ActionId::PriceClose);
    }

    void INILoadExecute(Workspace &ws)
    {
        Settings loaded = SettingsFile::load(SettingsFile::fileName());
        // The values that do not live in the file stay as they are.
        loaded.currencyRateLine = ws.settings().currencyRateLine;
        loaded.currentCurrency = ws.settings().currentCurrency;
        ws.settings() = loaded;
        ws.setPanelVisible(Workspace::Panel::Legend, !loaded.showLegend);
        ws.setLabel(Workspace::Label::Caption, Preferences::windowCaption(loaded.customer));
        ws.settingsApplied();
    }

    void INISaveExecute(Workspace &ws)
    {
        ws.settings().showLegend = ws.isPanelVisible(Workspace::Panel::Legend);
        SettingsFile::save(ws.settings(), SettingsFile::fileName(), &ws.prompts());
    }

    void LegendSwitchExecute(Workspace &ws)
    {
        const bool shown = !ws.isPanelVisible(Workspace::Panel::Legend);
        ws.setPanelVisible(Workspace::Panel::Legend, shown);
        ws.settings().showLegend = shown;
        const QString caption = shown ? QStringLiteral("Скрыть легенду") : QStringLiteral("Показать легенду");
        ws.actions().setCaption(ActionId::LegendSwitch, caption);
        ws.actions().setHint(ActionId::LegendSwitch, caption);
    }

    bool closeQuery(Workspace &ws)
    {
        ActionList &a = ws.actions();
        a.run(ActionId::CloseAll);
        a.run(ActionId::INISave);
        const QString orderClose = ActionId::OrderClose;
        return a.isDone(orderClose) || !a.isEnabled(orderClose);
    }

    bool isSwallowedError(const QString &text, const QString &currentDownloadUrl)
    {
        return !currentDownloadUrl.isEmpty()
            && text == QStringLiteral("Error downloading URL: %1").arg(currentDownloadUrl);
    }

    void reportError(Workspace &ws, const QString &text)
    {
        if (isSwallowedError(text, ws.currentDownloadURL()))
            return;
        try {
            ws.prompts().message(text, UserPrompts::Icon::Error);
        } catch (const OrdixError &) {
            qWarning().noquote() << text;
        }
    }
}
