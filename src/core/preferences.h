#pragma once

#include <functional>

#include <QString>

#include "preferencesform.h"

class CurrencyList;
class Workspace;
struct Settings;

// The command "Настройки" without its dialog: what the dialog shows, what is
// taken back on OK, and what follows (caption, saving, the price reload
// question).
namespace Preferences
{
    // The value stored for an accumulative discount.
    constexpr float AccumulativeDiscount = 111.0f;

    struct DiscountControls
    {
        DiscountKind kind = DiscountKind::Percent;
        double number = 0;
    };

    // >= 100: accumulative with 0; 0 to below 100: percent with the value;
    // below 0: markup with the absolute value.
    DiscountControls discountIn(float discount);
    // Accumulative: 111; percent: +number; markup: -number.
    float discountOut(DiscountKind kind, double number);

    // The main window's caption: "ZOLT Ordix 3 :: " and the customer, or
    // "ZOLT Ordix 3" without one.
    QString windowCaption(const QString &customer);
    // An edit's text without blanks and control characters at either end.
    QString cleanEdit(const QString &text);

    // Fills the form from the settings; rebuilds the currency list from the
    // rate line and selects the default currency.
    PreferencesForm fill(const Settings &settings, CurrencyList &currencies);
    // Takes every value back into the settings; the selected currency becomes
    // the default and the current one.
    void takeBack(const PreferencesForm &form, Settings &settings, CurrencyList &currencies);

    // The question asked when the price mode changed while a price list is loaded.
    QString priceModeQuestion();

    // Shows the dialog on the form; true when the user confirmed.
    using DialogRunner = std::function<bool(PreferencesForm &form)>;
    // The whole command: fill, show, and on OK take back, set the caption,
    // run INISave, tell the window (order sum, grids) and, when the price
    // mode changed with a price list loaded, offer to load it again.
    void PreferencesExecute(Workspace &ws, const DialogRunner &showDialog);
}
