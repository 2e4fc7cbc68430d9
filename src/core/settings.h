#pragma once

#include <QList>
#include <QString>

class UserPrompts;

// One currency: amounts are shown divided by `rate` and followed by `symbol`.
struct RCurrency
{
    float rate = 1.0f; // units of the price list's money per unit of this currency
    QString name = QStringLiteral("Рубль");
    QString symbol = QStringLiteral("р.");

    static RCurrency rouble() { return RCurrency(); }
    bool operator==(const RCurrency &other) const = default;
};

// The user's settings as held in memory for the whole run, with the
// defaults used when user.ini is missing.
struct Settings
{
    QString customer;
    QString addr;
    QString phone;
    QString contact;
    QString bank;
    QString bik;
    QString settlementAccount;
    QString correspondentAccount;
    QString inn;
    QString delivery = QStringLiteral("no");
    QString pack = QStringLiteral("yes");
    QString payment = QStringLiteral("cash");
    float discount = 0.0f; // percent; negative: markup; >= 100: accumulative
    int priceMode = 1;     // UserWSL: 1 small-wholesale, 2 special prices
    QString url = defaultUrl();
    QString autoLoadPrice = QStringLiteral("no");
    QChar decimalSeparator = QLatin1Char('.'); // as stored in user.ini
    QChar priceSeparator = QLatin1Char('|');
    bool showLegend = true;
    QString defaultCurrency = QStringLiteral("р.");

    // Not stored in the file.
    QString currencyRateLine;
    RCurrency currentCurrency;

    static QString defaultUrl() { return QStringLiteral("http://www.zolt.example/data/pricetxt.exe"); }

    // The decimal separator the program uses: the setting when it is "." or
    // ",", otherwise ".".
    QChar effectiveDecimalSeparator() const;
    bool autoLoad() const { return autoLoadPrice.toLower() == QLatin1String("yes"); }
};

namespace SettingsFile
{
    // The file name, relative to the current folder.
    inline QString fileName()
    {
        return QStringLiteral("user.ini");
    }

    // INILoad: reads the file at `path` (missing: defaults, legend shown; a
    // file that exists but cannot be read is taken as missing). Never fails:
    // unreadable values take the rules' values.
    Settings load(const QString &path);
    // Parses the contents (Windows-1251 bytes) of an existing file: missing
    // keys give empty texts and a hidden legend. Used by load() and the fuzz
    // target.
    Settings parse(const QByteArray &contents);

    // The exact bytes INISave writes.
    QByteArray serialize(const Settings &settings);
    // INISave: writes the file atomically. On failure asks Retry/Cancel
    // ("Warning", "Can't save user information into user.ini file.") through
    // `prompts` until it succeeds or the user cancels. Returns success.
    bool save(const Settings &settings, const QString &path, UserPrompts *prompts);
}

namespace Currencies
{
    // The currency list built from a currency-rate line: the rouble first,
    // then one entry per complete triple when the line starts with "курс".
    QList<RCurrency> fromRateLine(const QString &line, QChar separator, QChar decimalSeparator);
    // Text of an entry in the currency box: "Рубль (р.)", "Доллар ($) - 28.50".
    QString displayText(const RCurrency &currency, bool first, QChar decimalSeparator);
    // Index of the entry whose sign equals `symbol` (the last match); 0 when none.
    int indexOfSymbol(const QList<RCurrency> &list, const QString &symbol);
}
