#include "preferences.h"

#include "actionid.h"
#include "currencylist.h"
#include "settings.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    bool isYes(const QString &value)
    {
        return value.toLower() == QLatin1String("yes");
    }

    QString yesNo(bool on)
    {
        return on ? QStringLiteral("yes") : QStringLiteral("no");
    }
}

namespace Preferences
{
    DiscountControls discountIn(float discount)
    {
        if (discount >= 100.0f)
            return {DiscountKind::Accumulative, 0.0};
        if (discount >= 0.0f)
            return {DiscountKind::Percent, double(discount)};
        return {DiscountKind::Extra, -double(discount)};
    }

    float discountOut(DiscountKind kind, double number)
    {
        switch (kind) {
        case DiscountKind::Accumulative:
            return AccumulativeDiscount;
        case DiscountKind::Percent:
            return float(number);
        case DiscountKind::Extra:
            break;
        }
        return float(-number);
    }

    QString windowCaption(const QString &customer)
    {
        const QString base = QStringLiteral("ZOLT Ordix 3");
        return customer.isEmpty() ? base : base + QStringLiteral(" :: ") + customer;
    }

    QString cleanEdit(const QString &text)
    {
        return trimControls(text);
    }

    PreferencesForm fill(const Settings &settings, CurrencyList &currencies)
    {
        PreferencesForm form;
        form.autoLoadPrice = isYes(settings.autoLoadPrice);
        form.delivery = isYes(settings.delivery);
        form.pack = isYes(settings.pack);

        const DiscountControls discount = discountIn(settings.discount);
        form.discountKind = discount.kind;
        form.discountNumber = discount.number;

        form.priceModeIndex = (settings.priceMode == 1 || settings.priceMode == 2) ? settings.priceMode - 1 : -1;

        form.addr = settings.addr;
        form.bank = settings.bank;
        form.bik = settings.bik;
        form.contact = settings.contact;
        form.correspondentAccount = settings.correspondentAccount;
        form.customer = settings.customer;
        form.inn = settings.inn;
        form.phone = settings.phone;
        form.settlementAccount = settings.settlementAccount;
        form.url = settings.url;

        form.clearing = settings.payment.toLower() == QLatin1String("clearing");

        currencies.rebuild(settings.currencyRateLine, settings.priceSeparator, Decimal::separator());
        currencies.selectSymbol(settings.defaultCurrency);
        form.currencies = currencies.displayTexts(Decimal::separator());
        form.currencyIndex = currencies.selectedIndex();
        return form;
    }

    void takeBack(const PreferencesForm &form, Settings &settings, CurrencyList &currencies)
    {
        settings.autoLoadPrice = yesNo(form.autoLoadPrice);
        settings.delivery = yesNo(form.delivery);
        settings.pack = yesNo(form.pack);

        settings.addr = cleanEdit(form.addr);
        settings.bank = cleanEdit(form.bank);
        settings.bik = cleanEdit(form.bik);
        settings.contact = cleanEdit(form.contact);
        settings.correspondentAccount = cleanEdit(form.correspondentAccount);
        settings.customer = cleanEdit(form.customer);
        settings.inn = cleanEdit(form.inn);
        settings.phone = cleanEdit(form.phone);
        settings.settlementAccount = cleanEdit(form.settlementAccount);
        settings.url = cleanEdit(form.url);

        settings.payment = form.clearing ? QStringLiteral("clearing") : QStringLiteral("cash");
        // With no item chosen the mode stays as it was rather than becoming
        // a mode the price loader does not know.
        if (form.priceModeIndex == 0 || form.priceModeIndex == 1)
            settings.priceMode = form.priceModeIndex + 1;
        settings.discount = discountOut(form.discountKind, form.discountNumber);

        currencies.setSelectedIndex(form.currencyIndex);
        const RCurrency currency = currencies.selected();
        settings.defaultCurrency = currency.symbol;
        settings.currentCurrency = currency;
    }

    QString priceModeQuestion()
    {
        return QStringLiteral("Вы изменили режим работы с ценами.\n"
                              "Изменения вступят в силу только после повторного открытия прайс-листа\n"
                              "Сделать это сейчас?");
    }

    void PreferencesExecute(Workspace &ws, const DialogRunner &showDialog)
    {
        const int oldPriceMode = ws.settings().priceMode;
        PreferencesForm form = fill(ws.settings(), ws.currencyList());
        if (!showDialog(form))
            return;

        takeBack(form, ws.settings(), ws.currencyList());
        ws.setLabel(Workspace::Label::Caption, windowCaption(ws.settings().customer));
        ws.execute(ActionId::INISave);
        ws.settingsApplied();
        ws.requestRepaint();

        if (ws.settings().priceMode != oldPriceMode && !ws.priceFileName().isEmpty()) {
            if (ws.prompts().askYesNo(priceModeQuestion()) == UserPrompts::Answer::Yes) {
                // Copies: closing the list clears the workspace's own names
                // before the loader looks at them.
                const QString primary = ws.priceFileName();
                const QString fallback = ws.oldPriceFileName();
                ws.loadPriceList(primary, fallback);
            }
        }
    }
}
